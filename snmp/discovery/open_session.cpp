// openSession: every session's transport, and for a community that begins
// with "/" the steps of the user-based mode on top of it.
#include <cstdint>

#include "snmp/discovery/discovery.h"
#include "snmp/security/security_string.h"
#include "snmp/security/usec_check.h"
#include "snmp/snmp.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/session.h"

namespace {

bool isSecurityString(const SnmpSession* settings)
{
    return settings->community != nullptr && settings->communityLength > 0 && settings->community[0] == '/';
}

SnmpSession* failOpen(SnmpSession* session)
{
    libraryState().lastError = SnmpErrGeneric;
    closeSession(session);
    return nullptr;
}

}  // namespace

SnmpSession* openSession(const SnmpSession* settings)
{
    if (settings == nullptr)
        return openSessionTransport(settings);
    const bool userBased = isSecurityString(settings);
    // A security string that would be refused never gets as far as the
    // discovery: nothing goes out, and nothing goes out weaker than asked.
    if (userBased && checkSecurityString(reinterpret_cast<const char*>(settings->community)) != 0) {
        libraryState().lastError = SnmpErrGeneric;
        return nullptr;
    }
    SnmpSession* session = openSessionTransport(settings);
    if (session == nullptr || !userBased)
        return session;

    session->authHook = usecAuthenticate;
    if (discoverAgent(session) != 0)
        return failOpen(session);  // the discovery has said why; the host's process goes on
    findSessionSlot(session)->acceptedOnly = true;
    if (parseSecurityString(session) == UsecParseRefused)
        return failOpen(session);
    session->securityFlags |= SecurityReportable;
    return session;
}

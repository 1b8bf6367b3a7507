// openSession: every session's transport, and for a community that begins
// with "/" the steps of the user-based mode on top of it, for one that begins
// with "#" those of SNMPv3.
#include <cstdint>


#include "snmp/discovery/discovery.h"
#include "snmp/discovery/usm_discovery.h"
#include "snmp/security/known_agents.h"
#include "snmp/security/security_string.h"
#include "snmp/security/usec_check.h"
#include "snmp/security/usm_string.h"
#include "snmp/snmp.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/session.h"
#include "snmp/transport/sync_request.h"

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
    const bool usmBased = isUsmString(reinterpret_cast<const char*>(settings->community),
                                      settings->community != nullptr ? static_cast<size_t>(settings->communityLength) : 0);
    SnmpSession* session = openSessionTransport(settings);
    // The SNMPv3 community is read from the session's copy before the
    // discovery: a malformed one fails the open with nothing sent.
    if (session != nullptr && usmBased && openUsmSession(session) != 0)
        return failOpen(session);
    if (session == nullptr || !userBased)
        return session;

    session->authHook = usecAuthenticate;
    // A known agent needs no discovery. Only the synchronous request knows
    // what to do when it turns out to be out of date (syncRequest).
    SessionSlot* slot = findSessionSlot(session);
    if (settings->callback == syncCallback && recallAgent(agentAddressOf(session), session)) {
        slot->acceptedOnly = true;
        slot->agentRecalled = true;
        if (keySession(session) != 0)
            return failOpen(session);
    } else if (learnAgent(session) != 0) {
        return failOpen(session);  // the discovery has said why; the host's process goes on
    }
    return session;
}

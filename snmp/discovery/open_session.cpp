// openSession: every session's transport, and on top of it the steps of the
// mode its community selects (communityKind): the user-based mode's for a
// "/" security string, SNMPv3's for "#user/...".
#include <cstdint>


#include "snmp/discovery/discovery.h"
#include "snmp/discovery/usm_discovery.h"
#include "snmp/security/common/community_form.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usec/security_string.h"
#include "snmp/security/usec/usec_check.h"
#include "snmp/snmp.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/session.h"
#include "snmp/transport/sync_request.h"

namespace {

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
    const CommunityKind kind = communityKind(settings->community, settings->communityLength);
    // A security string that would be refused never gets as far as the
    // discovery: nothing goes out, and nothing goes out weaker than asked.
    int32_t length = settings->communityLength;
    if (kind == CommunityKind::UserBased &&
        checkSecurityString(reinterpret_cast<const char*>(afterVersionPrefix(settings->community, &length))) != 0) {
        libraryState().lastError = SnmpErrGeneric;
        return nullptr;
    }
    // From here on the session's own copy of the community is read: the
    // text after the "+", the very text the choice was made on.
    SnmpSession* session = openSessionTransport(settings);
    // The SNMPv3 community is read before the discovery: a malformed one
    // fails the open with nothing sent.
    if (session != nullptr && kind == CommunityKind::Usm && openUsmSession(session) != 0)
        return failOpen(session);
    if (session == nullptr || kind != CommunityKind::UserBased)
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

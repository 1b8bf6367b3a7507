// syncRequest: the transport's exchange, and for a user-based session the
// upkeep of the known agents. An agent that answers authenticated is
// remembered; one whose identifier, boots and clock came from the table and
// that reports them out of date (it rebooted, changed its identifier or moved
// its boots back, or someone forged such a Report) is discovered again and
// asked once more; one that does not answer at all is forgotten, so that the next
// call discovers it (and says so when it is gone).
#include <netinet/in.h>

#include "snmp/codec/pdu.h"
#include "snmp/discovery/discovery.h"
#include "snmp/discovery/usm_discovery.h"
#include "snmp/security/known_agents.h"
#include "snmp/snmp.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/sync_request.h"

namespace {

// An authenticated Response from the very address and port the session asks.
bool confirmsAgent(const SnmpSession* session, const SnmpPdu* reply, AgentAddress asked)
{
    return (session->securityFlags & SecurityAuth) != 0 && reply->command == PduResponse &&
           (reply->security.qoS & SecurityAuth) != 0 && reply->peerAddress.sin_addr.s_addr == asked.address &&
           reply->peerAddress.sin_port == asked.port;
}

}  // namespace

int32_t syncRequest(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response)
{
    if (session != nullptr && pdu != nullptr && session->version == SnmpVersion3 && findSessionSlot(session) != nullptr)
        return usmSyncRequest(session, pdu, response);
    const SessionSlot* slot =
        session != nullptr && session->version == SnmpVersionUsec ? findSessionSlot(session) : nullptr;
    if (slot == nullptr || pdu == nullptr)
        return syncExchange(session, pdu, response);

    const AgentAddress asked = agentAddressOf(session);
    SnmpPdu* again = nullptr;
    if (slot->agentRecalled) {
        again = clonePdu(pdu);
        if (again == nullptr) {
            freePdu(pdu);
            return 1;
        }
    }
    SnmpPdu* reply = nullptr;
    int32_t status = syncExchange(session, pdu, &reply);
    slot = findSessionSlot(session);
    if (status == 0 && slot != nullptr && slot->agentRecalled && reportsOutdatedAgent(reply)) {
        // Never taken for the answer: it may not even come from the agent.
        freePdu(reply);
        reply = nullptr;
        if (learnAgent(session) == 0) {
            status = syncExchange(session, again, &reply);
            again = nullptr;
        } else {
            status = 1;
        }
    }
    freePdu(again);

    if (status == 2)
        forgetAgent(asked);
    else if (status == 0 && reply != nullptr && confirmsAgent(session, reply, asked))
        rememberAgent(asked, session);
    if (response != nullptr)
        *response = reply;
    else
        freePdu(reply);
    return status;
}

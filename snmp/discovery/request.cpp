// syncRequest: the transport's exchange, and for a user-based or SNMPv3
// session the upkeep of what is known of the agent. An agent that answers is
// remembered (in the user-based mode only after an authenticated answer); a
// Report that what the request carried is out of date (the agent rebooted,
// changed its identifier or moved its clock, or someone forged such a
// Report) makes the call learn again what it needs and ask once more; an
// agent that does not answer at all is forgotten, so that the next call
// discovers it (and says so when it is gone).
#include "snmp/codec/pdu.h"
#include "snmp/discovery/discovery.h"
#include "snmp/discovery/usm_discovery.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usm/known_engines.h"
#include "snmp/security/usm/usm_message.h"
#include "snmp/security/usm/usm_session.h"
#include "snmp/snmp.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/sync_request.h"

namespace {

// One security mode's upkeep around the exchange.
struct Upkeep {
    // What the session knows of the agent came from an earlier call.
    bool (*recalled)(const SnmpSession* session);
    // The reply is a Report that asks for the request once more; 0 from
    // prepare lets it go (after learning what the Report said).
    bool (*asksAgain)(const SnmpSession* session, const SnmpPdu* reply);
    int32_t (*prepare)(SnmpSession* session, const SnmpPdu* reply);
    // The reply may be kept as what is known of the agent.
    bool (*confirms)(const SnmpSession* session, const SnmpPdu* reply);
    void (*remember)(AgentAddress at, const SnmpSession* session);
    void (*forget)(AgentAddress at);
    // Says what may explain a call that ended without an answer.
    void (*unanswered)(const SnmpSession* session);
};

bool fromAsked(const SnmpPdu* reply, AgentAddress asked)
{
    return sameEndpoint(reply->peerAddress, asked);
}

// The user-based mode: only a recalled agent is asked again, after a new
// discovery; only an authenticated Response confirms it.
bool usecAsksAgain(const SnmpSession* session, const SnmpPdu* reply)
{
    const SessionSlot* slot = findSessionSlot(session);
    return slot != nullptr && slot->agentRecalled && reportsOutdatedAgent(reply);
}
bool usecRecalled(const SnmpSession* session)
{
    const SessionSlot* slot = findSessionSlot(session);
    return slot != nullptr && slot->agentRecalled;
}
int32_t usecPrepare(SnmpSession* session, const SnmpPdu*) { return learnAgent(session); }
bool usecConfirms(const SnmpSession* session, const SnmpPdu* reply)
{
    return (session->securityFlags & SecurityAuth) != 0 && reply->command == PduResponse &&
           (reply->security.qoS & SecurityAuth) != 0;
}

// SNMPv3: what the receive check let through is either an authenticated
// clock Report (the clock has moved already) or a recalled engine's
// unknown-engine Report (never a value, at worst a needless discovery).
bool usmAsksAgain(const SnmpSession* session, const SnmpPdu* reply)
{
    const UsmReport kind = usmReportKind(reply);
    return kind == UsmReport::NotInTimeWindow || (kind == UsmReport::UnknownEngineId && session->usm->recalled);
}
bool usmRecalled(const SnmpSession* session) { return session->usm->recalled; }
int32_t usmPrepare(SnmpSession* session, const SnmpPdu* reply)
{
    return usmReportKind(reply) == UsmReport::NotInTimeWindow ? 0 : discoverEngine(session);
}
bool usmConfirms(const SnmpSession*, const SnmpPdu* reply) { return reply->command == PduResponse; }
void usmRemember(AgentAddress at, const SnmpSession* session) { rememberEngine(at, session->usm); }

void usecUnanswered(const SnmpSession*) {}
void usmUnanswered(const SnmpSession* session) { diagnoseUsmSilence(session->usm); }

const Upkeep UsecUpkeep = {usecRecalled,  usecAsksAgain, usecPrepare,   usecConfirms,
                           rememberAgent, forgetAgent,   usecUnanswered};
const Upkeep UsmUpkeep = {usmRecalled,  usmAsksAgain, usmPrepare,   usmConfirms,
                          usmRemember,  forgetEngine, usmUnanswered};

// The exchange with the upkeep; a copy of the request is kept for the one
// resend when copy is set.
int32_t exchangeKeepingAgent(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response, const Upkeep& upkeep,
                             bool copy)
{
    const AgentAddress asked = agentAddressOf(session);
    SnmpPdu* again = nullptr;
    if (copy) {
        again = clonePdu(pdu);
        if (again == nullptr) {
            freePdu(pdu);
            return 1;
        }
    }
    const bool recalled = upkeep.recalled(session);
    SessionTransport* transport = findSessionSlot(session)->transport;
    transport->peerHeard = false;
    SnmpPdu* reply = nullptr;
    int32_t status = syncExchange(session, pdu, &reply);
    // An agent known from an earlier call that now sends nothing at all (not
    // even a refusal that was dropped) ends the call as one never heard of:
    // the discovery would have found nobody either, and scripts tell
    // "unreachable" from "refused" by it.
    const bool silent = status == 2 && recalled && findSessionSlot(session) != nullptr && !transport->peerHeard;
    if (status == 0 && again != nullptr && findSessionSlot(session) != nullptr && upkeep.asksAgain(session, reply)) {
        // Never taken for the answer: it may not even come from the agent.
        const int32_t prepared = upkeep.prepare(session, reply);
        freePdu(reply);
        reply = nullptr;
        if (prepared == 0) {
            status = syncExchange(session, again, &reply);
            again = nullptr;
        } else {
            status = 1;
        }
    }
    freePdu(again);

    if (status == 2) {
        upkeep.forget(asked);
        if (silent) {
            reportDiscoveryFailure(session, status);
            status = SyncAgentSilent;
        }
        upkeep.unanswered(session);
    } else if (status == 0 && reply != nullptr && findSessionSlot(session) != nullptr && fromAsked(reply, asked) &&
             upkeep.confirms(session, reply))
        upkeep.remember(asked, session);
    if (response != nullptr)
        *response = reply;
    else
        freePdu(reply);
    return status;
}

}  // namespace

int32_t syncRequest(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response)
{
    const SessionSlot* slot = session != nullptr && pdu != nullptr ? findSessionSlot(session) : nullptr;
    if (slot != nullptr && session->version == SnmpVersion3)
        return exchangeKeepingAgent(session, pdu, response, UsmUpkeep, true);
    if (slot != nullptr && session->version == SnmpVersionUsec)
        return exchangeKeepingAgent(session, pdu, response, UsecUpkeep, slot->agentRecalled);
    return syncExchange(session, pdu, response);
}

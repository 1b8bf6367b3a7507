#include "snmp/discovery/usm_discovery.h"

#include "snmp/codec/pdu.h"
#include "snmp/discovery/discovery.h"
#include "snmp/security/known_engines.h"
#include "snmp/security/usm_message.h"
#include "snmp/security/usm_session.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/sync_request.h"

int32_t discoverEngine(SnmpSession* session)
{
    UsmSession* usm = session->usm;
    usm->discovering = true;
    usm->recalled = false;
    syncInstall(session);
    SnmpPdu* response = nullptr;
    const int32_t status = syncExchange(session, createPdu(PduGetRequest), &response);
    usm = session->usm;
    usm->discovering = false;
    if (status != 0 || response == nullptr) {
        reportDiscoveryFailure(session, status);
        freePdu(response);
        return -1;
    }
    setUsmEngine(usm, response->engine.engineId, response->engine.engineIdLength,
                 static_cast<int32_t>(response->engine.boots), response->engine.time);
    freePdu(response);
    return keyUsmSession(usm);
}

int32_t openUsmSession(SnmpSession* session)
{
    if (attachUsmSession(session) != 0)
        return -1;
    SessionSlot* slot = findSessionSlot(session);
    slot->acceptedOnly = true;
    UsmSession* usm = session->usm;
    if (session->callback == syncCallback && recallEngine(agentAddressOf(session), usm)) {
        usm->recalled = true;
        return keyUsmSession(usm);
    }
    return discoverEngine(session);
}

int32_t usmSyncRequest(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response)
{
    const AgentAddress asked = agentAddressOf(session);
    SnmpPdu* again = clonePdu(pdu);
    if (again == nullptr) {
        freePdu(pdu);
        return 1;
    }
    SnmpPdu* reply = nullptr;
    int32_t status = syncExchange(session, pdu, &reply);
    if (status == 0 && findSessionSlot(session) != nullptr) {
        // What the receive check let through: an authenticated time Report
        // (the clock has moved already), or the recalled engine's unknown-
        // engine Report (never a value, at worst a needless discovery).
        const UsmReport kind = usmReportKind(reply);
        const bool resend = kind == UsmReport::NotInTimeWindow ||
                            (kind == UsmReport::UnknownEngineId && session->usm->recalled);
        if (resend) {
            freePdu(reply);
            reply = nullptr;
            if (kind == UsmReport::NotInTimeWindow || discoverEngine(session) == 0) {
                status = syncExchange(session, again, &reply);
                again = nullptr;
            } else {
                status = 1;
            }
        }
    }
    freePdu(again);

    if (status == 2)
        forgetEngine(asked);
    else if (status == 0 && reply != nullptr && reply->command == PduResponse &&
             reply->peerAddress.sin_addr.s_addr == asked.address && reply->peerAddress.sin_port == asked.port &&
             findSessionSlot(session) != nullptr)
        rememberEngine(asked, session->usm);
    if (response != nullptr)
        *response = reply;
    else
        freePdu(reply);
    return status;
}

#include "snmp/discovery/usm_discovery.h"

#include "snmp/discovery/discovery.h"
#include "snmp/security/usm/known_engines.h"
#include "snmp/security/usm/local_engine.h"
#include "snmp/security/usm/usm_session.h"
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
    if (session->localEngine) {
        // A trap's authoritative engine is the module's own: nothing to discover.
        uint8_t id[UsmMaxEngineIdLength];
        setUsmEngine(usm, id, localEngineIdentity(id), localEngineBoots(), localEngineTime());
        usm->clockConfirmed = true;
        return keyUsmSession(usm);
    }
    if (session->callback == syncCallback && recallEngine(agentAddressOf(session), usm)) {
        usm->recalled = true;
        return keyUsmSession(usm);
    }
    return discoverEngine(session);
}

#include "snmp/security/usm/usm_session.h"

#include <cstring>

#include "platform/crypto.h"
#include "snmp/base/allocation.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/common/agent_clock.h"
#include "snmp/security/usm/usm_key_cache.h"

int32_t attachUsmSession(SnmpSession* session)
{
    UsmCredentials credentials;
    if (parseUsmString(reinterpret_cast<const char*>(session->community), static_cast<size_t>(session->communityLength),
                       &credentials) != 0)
        return -1;
    auto* usm = static_cast<UsmSession*>(engineAlloc(1, sizeof(UsmSession)));
    if (usm == nullptr) {
        diagnose("Out of memory!\n");
        return -1;
    }
    usm->credentials = credentials;
    cryptoWipe(&credentials, sizeof credentials);
    session->usm = usm;
    session->version = SnmpVersion3;
    session->securityFlags = SecurityReportable;
    if (usm->credentials.auth != UsmAuth::None)
        session->securityFlags |= SecurityAuth;
    if (usm->credentials.priv != UsmPriv::None)
        session->securityFlags |= SecurityPriv;
    return 0;
}

void releaseUsmSession(UsmSession* usm)
{
    if (usm == nullptr)
        return;
    cryptoWipe(usm, sizeof *usm);
    engineFree(usm);
}

void setUsmEngine(UsmSession* usm, const uint8_t* engineId, int32_t engineIdLength, int32_t boots, int32_t time)
{
    if (engineIdLength < 0 || engineIdLength > static_cast<int32_t>(UsmMaxEngineIdLength))
        engineIdLength = 0;
    std::memcpy(usm->engineId, engineId, static_cast<size_t>(engineIdLength));
    usm->engineIdLength = engineIdLength;
    usm->boots = boots;
    usm->latestTime = time;
    usm->timeOffset = offsetToAgentTime(time);
    usm->clockConfirmed = false;
    usm->keyed = false;
}

int32_t keyUsmSession(UsmSession* usm)
{
    const UsmCredentials& user = usm->credentials;
    usm->keyed = false;
    if (usm->engineIdLength <= 0)
        return -1;
    if (user.auth != UsmAuth::None &&
        !usmLocalizedKey(user.auth, user.authSecret, usm->engineId, static_cast<size_t>(usm->engineIdLength),
                         usm->authKey)) {
        diagnose("SNMPv3 authentication key could not be made\n");
        return -1;
    }
    if (user.priv != UsmPriv::None &&
        !usmLocalizedPrivKey(user.auth, user.priv, user.privSecret, usm->engineId,
                             static_cast<size_t>(usm->engineIdLength), usm->privKey)) {
        diagnose("SNMPv3 privacy key could not be made\n");
        return -1;
    }
    usm->keyed = true;
    return 0;
}

int32_t usmEngineTime(const UsmSession* usm)
{
    const int32_t time = static_cast<int32_t>(static_cast<uint32_t>(localClock()) + static_cast<uint32_t>(usm->timeOffset));
    // The field is 0 to 2^31 - 1.
    return time < 0 ? 0 : time;
}

void diagnoseUsmSilence(const UsmSession* usm)
{
    const UsmAuthProtocol* auth = usm != nullptr ? usmAuthProtocol(usm->credentials.auth) : nullptr;
    const UsmPrivProtocol* priv = usm != nullptr ? usmPrivProtocol(usm->credentials.priv) : nullptr;
    if (auth == nullptr || priv == nullptr || priv->otherExtension == UsmPriv::None ||
        priv->keyLength <= auth->keyLength || usm->credentials.privSecret.phrase == nullptr)
        return;
    diagnose("SNMPv3 %s with %s lengthens the privacy key by one of two rules: the agent may expect %s\n",
             priv->name, auth->name, usmPrivProtocol(priv->otherExtension)->name);
}

#include "snmp/security/usec/usec_check.h"

#include <cstring>

#include "snmp/security/common/agent_clock.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/keys.h"

namespace {

const int32_t TimeWindowSeconds = 150;
const uint8_t ProtectionBits = SecurityAuth | SecurityPriv;

}  // namespace

int32_t usecAuthenticate(const uint8_t* message, int32_t messageLength, const uint8_t* parameters,
                         int32_t parametersLength, SnmpSession* session, SnmpPdu* pdu)
{
    if (session == nullptr || pdu == nullptr)
        return UsecBadParameters;
    UsecParameters& received = pdu->security;
    if (decodeUsecParameters(parameters, parametersLength, &received) != 0)
        return UsecBadParameters;
    if (std::memcmp(received.agentId, session->agentId, UsecAgentIdLength) != 0)
        return UsecUnknownContext;
    if (received.contextLength != session->contextLength ||
        std::memcmp(received.context, session->context, static_cast<size_t>(received.contextLength)) != 0)
        return UsecUnknownContext;
    if (received.userNameLength != session->userNameLength ||
        std::memcmp(received.userName, session->userName, static_cast<size_t>(received.userNameLength)) != 0)
        return UsecUnknownUserName;
    if (pdu->command != PduReport && (received.qoS & ProtectionBits) < (session->securityFlags & ProtectionBits))
        return UsecUnsupportedQoS;
    if ((received.qoS & SecurityAuth) == 0)
        return UsecAccepted;

    // The digest was computed with the key standing in its place.
    if (message == nullptr || parameters < message || received.digestOffset <= 0)
        return UsecBadParameters;
    const int64_t field = (parameters - message) + static_cast<int64_t>(received.digestOffset);
    if (field + UsecKeyLength > messageLength)
        return UsecBadParameters;
    if (!digestMatches(message, messageLength, static_cast<int32_t>(field), session->authKey))
        return UsecWrongDigest;

    if (received.agentBoots < session->agentBoots)
        return UsecNotInTimeWindow;
    if (received.agentBoots == session->agentBoots) {
        int64_t limit = static_cast<int64_t>(localClock()) + session->timeOffset - TimeWindowSeconds;
        if (limit < 0)
            limit = 0;
        if (static_cast<int64_t>(received.agentTime) < limit)
            return UsecNotInTimeWindow;
    }
    if (received.agentBoots > session->agentBoots || received.agentTime > session->agentTime) {
        session->agentBoots = received.agentBoots;
        session->agentTime = received.agentTime;
        session->timeOffset = offsetToAgentTime(received.agentTime);
    }
    return UsecAccepted;
}

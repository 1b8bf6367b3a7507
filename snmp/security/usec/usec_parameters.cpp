#include "snmp/security/usec/usec_parameters.h"

#include <cstring>

#include "snmp/base/big_endian.h"
#include "snmp/security/common/agent_clock.h"
#include "snmp/security/usec/keys.h"

namespace {

const uint8_t UsecModel = 1;
const int32_t MinimumMaxSize = 484;
const int32_t MaxReceivedUserName = 16;
const int32_t MaxReceivedContext = 40;

}  // namespace

int32_t buildUsecParameters(const SnmpSession* session, int32_t flag, uint8_t* out, int32_t* length)
{
    if (session == nullptr || out == nullptr || length == nullptr)
        return -1;
    const bool authenticate = (session->securityFlags & SecurityAuth) != 0;
    const int32_t user = session->userNameLength;
    const int32_t context = session->contextLength;
    if (user < 0 || user > static_cast<int32_t>(sizeof session->userName) || context < 0 ||
        context > static_cast<int32_t>(sizeof session->context))
        return -1;
    const int32_t needed = UsecUserNameOffset + user + 1 + (authenticate ? UsecKeyLength : 0) + context;
    if (*length < needed)
        return -1;

    out[UsecModelOffset] = UsecModel;
    out[UsecQoSOffset] = session->securityFlags;
    std::memcpy(out + UsecAgentIdOffset, session->agentId, UsecAgentIdLength);
    if (authenticate || flag != 0) {
        putBigEndian32(out + UsecBootsOffset, session->agentBoots);
        putBigEndian32(out + UsecTimeOffset, static_cast<uint32_t>(estimatedAgentTime(session)));
    } else {
        std::memset(out + UsecBootsOffset, 0, 8);
    }
    out[UsecMaxSizeOffset] = static_cast<uint8_t>(session->maxMessageSize >> 8);
    out[UsecMaxSizeOffset + 1] = static_cast<uint8_t>(session->maxMessageSize);
    out[UsecUserLengthOffset] = static_cast<uint8_t>(user);
    uint8_t* p = out + UsecUserNameOffset;
    std::memcpy(p, session->userName, static_cast<size_t>(user));
    p += user;
    if (authenticate) {
        // The key stands in the digest field until the message is complete.
        *p++ = UsecKeyLength;
        std::memcpy(p, session->authKey, UsecKeyLength);
        p += UsecKeyLength;
    } else {
        *p++ = 0;
    }
    std::memcpy(p, session->context, static_cast<size_t>(context));
    p += context;
    *length = static_cast<int32_t>(p - out);
    return 0;
}

int32_t decodeUsecParameters(const uint8_t* parameters, int32_t length, UsecParameters* decoded)
{
    if (parameters == nullptr || decoded == nullptr || length <= UsecUserLengthOffset)
        return UsecBadParameters;
    decoded->model = parameters[UsecModelOffset];
    if (decoded->model != UsecModel)
        return UsecBadParameters;
    decoded->qoS = parameters[UsecQoSOffset];
    if ((decoded->qoS & ~(SecurityAuth | SecurityReportable)) != 0)
        return UsecBadParameters;  // privacy, or bits nobody defined
    std::memcpy(decoded->agentId, parameters + UsecAgentIdOffset, UsecAgentIdLength);
    decoded->agentBoots = getBigEndian32(parameters + UsecBootsOffset);
    decoded->agentTime = static_cast<int32_t>(getBigEndian32(parameters + UsecTimeOffset));
    decoded->maxSize = (parameters[UsecMaxSizeOffset] << 8) | parameters[UsecMaxSizeOffset + 1];
    if (decoded->maxSize < MinimumMaxSize)
        return UsecBadParameters;
    decoded->userNameLength = parameters[UsecUserLengthOffset];
    if (decoded->userNameLength == 0 || decoded->userNameLength > MaxReceivedUserName)
        return UsecBadParameters;
    int32_t remaining = length - UsecUserNameOffset - decoded->userNameLength;
    if (remaining < 1)
        return UsecBadParameters;
    int32_t at = UsecUserNameOffset;
    std::memcpy(decoded->userName, parameters + at, static_cast<size_t>(decoded->userNameLength));
    at += decoded->userNameLength;
    decoded->authLength = parameters[at++];
    --remaining;
    if ((decoded->qoS & SecurityAuth) != 0) {
        if (remaining < UsecKeyLength || decoded->authLength != UsecKeyLength)
            return UsecBadParameters;
        std::memcpy(decoded->authDigest, parameters + at, UsecKeyLength);
        decoded->digestOffset = at;
        at += UsecKeyLength;
        remaining -= UsecKeyLength;
    } else if (decoded->authLength != 0) {
        return UsecBadParameters;
    }
    if (remaining > MaxReceivedContext)
        return UsecBadParameters;
    decoded->contextLength = remaining;
    std::memcpy(decoded->context, parameters + at, static_cast<size_t>(remaining));
    return 0;
}

#include "snmp/security/common/signed_message.h"

#include "snmp/codec/message.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/usec_parameters.h"
#include "snmp/security/usm/usm_message.h"

namespace {

// Large enough for any parameters block the user-based mode can build.
constexpr int32_t ParametersCapacity = 256;

// The community content of the session's messages: its community, or the
// user-based parameters built into `parameters`. False when there is none to
// send.
bool communityContent(const SnmpSession* session, int32_t flag, uint8_t* parameters, const uint8_t** content,
                      int32_t* contentLength)
{
    if (session->version == SnmpVersionUsec) {
        *contentLength = ParametersCapacity;
        if (buildUsecParameters(session, flag, parameters, contentLength) != 0)
            return false;
        *content = parameters;
        return *contentLength >= 0 && *contentLength <= ParametersCapacity;
    }
    *content = session->community;
    *contentLength = session->communityLength;
    return true;
}

bool authenticates(const SnmpSession* session)
{
    return session->version == SnmpVersionUsec && (session->securityFlags & SecurityAuth) != 0;
}

// A user-based message: the parameters in the community's place and, when
// the session authenticates, the digest over the whole message, computed with
// the key standing in the digest field and then replacing it.
int32_t encodeUserBased(const SnmpSession* session, const SnmpPdu* pdu, uint8_t* packet, int32_t* length,
                        int32_t flag)
{
    uint8_t parameters[ParametersCapacity];
    const uint8_t* content = nullptr;
    int32_t contentLength = 0;
    if (!communityContent(session, flag, parameters, &content, &contentLength))
        return -1;
    int32_t contentOffset = 0;
    if (encodeFramedMessage(session->version, content, contentLength, pdu, packet, length, &contentOffset) != 0)
        return -1;
    if (authenticates(session)) {
        uint8_t* field = messageDigestField(session, packet + contentOffset, contentLength);
        if (field == nullptr)
            return -1;  // never send such a message unauthenticated
        messageDigest(packet, *length, field, field);
    }
    return 0;
}

}  // namespace

uint8_t* encodeMessageHeader(uint8_t* data, int32_t* remaining, const SnmpSession* session, int32_t pduLength,
                             int32_t flag)
{
    if (session == nullptr)
        return nullptr;
    uint8_t parameters[ParametersCapacity];
    const uint8_t* content = nullptr;
    int32_t contentLength = 0;
    if (!communityContent(session, flag, parameters, &content, &contentLength))
        return nullptr;
    return encodeFrameHeader(data, remaining, session->version, content, contentLength, pduLength);
}

uint8_t* messageDigestField(const SnmpSession* session, uint8_t* parameters, int32_t parametersLength)
{
    if (session == nullptr || parameters == nullptr || !authenticates(session))
        return nullptr;
    const int32_t context = session->contextLength;
    if (context < 0 || parametersLength < 0 || context > parametersLength - UsecKeyLength)
        return nullptr;
    return parameters + (parametersLength - context - UsecKeyLength);
}

int32_t encodeMessage(const SnmpSession* session, const SnmpPdu* pdu, uint8_t* packet, int32_t* length, int32_t flag)
{
    if (session == nullptr || pdu == nullptr || packet == nullptr || length == nullptr || *length < 0)
        return -1;
    if (session->version == SnmpVersion3)
        return encodeUsmMessage(session, pdu, packet, length);
    if (session->version != SnmpVersionUsec)
        return encodeFramedMessage(session->version, session->community, session->communityLength, pdu, packet,
                                   length, nullptr);
    return encodeUserBased(session, pdu, packet, length, flag);
}

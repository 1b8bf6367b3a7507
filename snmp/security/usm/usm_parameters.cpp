#include "snmp/security/usm/usm_parameters.h"

#include <cstring>

#include "snmp/codec/ber.h"

int32_t encodeUsmParameters(const UsmParameters& in, uint8_t* out, int32_t* length, int32_t* authOffset)
{
    if (out == nullptr || length == nullptr || in.engineIdLength < 0 ||
        in.engineIdLength > static_cast<int32_t>(UsmMaxEngineIdLength) || in.userLength < 0 ||
        in.userLength > static_cast<int32_t>(sizeof in.user) || in.authLength < 0 ||
        in.authLength > static_cast<int32_t>(UsmMaxMacLength) || in.saltLength < 0 ||
        in.saltLength > static_cast<int32_t>(UsmSaltLength))
        return -1;
    const uint8_t zeros[UsmMaxMacLength] = {};
    // Built behind a header of the largest size, then moved up to the
    // minimal one: the content is at most some 130 octets.
    uint8_t content[256];
    int32_t remaining = sizeof content;
    uint8_t* p = berBuildString(content, &remaining, ASN_OCTET_STR, in.engineId, in.engineIdLength);
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &in.boots, sizeof in.boots);
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &in.time, sizeof in.time);
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, in.user, in.userLength);
    uint8_t* auth = p;
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, zeros, in.authLength);
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, in.salt, in.saltLength);
    if (p == nullptr)
        return -1;
    const int32_t contentLength = static_cast<int32_t>(p - content);
    int32_t room = *length;
    uint8_t* q = berBuildHeader(out, &room, ASN_SEQUENCE, static_cast<uint32_t>(contentLength));
    if (q == nullptr || room < contentLength)
        return -1;
    std::memcpy(q, content, static_cast<size_t>(contentLength));
    // The authentication field's content: behind its tag and one length octet.
    if (authOffset != nullptr)
        *authOffset = static_cast<int32_t>(q - out) + static_cast<int32_t>(auth - content) + 2;
    *length = static_cast<int32_t>(q - out) + contentLength;
    return 0;
}

int32_t decodeUsmParameters(const uint8_t* data, int32_t length, UsmParameters* out)
{
    if (data == nullptr || length <= 0 || out == nullptr)
        return -1;
    std::memset(out, 0, sizeof *out);
    int32_t remaining = length;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &remaining, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return -1;
    out->engineIdLength = UsmMaxEngineIdLength;
    p = berParseString(p, &remaining, &tag, out->engineId, &out->engineIdLength);
    if (p != nullptr && tag == ASN_OCTET_STR)
        p = berParseInt(p, &remaining, &tag, &out->boots, sizeof out->boots);
    else
        p = nullptr;
    if (p != nullptr && tag == ASN_INTEGER)
        p = berParseInt(p, &remaining, &tag, &out->time, sizeof out->time);
    else
        p = nullptr;
    out->userLength = sizeof out->user;
    if (p != nullptr && tag == ASN_INTEGER)
        p = berParseString(p, &remaining, &tag, out->user, &out->userLength);
    else
        p = nullptr;
    if (p == nullptr || tag != ASN_OCTET_STR || out->boots < 0 || out->time < 0)
        return -1;
    // The MAC: only its place and length are kept.
    int32_t field = remaining;
    const uint8_t* auth = berParseHeader(p, &field, &tag);
    if (auth == nullptr || tag != ASN_OCTET_STR || field > static_cast<int32_t>(UsmMaxMacLength))
        return -1;
    out->authLength = field;
    out->authOffset = static_cast<int32_t>(auth - data);
    remaining -= static_cast<int32_t>(auth + field - p);
    p = auth + field;
    out->saltLength = UsmSaltLength;
    p = berParseString(p, &remaining, &tag, out->salt, &out->saltLength);
    if (p == nullptr || tag != ASN_OCTET_STR || (out->saltLength != 0 && out->saltLength != static_cast<int32_t>(UsmSaltLength)))
        return -1;
    return 0;
}

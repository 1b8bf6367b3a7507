#include "snmp/codec/v3_message.h"

#include <cstring>

#include "snmp/codec/ber.h"
#include "snmp/codec/message.h"

namespace {

int32_t integerSize(int32_t value) { return 2 + berSignedContentSize(value); }

int32_t elementSize(int32_t contentLength)
{
    return 1 + berLengthFieldSize(static_cast<uint32_t>(contentLength)) + contentLength;
}

// Every length the encoder writes fits the work area; checked once here.
bool fits(int64_t size) { return size >= 0 && size <= SnmpPacketSize; }

}  // namespace

int32_t encodeV3Message(const V3Header& header, const uint8_t* parameters, int32_t parametersLength,
                        const uint8_t* data, int32_t dataLength, bool encrypted, uint8_t* packet, int32_t* length,
                        int32_t* parametersOffset)
{
    if (packet == nullptr || length == nullptr || parametersLength < 0 || dataLength < 0 ||
        (parametersLength > 0 && parameters == nullptr) || (dataLength > 0 && data == nullptr) ||
        !fits(parametersLength) || !fits(dataLength))
        return -1;
    const int32_t flagsSize = 3;
    const int64_t globalContent =
        integerSize(header.msgId) + integerSize(header.maxSize) + flagsSize + integerSize(header.securityModel);
    const int64_t dataSize = encrypted ? elementSize(dataLength) : dataLength;
    const int64_t content = integerSize(SnmpV3MessageVersion) + elementSize(static_cast<int32_t>(globalContent)) +
                            elementSize(parametersLength) + dataSize;
    if (!fits(content))
        return -1;

    int32_t remaining = *length;
    uint8_t* p = berBuildHeader(packet, &remaining, ASN_SEQUENCE, static_cast<uint32_t>(content));
    const int32_t version = SnmpV3MessageVersion;
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &version, sizeof version);
    if (p != nullptr)
        p = berBuildHeader(p, &remaining, ASN_SEQUENCE, static_cast<uint32_t>(globalContent));
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &header.msgId, sizeof header.msgId);
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &header.maxSize, sizeof header.maxSize);
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, &header.flags, 1);
    if (p != nullptr)
        p = berBuildInt(p, &remaining, ASN_INTEGER, &header.securityModel, sizeof header.securityModel);
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, parameters, parametersLength);
    if (p == nullptr)
        return -1;
    if (parametersOffset != nullptr)
        *parametersOffset = static_cast<int32_t>(p - packet) - parametersLength;
    if (encrypted) {
        p = berBuildString(p, &remaining, ASN_OCTET_STR, data, dataLength);
    } else if (remaining >= dataLength) {
        std::memcpy(p, data, static_cast<size_t>(dataLength));
        p += dataLength;
    } else {
        p = nullptr;
    }
    if (p == nullptr)
        return -1;
    *length = static_cast<int32_t>(p - packet);
    return 0;
}

int32_t encodeScopedPdu(const uint8_t* engineId, int32_t engineIdLength, const uint8_t* context,
                        int32_t contextLength, const SnmpPdu* pdu, uint8_t* out, int32_t* length)
{
    if (out == nullptr || length == nullptr || engineIdLength < 0 || contextLength < 0 || !fits(engineIdLength) ||
        !fits(contextLength))
        return -1;
    uint8_t element[SnmpPacketSize];
    int32_t pduLength = SnmpPacketSize;
    if (encodePdu(pdu, element, &pduLength) != 0)
        return -1;
    const int64_t content = elementSize(engineIdLength) + elementSize(contextLength) + pduLength;
    if (!fits(content))
        return -1;
    int32_t remaining = *length;
    uint8_t* p = berBuildHeader(out, &remaining, ASN_SEQUENCE, static_cast<uint32_t>(content));
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, engineId, engineIdLength);
    if (p != nullptr)
        p = berBuildString(p, &remaining, ASN_OCTET_STR, context, contextLength);
    if (p == nullptr || remaining < pduLength)
        return -1;
    std::memcpy(p, element, static_cast<size_t>(pduLength));
    *length = static_cast<int32_t>(p - out) + pduLength;
    return 0;
}

int32_t messageVersion(const uint8_t* data, int32_t length)
{
    if (data == nullptr || length <= 0)
        return -1;
    int32_t remaining = length;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &remaining, &tag);
    int32_t version = -1;
    if (p == nullptr || tag != ASN_SEQUENCE || berParseInt(p, &remaining, &tag, &version, sizeof version) == nullptr ||
        tag != ASN_INTEGER)
        return -1;
    return version;
}

int32_t decodeV3Message(const uint8_t* data, int32_t length, V3Message* message)
{
    if (data == nullptr || length <= 0 || message == nullptr)
        return -1;
    std::memset(message, 0, sizeof *message);
    int32_t remaining = length;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &remaining, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return -1;
    int32_t version = 0;
    p = berParseInt(p, &remaining, &tag, &version, sizeof version);
    if (p == nullptr || tag != ASN_INTEGER || version != SnmpV3MessageVersion)
        return -1;

    // msgGlobalData, read within its own bounds.
    int32_t global = remaining;
    const uint8_t* g = berParseHeader(p, &global, &tag);
    if (g == nullptr || tag != ASN_SEQUENCE)
        return -1;
    const uint8_t* afterGlobal = g + global;
    V3Header& header = message->header;
    int32_t flagsLength = 1;
    g = berParseInt(g, &global, &tag, &header.msgId, sizeof header.msgId);
    if (g != nullptr && tag == ASN_INTEGER)
        g = berParseInt(g, &global, &tag, &header.maxSize, sizeof header.maxSize);
    if (g != nullptr && tag == ASN_INTEGER)
        g = berParseString(g, &global, &tag, &header.flags, &flagsLength);
    if (g != nullptr && tag == ASN_OCTET_STR && flagsLength == 1)
        g = berParseInt(g, &global, &tag, &header.securityModel, sizeof header.securityModel);
    else
        g = nullptr;
    if (g == nullptr || tag != ASN_INTEGER || header.msgId < 0)
        return -1;
    remaining -= static_cast<int32_t>(afterGlobal - p);
    p = afterGlobal;

    // msgSecurityParameters: pointed at, not copied.
    int32_t parameters = remaining;
    const uint8_t* content = berParseHeader(p, &parameters, &tag);
    if (content == nullptr || tag != ASN_OCTET_STR)
        return -1;
    message->parameters = content;
    message->parametersLength = parameters;
    remaining -= static_cast<int32_t>(content + parameters - p);
    p = content + parameters;

    // msgData: a ScopedPDU SEQUENCE, or the ciphertext as an octet string.
    int32_t dataRemaining = remaining;
    content = berParseHeader(p, &dataRemaining, &tag);
    if (content == nullptr)
        return -1;
    if (tag == ASN_OCTET_STR) {
        message->encrypted = true;
        message->data = content;
        message->dataLength = dataRemaining;
    } else if (tag == ASN_SEQUENCE) {
        message->data = p;
        message->dataLength = static_cast<int32_t>(content - p) + dataRemaining;
    } else {
        return -1;
    }
    return 0;
}

int32_t decodeScopedPdu(const uint8_t* data, int32_t length, uint8_t* engineId, int32_t* engineIdLength,
                        uint8_t* context, int32_t* contextLength, SnmpPdu* pdu)
{
    if (data == nullptr || length <= 0 || pdu == nullptr)
        return -1;
    int32_t remaining = length;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &remaining, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return -1;
    p = berParseString(p, &remaining, &tag, engineId, engineIdLength);
    if (p == nullptr || tag != ASN_OCTET_STR)
        return -1;
    p = berParseString(p, &remaining, &tag, context, contextLength);
    if (p == nullptr || tag != ASN_OCTET_STR || remaining <= 0)
        return -1;
    return decodePdu(p, remaining, pdu);
}

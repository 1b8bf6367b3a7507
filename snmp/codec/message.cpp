#include "snmp/codec/message.h"

#include <cstring>

#include "snmp/base/allocation.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/ber.h"
#include "snmp/codec/pdu.h"

namespace {

// The value element of a binding, by type.
uint8_t* encodeValue(uint8_t* p, int32_t* remaining, uint8_t type, int32_t valueLength, const uint8_t* value)
{
    if (!isNullLikeType(type) && (valueLength < 0 || (valueLength > 0 && value == nullptr)))
        return nullptr;
    switch (type) {
    case ASN_INTEGER: {
        int32_t v = 0;
        if (valueLength == 4)
            std::memcpy(&v, value, sizeof v);
        return berBuildInt(p, remaining, type, &v, valueLength);
    }
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER: {
        uint32_t v = 0;
        if (valueLength == 4)
            std::memcpy(&v, value, sizeof v);
        return berBuildUnsigned(p, remaining, type, &v, valueLength);
    }
    case ASN_COUNTER64: {
        Counter64 v{};
        if (valueLength == 8)
            std::memcpy(&v, value, sizeof v);
        return berBuildCounter64(p, remaining, type, &v, valueLength);
    }
    case ASN_BIT_STR:
        return berBuildBitString(p, remaining, type, value, valueLength);
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_NSAP:
        return berBuildString(p, remaining, type, value, valueLength);
    case ASN_NULL:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        return berBuildNull(p, remaining, type);
    case ASN_OBJECT_ID: {
        // Copied out, as the value octets need not be aligned for uint32_t.
        uint32_t entries[SnmpOidCapacity];
        const int32_t count = valueLength / 4;
        if (count > SnmpOidCapacity)
            return nullptr;
        if (count > 0)
            std::memcpy(entries, value, static_cast<size_t>(count) * sizeof(uint32_t));
        return berBuildOid(p, remaining, type, entries, count);
    }
    default:
        return nullptr;
    }
}

// A binding's value as decoded, before the binding is made: its octets
// (null: no value) and the length the binding records.
struct DecodedValue {
    const void* octets = nullptr;
    int32_t length = 0;
    // Room for a number or an object identifier's sub-identifiers.
    uint32_t scratch[SnmpOidCapacity];
};

// Decodes the value element (valueElement .. end) of a binding of the given
// type. A value that does not read (an integer beyond its type, an object
// identifier that is empty, too long or cut off) and a constructed value
// leave the binding without a value: the binding is there, its value is not,
// and nothing stands in for it.
void decodeValue(uint8_t type, const uint8_t* valueElement, const uint8_t* end, int32_t contentLength,
                 DecodedValue* out)
{
    int32_t counter = static_cast<int32_t>(end - valueElement);
    uint8_t tag = 0;
    auto number = [out](int32_t octets) {
        out->octets = out->scratch;
        out->length = octets;
    };
    switch (type) {
    case ASN_INTEGER: {
        int32_t v = 0;
        if (berParseInt(valueElement, &counter, &tag, &v, sizeof v) != nullptr) {
            std::memcpy(out->scratch, &v, sizeof v);
            number(sizeof v);
        }
        return;
    }
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER: {
        uint32_t v = 0;
        if (berParseUnsigned(valueElement, &counter, &tag, &v, sizeof v) != nullptr) {
            std::memcpy(out->scratch, &v, sizeof v);
            number(sizeof v);
        }
        return;
    }
    case ASN_COUNTER64: {
        Counter64 v{};
        if (berParseCounter64(valueElement, &counter, &tag, &v, sizeof v) != nullptr) {
            std::memcpy(out->scratch, &v, sizeof v);
            number(sizeof v);
        }
        return;
    }
    case ASN_OBJECT_ID: {
        int32_t count = SnmpOidCapacity;
        if (contentLength != 0 && berParseOid(valueElement, &counter, &tag, out->scratch, &count) != nullptr)
            number(4 * count);
        return;
    }
    case ASN_NULL:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        out->length = contentLength;
        return;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_NSAP:
        break;
    default:
        // A type without a rule of its own: a primitive one is kept as its
        // octets, as an octet string is; a constructed one has no octets of
        // its own to give.
        diagnose("bad type returned (%x)\n", static_cast<unsigned>(type));
        if ((type & ASN_CONSTRUCTOR) != 0) {
            out->length = contentLength;
            return;
        }
        break;
    }
    // An empty string is still present, of length 0.
    out->octets = end - contentLength;
    out->length = contentLength;
}

// The PDU element of pdu, assembled inside out in the packet and the work area
// so that every minimal length is known when it is written; it ends in the
// work area. Its length, or -1.
int32_t encodePduElement(const SnmpPdu* pdu, uint8_t* packet, int32_t capacity, uint8_t* work)
{
    // 1. The bindings, one behind the other, at the start of the packet.
    int32_t remaining = capacity;
    uint8_t* p = packet;
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        p = encodeVarBind(p, &remaining, var->name, var->nameLength, var->type, var->valueLength, var->value);
        if (p == nullptr)
            return -1;
    }
    const int32_t bindingsLength = static_cast<int32_t>(p - packet);

    // 2. The variable-bindings element in the work area.
    int32_t workRemaining = SnmpPacketSize;
    uint8_t* w = berBuildHeader(work, &workRemaining, ASN_SEQUENCE, static_cast<uint32_t>(bindingsLength));
    if (w == nullptr || workRemaining < bindingsLength)
        return -1;
    std::memcpy(w, packet, static_cast<size_t>(bindingsLength));
    const int32_t listLength = static_cast<int32_t>(w - work) + bindingsLength;

    // 3. The PDU's leading fields in the packet, the bindings behind them.
    remaining = capacity;
    p = packet;
    if (pdu->command == PduTrap) {
        if (pdu->enterpriseLength >= 2 && pdu->enterprise == nullptr)
            return -1;
        p = berBuildOid(p, &remaining, ASN_OBJECT_ID, pdu->enterprise, pdu->enterpriseLength);
        if (p != nullptr)
            p = berBuildString(p, &remaining, ASN_IPADDRESS,
                               pdu->agentAddress, sizeof pdu->agentAddress);
        if (p != nullptr)
            p = berBuildInt(p, &remaining, ASN_INTEGER, &pdu->genericTrap, sizeof pdu->genericTrap);
        if (p != nullptr)
            p = berBuildInt(p, &remaining, ASN_INTEGER, &pdu->specificTrap, sizeof pdu->specificTrap);
        // TimeTicks is unsigned: from 0x80000000 on it takes a leading zero octet,
        // as receivers read a top bit set as a negative number.
        if (p != nullptr)
            p = berBuildUnsigned(p, &remaining, ASN_TIMETICKS, &pdu->timeStamp, sizeof pdu->timeStamp);
    } else {
        p = berBuildInt(p, &remaining, ASN_INTEGER, &pdu->requestId, sizeof pdu->requestId);
        if (p != nullptr)
            p = berBuildInt(p, &remaining, ASN_INTEGER, &pdu->errorStatus, sizeof pdu->errorStatus);
        if (p != nullptr)
            p = berBuildInt(p, &remaining, ASN_INTEGER, &pdu->errorIndex, sizeof pdu->errorIndex);
    }
    if (p == nullptr || remaining < listLength)
        return -1;
    std::memcpy(p, work, static_cast<size_t>(listLength));
    const int32_t pduContentLength = static_cast<int32_t>(p - packet) + listLength;

    // 4. The PDU element in the work area.
    workRemaining = SnmpPacketSize;
    w = berBuildHeader(work, &workRemaining, static_cast<uint8_t>(pdu->command & 0xFF),
                       static_cast<uint32_t>(pduContentLength));
    if (w == nullptr || workRemaining < pduContentLength)
        return -1;
    std::memcpy(w, packet, static_cast<size_t>(pduContentLength));
    const int32_t pduLength = static_cast<int32_t>(w - work) + pduContentLength;

    return pduLength;
}

}  // namespace

uint8_t* encodeVarBind(uint8_t* data, int32_t* remaining, const uint32_t* name, int32_t nameLength, uint8_t type,
                       int32_t valueLength, const uint8_t* value)
{
    if (*remaining < 4)
        return nullptr;
    *remaining -= 4;
    uint8_t* content = data + 4;
    if (nameLength >= 2 && name == nullptr)
        return nullptr;
    uint8_t* p = berBuildOid(content, remaining, ASN_OBJECT_ID, name, nameLength);
    if (p == nullptr)
        return nullptr;
    p = encodeValue(p, remaining, type, valueLength, value);
    if (p == nullptr)
        return nullptr;
    int32_t headerRoom = 4;
    if (berBuildSequence(data, &headerRoom, ASN_SEQUENCE, static_cast<uint32_t>(p - content)) == nullptr)
        return nullptr;
    return p;
}

uint8_t* encodeFrameHeader(uint8_t* data, int32_t* remaining, int32_t version, const uint8_t* content,
                           int32_t contentLength, int32_t pduLength)
{
    if (pduLength < 0 || contentLength < 0 || (contentLength > 0 && content == nullptr) ||
        contentLength > SnmpPacketSize)
        return nullptr;
    const int32_t versionSize = 2 + berSignedContentSize(version);
    const int32_t communitySize = 1 + berLengthFieldSize(static_cast<uint32_t>(contentLength)) + contentLength;
    const int64_t total = static_cast<int64_t>(versionSize) + communitySize + pduLength;
    if (total > 0xFFFF)
        return nullptr;

    uint8_t* p = berBuildSequence(data, remaining, ASN_SEQUENCE, static_cast<uint32_t>(total));
    if (p == nullptr)
        return nullptr;
    p = berBuildInt(p, remaining, ASN_INTEGER, &version, sizeof version);
    if (p == nullptr)
        return nullptr;
    return berBuildString(p, remaining, ASN_OCTET_STR, content, contentLength);
}

int32_t encodeFramedMessage(int32_t version, const uint8_t* content, int32_t contentLength, const SnmpPdu* pdu,
                            uint8_t* packet, int32_t* length, int32_t* contentOffset)
{
    if (pdu == nullptr || packet == nullptr || length == nullptr || *length < 0)
        return -1;
    const int32_t capacity = *length;
    uint8_t work[SnmpPacketSize];
    const int32_t pduLength = encodePduElement(pdu, packet, capacity, work);
    if (pduLength < 0)
        return -1;

    // The message header in the packet, the PDU behind it.
    int32_t remaining = capacity;
    uint8_t* p = encodeFrameHeader(packet, &remaining, version, content, contentLength, pduLength);
    if (p == nullptr)
        return -1;
    const int32_t headerLength = static_cast<int32_t>(p - packet);
    if (capacity - headerLength < pduLength)
        return -1;
    std::memcpy(p, work, static_cast<size_t>(pduLength));
    *length = headerLength + pduLength;
    if (contentOffset != nullptr)
        *contentOffset = headerLength - contentLength;
    return 0;
}

const uint8_t* decodeMessageHeader(const uint8_t* data, int32_t* remaining, uint8_t* community,
                                   int32_t* communityLength, int32_t* version)
{
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, remaining, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return nullptr;
    int32_t v = 0;
    p = berParseInt(p, remaining, &tag, &v, sizeof v);
    if (p == nullptr)
        return nullptr;
    *version = v;
    return berParseString(p, remaining, &tag, community, communityLength);
}

const uint8_t* decodeVarBind(const uint8_t* data, int32_t* remaining, uint32_t* name, int32_t* nameLength,
                             uint8_t* type, int32_t* valueLength, const uint8_t** value)
{
    int32_t counter = *remaining;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &counter, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return nullptr;
    p = berParseOid(p, &counter, &tag, name, nameLength);
    if (p == nullptr || tag != ASN_OBJECT_ID)
        return nullptr;
    const uint8_t* valueElement = p;
    p = berParseHeader(p, &counter, type);
    if (p == nullptr)
        return nullptr;
    *valueLength = counter;
    *value = valueElement;
    const uint8_t* end = p + counter;
    *remaining -= static_cast<int32_t>(end - data);
    return end;
}

namespace {

// The PDU's fields and bindings: the content of the PDU element (remaining
// octets at p), whose tag is pdu->command already. 0, or -1.
int32_t decodePduBody(const uint8_t* p, int32_t remaining, SnmpPdu* pdu)
{
    uint8_t tag = 0;
    uint32_t oid[SnmpOidCapacity];
    if (pdu->command == PduTrap) {
        int32_t count = SnmpOidCapacity;
        p = berParseOid(p, &remaining, &tag, oid, &count);
        if (p == nullptr)
            return -1;
        if (!copyEnterprise(pdu, oid, count))
            return -1;
        int32_t addressLength = sizeof pdu->agentAddress;
        p = berParseString(p, &remaining, &tag, pdu->agentAddress,
                           &addressLength);
        if (p != nullptr)
            p = berParseInt(p, &remaining, &tag, &pdu->genericTrap, sizeof pdu->genericTrap);
        if (p != nullptr)
            p = berParseInt(p, &remaining, &tag, &pdu->specificTrap, sizeof pdu->specificTrap);
        // Read as unsigned, so that both the five-octet form and the bare four
        // octets with the top bit set give the same time stamp.
        if (p != nullptr)
            p = berParseUnsigned(p, &remaining, &tag, &pdu->timeStamp, sizeof pdu->timeStamp);
        if (p == nullptr)
            return -1;
    } else {
        p = berParseInt(p, &remaining, &tag, &pdu->requestId, sizeof pdu->requestId);
        if (p != nullptr)
            p = berParseInt(p, &remaining, &tag, &pdu->errorStatus, sizeof pdu->errorStatus);
        if (p != nullptr)
            p = berParseInt(p, &remaining, &tag, &pdu->errorIndex, sizeof pdu->errorIndex);
        if (p == nullptr)
            return -1;
    }

    p = berParseHeader(p, &remaining, &tag);
    if (p == nullptr || tag != ASN_SEQUENCE)
        return -1;

    VarBind** tail = &pdu->variables;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    while (remaining > 0) {
        int32_t nameLength = SnmpOidCapacity;
        uint8_t type = 0;
        int32_t contentLength = 0;
        const uint8_t* valueElement = nullptr;
        const uint8_t* end = decodeVarBind(p, &remaining, oid, &nameLength, &type, &contentLength, &valueElement);
        if (end == nullptr)
            return -1;
        DecodedValue value;
        decodeValue(type, valueElement, end, contentLength, &value);
        // One block for the record, its name and its value.
        VarBind* var = newVar(oid, nameLength, type, value.octets, value.octets != nullptr ? value.length : 0);
        if (var == nullptr)
            return -1;
        var->valueLength = value.length;
        *tail = var;
        tail = &var->next;
        p = end;
    }
    return 0;
}

}  // namespace

int32_t decodeMessage(SnmpSession* session, SnmpPdu* pdu, const uint8_t* data, int32_t length)
{
    if (pdu == nullptr || data == nullptr || length <= 0)
        return -1;
    int32_t remaining = length;
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = SnmpCommunityCapacity;
    int32_t version = 0;
    const uint8_t* p = decodeMessageHeader(data, &remaining, community, &communityLength, &version);
    if (p == nullptr)
        return -1;
    if (version < 0 || version > 2) {
        diagnose("Wrong version: %ld\n", static_cast<long>(version));
        return -1;
    }
    const int32_t pduOffset = static_cast<int32_t>(p - data);
    uint8_t tag = 0;
    p = berParseHeader(p, &remaining, &tag);
    if (p == nullptr)
        return -1;
    pdu->command = tag;

    int32_t result = 0;
    if (session != nullptr && session->authHook != nullptr) {
        result = session->authHook(data, length, data + (pduOffset - communityLength), communityLength, session, pdu);
        if (result < 0)
            return result;
    }

    if (decodePduBody(p, remaining, pdu) != 0)
        return -1;
    return result;
}

int32_t encodePdu(const SnmpPdu* pdu, uint8_t* out, int32_t* length)
{
    if (pdu == nullptr || out == nullptr || length == nullptr || *length < 0)
        return -1;
    uint8_t scratch[SnmpPacketSize];
    uint8_t work[SnmpPacketSize];
    const int32_t pduLength = encodePduElement(pdu, scratch, SnmpPacketSize, work);
    if (pduLength < 0 || pduLength > *length)
        return -1;
    std::memcpy(out, work, static_cast<size_t>(pduLength));
    *length = pduLength;
    return 0;
}

int32_t decodePdu(const uint8_t* data, int32_t length, SnmpPdu* pdu)
{
    if (pdu == nullptr || data == nullptr || length <= 0)
        return -1;
    int32_t remaining = length;
    uint8_t tag = 0;
    const uint8_t* p = berParseHeader(data, &remaining, &tag);
    if (p == nullptr)
        return -1;
    pdu->command = tag;
    return decodePduBody(p, remaining, pdu);
}

#include "snmp/codec/ber.h"

#include <cstring>

namespace {

constexpr uint32_t MaxBuiltLength = 0xFFFF;
// Room for the longest OID: five octets carry any 32-bit sub-identifier.
constexpr int32_t OidWorkArea = 5 * SnmpOidCapacity;

// Tag, length and size of the header of the element at data, checked against
// the octets available (in 64 bits, so a length near 4 GiB cannot wrap).
bool readElement(const uint8_t* data, int32_t available, uint8_t* tag, uint32_t* length, int32_t* headerSize)
{
    if (available < 2)
        return false;
    uint32_t contentLength = 0;
    const uint8_t* content = berParseLength(data + 1, available - 1, &contentLength);
    if (content == nullptr)
        return false;
    *tag = data[0];
    const int32_t header = static_cast<int32_t>(content - data);
    if (static_cast<uint64_t>(header) + contentLength > static_cast<uint64_t>(available))
        return false;
    *length = contentLength;
    *headerSize = header;
    return true;
}

// Content octets of a minimal two's complement integer; value is shifted so
// that its first content octet stands in the top eight bits.
int32_t minimalSigned(uint32_t* value)
{
    const int32_t octets = berSignedContentSize(static_cast<int32_t>(*value));
    *value <<= 8 * (4 - octets);
    return octets;
}

uint8_t* writeSigned(uint8_t* data, int32_t* remaining, uint8_t tag, uint32_t value)
{
    const int32_t octets = minimalSigned(&value);
    uint8_t* p = berBuildHeader(data, remaining, tag, static_cast<uint32_t>(octets));
    if (p == nullptr || *remaining < octets)
        return nullptr;
    for (int32_t i = 0; i < octets; ++i) {
        *p++ = static_cast<uint8_t>(value >> 24);
        value <<= 8;
    }
    *remaining -= octets;
    return p;
}

// The integer element at data, read by value: redundant leading octets are
// skipped, then at most maxOctets significant octets may remain, and when
// maxOctets remain the first must be 0x00 (the sign octet of an unsigned value
// with its top bit set). The value is assembled sign-extended into 64 bits.
// An empty content has no value and is refused.
const uint8_t* parseInteger(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint64_t* value,
                            uint32_t maxOctets, bool leadingZeroAtMax)
{
    uint32_t length = 0;
    int32_t header = 0;
    if (!readElement(data, *remaining, tag, &length, &header))
        return nullptr;
    if (length == 0)
        return nullptr;
    const uint8_t* content = data + header;
    const uint8_t* p = content;
    uint32_t significant = length;
    while (significant > 1 && ((p[0] == 0x00 && (p[1] & 0x80) == 0) || (p[0] == 0xFF && (p[1] & 0x80) != 0))) {
        ++p;
        --significant;
    }
    if (significant > maxOctets)
        return nullptr;
    if (leadingZeroAtMax && significant == maxOctets && p[0] != 0x00)
        return nullptr;
    uint64_t result = (p[0] & 0x80) != 0 ? ~uint64_t{0} : 0;
    for (uint32_t i = 0; i < significant; ++i)
        result = (result << 8) | p[i];
    *value = result;
    *remaining -= header + static_cast<int32_t>(length);
    return content + length;
}

int32_t subIdentifierOctets(uint32_t value)
{
    int32_t octets = 1;
    while (octets < 5 && (value >> (7 * octets)) != 0)
        ++octets;
    return octets;
}

bool appendSubIdentifier(uint8_t* work, int32_t* used, uint32_t value)
{
    const int32_t octets = subIdentifierOctets(value);
    if (*used + octets > OidWorkArea)
        return false;
    for (int32_t group = octets - 1; group >= 0; --group) {
        uint8_t octet = static_cast<uint8_t>((value >> (7 * group)) & 0x7F);
        if (group != 0)
            octet |= 0x80;
        work[(*used)++] = octet;
    }
    return true;
}

}  // namespace

const uint8_t* berParseLength(const uint8_t* data, int32_t available, uint32_t* length)
{
    if (data == nullptr || available < 1)
        return nullptr;
    const uint8_t first = data[0];
    if (first < 0x80) {
        *length = first;
        return data + 1;
    }
    const int32_t octets = first & 0x7F;
    if (octets == 0 || octets > 4 || 1 + octets > available)
        return nullptr;
    uint32_t result = 0;
    for (int32_t i = 1; i <= octets; ++i)
        result = (result << 8) | data[i];
    *length = result;
    return data + 1 + octets;
}

uint8_t* berBuildLength(uint8_t* data, int32_t* remaining, uint32_t length)
{
    if (length > MaxBuiltLength)
        return nullptr;
    const int32_t needed = berLengthFieldSize(length);
    if (*remaining < needed)
        return nullptr;
    if (needed == 1) {
        data[0] = static_cast<uint8_t>(length);
    } else if (needed == 2) {
        data[0] = 0x81;
        data[1] = static_cast<uint8_t>(length);
    } else {
        data[0] = 0x82;
        data[1] = static_cast<uint8_t>(length >> 8);
        data[2] = static_cast<uint8_t>(length);
    }
    *remaining -= needed;
    return data + needed;
}

const uint8_t* berParseHeader(const uint8_t* data, int32_t* remaining, uint8_t* tag)
{
    if (*remaining <= 0)
        return nullptr;
    if ((data[0] & 0x1F) == 0x1F)
        return nullptr;
    uint32_t length = 0;
    int32_t header = 0;
    if (!readElement(data, *remaining, tag, &length, &header))
        return nullptr;
    *remaining = static_cast<int32_t>(length);
    return data + header;
}

uint8_t* berBuildHeader(uint8_t* data, int32_t* remaining, uint8_t tag, uint32_t length)
{
    if (length > MaxBuiltLength || *remaining < 1 + berLengthFieldSize(length))
        return nullptr;
    data[0] = tag;
    *remaining -= 1;
    return berBuildLength(data + 1, remaining, length);
}

uint8_t* berBuildSequence(uint8_t* data, int32_t* remaining, uint8_t tag, uint32_t length)
{
    if (length > MaxBuiltLength || *remaining < 4)
        return nullptr;
    data[0] = tag;
    data[1] = 0x82;
    data[2] = static_cast<uint8_t>(length >> 8);
    data[3] = static_cast<uint8_t>(length);
    *remaining -= 4;
    return data + 4;
}

const uint8_t* berParseInt(const uint8_t* data, int32_t* remaining, uint8_t* tag, int32_t* value, int32_t width)
{
    if (width != 4)
        return nullptr;
    uint64_t result = 0;
    const uint8_t* end = parseInteger(data, remaining, tag, &result, 4, false);
    if (end != nullptr)
        *value = static_cast<int32_t>(static_cast<uint32_t>(result));
    return end;
}

const uint8_t* berParseUnsigned(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint32_t* value, int32_t width)
{
    if (width != 4)
        return nullptr;
    uint64_t result = 0;
    const uint8_t* end = parseInteger(data, remaining, tag, &result, 5, true);
    if (end != nullptr)
        *value = static_cast<uint32_t>(result);
    return end;
}

const uint8_t* berParseCounter64(const uint8_t* data, int32_t* remaining, uint8_t* tag, Counter64* value,
                                 int32_t width)
{
    if (width != 8)
        return nullptr;
    // A nine-octet content shifts its leading zero out of the top.
    uint64_t result = 0;
    const uint8_t* end = parseInteger(data, remaining, tag, &result, 9, true);
    if (end != nullptr) {
        value->high = static_cast<uint32_t>(result >> 32);
        value->low = static_cast<uint32_t>(result);
    }
    return end;
}

uint8_t* berBuildInt(uint8_t* data, int32_t* remaining, uint8_t tag, const int32_t* value, int32_t width)
{
    if (width != 4)
        return nullptr;
    return writeSigned(data, remaining, tag, static_cast<uint32_t>(*value));
}

uint8_t* berBuildUnsigned(uint8_t* data, int32_t* remaining, uint8_t tag, const uint32_t* value, int32_t width)
{
    if (width != 4)
        return nullptr;
    const uint32_t v = *value;
    if (v < 0x80000000u)
        return writeSigned(data, remaining, tag, v);
    uint8_t* p = berBuildHeader(data, remaining, tag, 5);
    if (p == nullptr || *remaining < 5)
        return nullptr;
    p[0] = 0x00;
    p[1] = static_cast<uint8_t>(v >> 24);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 8);
    p[4] = static_cast<uint8_t>(v);
    *remaining -= 5;
    return p + 5;
}

uint8_t* berBuildCounter64(uint8_t* data, int32_t* remaining, uint8_t tag, const Counter64* value, int32_t width)
{
    if (width != 8)
        return nullptr;
    uint64_t v = (static_cast<uint64_t>(value->high) << 32) | value->low;
    int32_t octets = 8;
    bool leadingZero = false;
    if ((value->high & 0x80000000u) != 0) {
        leadingZero = true;
    } else {
        while (octets > 1 && (v & 0xFF80000000000000ull) == 0) {
            v <<= 8;
            --octets;
        }
    }
    const int32_t contentLength = octets + (leadingZero ? 1 : 0);
    uint8_t* p = berBuildHeader(data, remaining, tag, static_cast<uint32_t>(contentLength));
    if (p == nullptr || *remaining < contentLength)
        return nullptr;
    if (leadingZero)
        *p++ = 0x00;
    for (int32_t i = 0; i < octets; ++i) {
        *p++ = static_cast<uint8_t>(v >> 56);
        v <<= 8;
    }
    *remaining -= contentLength;
    return p;
}

const uint8_t* berParseString(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint8_t* dest, int32_t* length)
{
    const int32_t capacity = *length;
    if (capacity < 0)
        return nullptr;
    uint32_t contentLength = 0;
    int32_t header = 0;
    if (!readElement(data, *remaining, tag, &contentLength, &header))
        return nullptr;
    if (contentLength > static_cast<uint32_t>(capacity))
        return nullptr;
    if (contentLength > 0)
        std::memcpy(dest, data + header, contentLength);
    *length = static_cast<int32_t>(contentLength);
    *remaining -= header + static_cast<int32_t>(contentLength);
    return data + header + contentLength;
}

uint8_t* berBuildString(uint8_t* data, int32_t* remaining, uint8_t tag, const uint8_t* source, int32_t length)
{
    if (length < 0 || (length > 0 && source == nullptr))
        return nullptr;
    uint8_t* p = berBuildHeader(data, remaining, tag, static_cast<uint32_t>(length));
    if (p == nullptr || *remaining < length)
        return nullptr;
    if (length > 0)
        std::memcpy(p, source, static_cast<size_t>(length));
    *remaining -= length;
    return p + length;
}

const uint8_t* berParseOid(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint32_t* oid, int32_t* count)
{
    const int32_t capacity = *count;
    if (capacity < 2)
        return nullptr;
    uint32_t length = 0;
    int32_t header = 0;
    if (!readElement(data, *remaining, tag, &length, &header))
        return nullptr;
    const uint8_t* content = data + header;
    const uint8_t* end = content + length;

    // First pass: validate and count, so that a refused element leaves the
    // caller's array as it was.
    int32_t values = 0;
    uint32_t value = 0;
    bool inside = false;
    for (const uint8_t* p = content; p < end; ++p) {
        if (value > (0xFFFFFFFFu >> 7))
            return nullptr;  // would need more than 32 bits
        value = (value << 7) | (*p & 0x7Fu);
        inside = (*p & 0x80) != 0;
        if (!inside) {
            if (values == capacity - 1)
                return nullptr;  // more sub-identifiers than the capacity
            ++values;
            value = 0;
        }
    }
    if (inside)
        return nullptr;  // content ends inside a sub-identifier

    if (values == 0) {
        oid[0] = 0;
        oid[1] = 0;
        *count = 1;
    } else {
        int32_t index = 1;
        value = 0;
        for (const uint8_t* p = content; p < end; ++p) {
            value = (value << 7) | (*p & 0x7Fu);
            if ((*p & 0x80) == 0) {
                oid[index++] = value;
                value = 0;
            }
        }
        const uint32_t first = oid[1];
        if (first < 80) {
            oid[0] = first / 40;
            oid[1] = first % 40;
        } else {
            oid[0] = 2;
            oid[1] = first - 80;
        }
        *count = values + 1;
    }
    *remaining -= header + static_cast<int32_t>(length);
    return end;
}

uint8_t* berBuildOid(uint8_t* data, int32_t* remaining, uint8_t tag, const uint32_t* oid, int32_t count)
{
    if (count > SnmpOidCapacity)
        return nullptr;
    uint8_t work[OidWorkArea];
    int32_t used = 0;
    if (count < 2) {
        work[used++] = 0x00;
    } else {
        // The first two arcs share one sub-identifier. Arcs it cannot hold
        // would go out as another name (3.0 as 2.40), so they are refused.
        if (oid[0] > 2 || (oid[0] < 2 && oid[1] > 39) || oid[1] > 0xFFFFFFFFu - oid[0] * 40)
            return nullptr;
        if (!appendSubIdentifier(work, &used, oid[0] * 40 + oid[1]))
            return nullptr;
        for (int32_t i = 2; i < count; ++i) {
            if (!appendSubIdentifier(work, &used, oid[i]))
                return nullptr;
        }
    }
    return berBuildString(data, remaining, tag, work, used);
}

uint8_t* berBuildNull(uint8_t* data, int32_t* remaining, uint8_t tag)
{
    return berBuildHeader(data, remaining, tag, 0);
}

uint8_t* berBuildBitString(uint8_t* data, int32_t* remaining, uint8_t tag, const uint8_t* source, int32_t length)
{
    if (length < 1 || source == nullptr || source[0] > 7)
        return nullptr;
    return berBuildString(data, remaining, tag, source, length);
}

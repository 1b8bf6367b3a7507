// Helpers shared by the fuzz targets: a reader of fuzzer bytes, a checked
// condition that stops the run, and comparison of PDUs up to the forms that
// the encoder normalises.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "snmp/codec/ber.h"
#include "snmp/codec/message.h"
#include "snmp/codec/pdu.h"
#include "snmp/security/common/signed_message.h"

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() << 8 | u8()); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) << 16 | u16(); }
    void bytes(uint8_t* out, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            out[i] = u8();
    }
    bool empty() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// An OID as it reads back from the wire: fewer than two entries travel as
// 0.0, and the first two entries as the one value first * 40 + second (so an
// out-of-range pair such as 5.3 reads back as 2.123).
inline std::vector<uint32_t> normalOid(const uint32_t* oid, int32_t count)
{
    if (count < 2 || oid == nullptr)
        return {0, 0};
    std::vector<uint32_t> out(oid, oid + count);
    const uint32_t first = out[0] * 40 + out[1];
    out[0] = first < 80 ? first / 40 : 2;
    out[1] = first < 80 ? first % 40 : first - 80;
    return out;
}

// Types that the encoder writes and the decoder reads back as they were
// (a bit string as its octets).
inline bool isDecodable(uint8_t type) { return isStoredValueType(type) || isNullLikeType(type) || type == ASN_BIT_STR; }

// A binding as it reads back after going through the wire.
inline void checkSameBinding(const VarBind* sent, const VarBind* got)
{
    FUZZ_CHECK(got != nullptr);
    FUZZ_CHECK(normalOid(sent->name, sent->nameLength) == normalOid(got->name, got->nameLength));
    FUZZ_CHECK(sent->type == got->type);
    if (isNullLikeType(sent->type)) {
        FUZZ_CHECK(got->value == nullptr);
        FUZZ_CHECK(got->valueLength == 0);
    } else if (sent->type == ASN_OBJECT_ID) {
        FUZZ_CHECK(got->valueLength % 4 == 0);
        std::vector<uint32_t> a(static_cast<size_t>(sent->valueLength / 4));
        std::vector<uint32_t> b(static_cast<size_t>(got->valueLength / 4));
        if (!a.empty())
            std::memcpy(a.data(), sent->value, a.size() * 4);
        if (!b.empty())
            std::memcpy(b.data(), got->value, b.size() * 4);
        FUZZ_CHECK(normalOid(a.data(), static_cast<int32_t>(a.size())) ==
                   normalOid(b.data(), static_cast<int32_t>(b.size())));
    } else {
        FUZZ_CHECK(got->value != nullptr);
        FUZZ_CHECK(sent->valueLength == got->valueLength);
        if (sent->valueLength > 0)
            FUZZ_CHECK(std::memcmp(sent->value, got->value, static_cast<size_t>(sent->valueLength)) == 0);
    }
}

inline void checkSamePdu(const SnmpPdu* sent, const SnmpPdu* got)
{
    FUZZ_CHECK((sent->command & 0xFF) == got->command);
    if (got->command == PduTrap) {
        FUZZ_CHECK(normalOid(sent->enterprise, sent->enterpriseLength) ==
                   normalOid(got->enterprise, got->enterpriseLength));
        FUZZ_CHECK(std::memcmp(sent->agentAddress, got->agentAddress, sizeof sent->agentAddress) == 0);
        FUZZ_CHECK(sent->genericTrap == got->genericTrap);
        FUZZ_CHECK(sent->specificTrap == got->specificTrap);
        FUZZ_CHECK(sent->timeStamp == got->timeStamp);
    } else {
        FUZZ_CHECK(sent->requestId == got->requestId);
        FUZZ_CHECK(sent->errorStatus == got->errorStatus);
        FUZZ_CHECK(sent->errorIndex == got->errorIndex);
    }
    const VarBind* b = got->variables;
    for (const VarBind* a = sent->variables; a != nullptr; a = a->next, b = b->next)
        checkSameBinding(a, b);
    FUZZ_CHECK(b == nullptr);
}

inline SnmpPdu* zeroPdu() { return static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))); }

// Decoded bindings within their capacities, each value as its type reads.
inline void checkDecodedBindings(const SnmpPdu* pdu)
{
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        FUZZ_CHECK(var->nameLength >= 1 && var->nameLength <= SnmpOidCapacity && var->name != nullptr);
        switch (var->type) {
        // A value that does not read as its type is absent, never half there.
        case ASN_INTEGER:
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            FUZZ_CHECK(var->value == nullptr ? var->valueLength == 0 : var->valueLength == 4);
            break;
        case ASN_COUNTER64:
            FUZZ_CHECK(var->value == nullptr ? var->valueLength == 0 : var->valueLength == 8);
            break;
        case ASN_OBJECT_ID:
            FUZZ_CHECK(var->value == nullptr ? var->valueLength == 0
                                             : var->valueLength % 4 == 0 && var->valueLength >= 8 &&
                                                   var->valueLength <= 4 * SnmpOidCapacity);
            break;
        case ASN_NULL:
        case ASN_NOSUCHOBJECT:
        case ASN_NOSUCHINSTANCE:
        case ASN_ENDOFMIBVIEW:
            FUZZ_CHECK(var->value == nullptr && var->valueLength >= 0 && var->valueLength <= SnmpPacketSize);
            break;
        default:
            // Strings, and any other primitive type, as octets; a constructed value has none.
            FUZZ_CHECK(((var->type & ASN_CONSTRUCTOR) != 0) == (var->value == nullptr));
            FUZZ_CHECK(var->valueLength >= 0 && var->valueLength <= SnmpPacketSize);
            break;
        }
    }
}

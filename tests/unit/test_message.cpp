// Whole messages: the request and trap forms, every value type, the worked
// GetRequest octet for octet, decoding of hand-made datagrams, every prefix of
// every valid message, and every encoding capacity up to the size needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "tests/support/hex.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t sysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const uint32_t sysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};

// A session record as the session layer would hand it to the codec.
struct TestSession {
    SnmpSession session{};
    std::string community;
    TestSession(int32_t version, std::string text) : community(std::move(text))
    {
        session.version = version;
        session.community = reinterpret_cast<const uint8_t*>(community.data());
        session.communityLength = static_cast<int32_t>(community.size());
    }
};

// Element helpers for hand-made datagrams (minimal length forms).
Bytes tlv(uint8_t tag, const Bytes& content)
{
    Bytes out = {tag};
    const size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n <= 0xFF) {
        out.push_back(0x81);
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(n));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes requestMessage(uint8_t version, const std::string& community, uint8_t command, const Bytes& bindings)
{
    return tlv(0x30, cat({tlv(0x02, {version}), tlv(0x04, text(community)),
                          tlv(command, cat({hexBytes("02 01 2A 02 01 00 02 01 00"), tlv(0x30, bindings)}))}));
}

Bytes binding(const Bytes& name, const Bytes& value) { return tlv(0x30, cat({name, value})); }

VarBind* addValue(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* value, int32_t length)
{
    VarBind* var = addNullVar(pdu, name, count);
    var->type = type;
    if (value != nullptr && length > 0) {
        var->value = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(length)));
        std::memcpy(var->value, value, static_cast<size_t>(length));
    }
    var->valueLength = length;
    return var;
}

struct PduDeleter {
    void operator()(SnmpPdu* pdu) const { freePdu(pdu); }
};
using PduPtr = std::unique_ptr<SnmpPdu, PduDeleter>;

PduPtr newPdu(int32_t command) { return PduPtr(createPdu(command)); }

Bytes encode(const SnmpSession& session, const SnmpPdu& pdu, int32_t capacity = SnmpPacketSize)
{
    Bytes out(static_cast<size_t>(capacity));
    int32_t length = capacity;
    if (encodeMessage(&session, &pdu, out.data(), &length, 0) != 0)
        return {};
    out.resize(static_cast<size_t>(length));
    return out;
}

// Decodes from an exactly sized heap copy.
int32_t decode(const Bytes& message, SnmpPdu* pdu, SnmpSession* session = nullptr)
{
    ExactBuffer buffer(message.data(), message.size());
    return decodeMessage(session, pdu, buffer.get(), static_cast<int32_t>(message.size()));
}

PduPtr workedExample()
{
    PduPtr pdu = newPdu(PduGetRequest);
    pdu->requestId = 1;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    addNullVar(pdu.get(), sysUpTime, 9);
    return pdu;
}

const char* const workedExampleHex =
    "30 82 00 28 02 01 00 04 06 70 75 62 6C 69 63 A0 1B 02 01 01 02 01 00 02 01 00 "
    "30 10 30 82 00 0C 06 08 2B 06 01 02 01 01 03 00 05 00";

PduPtr trapExample()
{
    PduPtr pdu = newPdu(PduTrap);
    const uint32_t enterprise[] = {1, 3, 6, 1, 4, 1, 4242};
    pdu->enterprise = static_cast<uint32_t*>(std::calloc(7, sizeof(uint32_t)));
    std::memcpy(pdu->enterprise, enterprise, sizeof enterprise);
    pdu->enterpriseLength = 7;
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(pdu->agentAddress, loopback, sizeof loopback);
    pdu->genericTrap = 6;
    pdu->specificTrap = 17;
    pdu->timeStamp = 1234;
    const int32_t value = 42;
    const uint32_t name[] = {1, 3, 6, 1, 4, 1, 4242, 1, 0};
    addValue(pdu.get(), name, 9, ASN_INTEGER, &value, 4);
    return pdu;
}

const char* const trapExampleHex =
    "30 82 00 3A 02 01 00 04 06 70 75 62 6C 69 63 A4 2D 06 07 2B 06 01 04 01 A1 12 40 04 7F 00 00 01 "
    "02 01 06 02 01 11 43 02 04 D2 30 12 30 82 00 0E 06 09 2B 06 01 04 01 A1 12 01 00 02 01 2A";

// ---- one value of every type --------------------------------------------

struct ValueCase {
    uint8_t type;
    Bytes stored;         // the value buffer as the records hold it
    const char* element;  // the value element on the wire
};

Bytes storedInt(int32_t v) { return Bytes(reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); }
Bytes storedUnsigned(uint32_t v) { return Bytes(reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); }
Bytes storedCounter64(uint32_t high, uint32_t low)
{
    const Counter64 c{high, low};
    return Bytes(reinterpret_cast<const uint8_t*>(&c), reinterpret_cast<const uint8_t*>(&c) + 8);
}
Bytes storedOid(std::vector<uint32_t> oid)
{
    return Bytes(reinterpret_cast<uint8_t*>(oid.data()), reinterpret_cast<uint8_t*>(oid.data() + oid.size()));
}

const std::vector<ValueCase>& valueCases()
{
    static const std::vector<ValueCase> cases = {
        {ASN_INTEGER, storedInt(-5), "02 01 FB"},
        {ASN_INTEGER, storedInt(INT32_MIN), "02 04 80 00 00 00"},
        {ASN_INTEGER, storedInt(128), "02 02 00 80"},
        {ASN_OCTET_STR, text("abc"), "04 03 61 62 63"},
        {ASN_OCTET_STR, {}, "04 00"},
        {ASN_NULL, {}, "05 00"},
        {ASN_OBJECT_ID, storedOid({1, 3, 6, 1, 4, 1, 4242}), "06 07 2B 06 01 04 01 A1 12"},
        {ASN_OBJECT_ID, storedOid({0, 0}), "06 01 00"},
        {ASN_IPADDRESS, {10, 1, 2, 3}, "40 04 0A 01 02 03"},
        {ASN_COUNTER, storedUnsigned(0xFFFFFFFFu), "41 05 00 FF FF FF FF"},
        {ASN_GAUGE, storedUnsigned(1000), "42 02 03 E8"},
        {ASN_TIMETICKS, storedUnsigned(123456), "43 03 01 E2 40"},
        {ASN_OPAQUE, {0x9F, 0x78, 0x04}, "44 03 9F 78 04"},
        {ASN_NSAP, {0xAB, 0xCD}, "45 02 AB CD"},
        {ASN_COUNTER64, storedCounter64(1, 2), "46 05 01 00 00 00 02"},
        {ASN_COUNTER64, storedCounter64(0x80000000u, 5), "46 09 00 80 00 00 00 00 00 00 05"},
        {ASN_UINTEGER, storedUnsigned(7), "47 01 07"},
        {ASN_NOSUCHOBJECT, {}, "80 00"},
        {ASN_NOSUCHINSTANCE, {}, "81 00"},
        {ASN_ENDOFMIBVIEW, {}, "82 00"},
    };
    return cases;
}

TEST(EncodeVarBind, EveryValueType)
{
    for (const auto& c : valueCases()) {
        SCOPED_TRACE(c.element);
        const auto element = hexBytes(c.element);
        const Bytes name = hexBytes("06 08 2B 06 01 02 01 01 01 00");
        const Bytes expected = cat({{0x30, 0x82, 0x00, static_cast<uint8_t>(name.size() + element.size())}, name, element});
        for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
            ExactBuffer buffer(capacity);
            int32_t remaining = static_cast<int32_t>(capacity);
            uint8_t* end = encodeVarBind(buffer.get(), &remaining, sysDescr, 9, c.type,
                                         static_cast<int32_t>(c.stored.size()), c.stored.empty() ? nullptr : c.stored.data());
            if (capacity < expected.size()) {
                EXPECT_EQ(end, nullptr) << capacity;
                continue;
            }
            ASSERT_NE(end, nullptr) << capacity;
            EXPECT_EQ(hexText(buffer.get(), end - buffer.get()), hexText(expected));
        }
    }
}

TEST(EncodeVarBind, BitStringIsSentWithItsUnusedBitCount)
{
    const Bytes bits = {0x04, 0xF0};
    uint8_t out[32];
    int32_t remaining = sizeof out;
    uint8_t* end = encodeVarBind(out, &remaining, sysDescr, 9, ASN_BIT_STR, 2, bits.data());
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(hexText(out, end - out), "30 82 00 0E 06 08 2B 06 01 02 01 01 01 00 03 02 04 F0");
}

TEST(EncodeVarBind, RefusedValues)
{
    const Bytes four = storedInt(1);
    const Bytes eight = storedCounter64(0, 1);
    const Bytes badBits = {0x08, 0x00};
    const struct {
        uint8_t type;
        int32_t length;
        const uint8_t* value;
    } cases[] = {
        {ASN_INTEGER, 2, four.data()},     {ASN_INTEGER, 8, eight.data()},   {ASN_COUNTER, 3, four.data()},
        {ASN_GAUGE, 0, nullptr},           {ASN_COUNTER64, 4, four.data()},  {ASN_COUNTER64, 0, nullptr},
        {ASN_BIT_STR, 0, nullptr},         {ASN_BIT_STR, 2, badBits.data()}, {ASN_BOOLEAN, 4, four.data()},
        {0x99, 0, nullptr},                {ASN_SEQUENCE, 0, nullptr},       {ASN_OCTET_STR, 3, nullptr},
        {ASN_OBJECT_ID, 8, nullptr},       {ASN_INTEGER, 4, nullptr},        {ASN_OBJECT_ID, -8, four.data()},
        {ASN_OCTET_STR, -1, four.data()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        uint8_t out[64];
        int32_t remaining = sizeof out;
        EXPECT_EQ(encodeVarBind(out, &remaining, sysDescr, 9, c.type, c.length, c.value), nullptr);
    }
}

// ---- the worked GetRequest ----------------------------------------------

TEST(EncodeMessage, WorkedGetRequest)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = workedExample();
    const Bytes out = encode(s.session, *pdu);
    EXPECT_EQ(out.size(), 44u);
    EXPECT_EQ(hexText(out), hexText(hexBytes(workedExampleHex)));
}

TEST(EncodeMessage, DoesNotChangeThePdu)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = workedExample();
    const SnmpPdu before = *pdu;
    encode(s.session, *pdu);
    EXPECT_EQ(std::memcmp(&before, pdu.get(), sizeof before), 0);
}

TEST(DecodeMessage, WorkedGetRequest)
{
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    ASSERT_EQ(decode(hexBytes(workedExampleHex), pdu.get()), 0);
    EXPECT_EQ(pdu->command, PduGetRequest);
    EXPECT_EQ(pdu->requestId, 1);
    EXPECT_EQ(pdu->errorStatus, 0);
    EXPECT_EQ(pdu->errorIndex, 0);
    ASSERT_NE(pdu->variables, nullptr);
    EXPECT_EQ(pdu->variables->next, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(pdu->variables->name, pdu->variables->name + pdu->variables->nameLength),
              std::vector<uint32_t>(sysUpTime, sysUpTime + 9));
    EXPECT_EQ(pdu->variables->type, ASN_NULL);
    EXPECT_EQ(pdu->variables->value, nullptr);
    EXPECT_EQ(pdu->variables->valueLength, 0);
}

TEST(EncodeMessage, RequestFormsOfEachCommandAndVersion)
{
    for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
        for (int32_t command : {PduGetRequest, PduGetNextRequest, PduResponse, PduSetRequest, PduGetBulkRequest,
                                PduReport}) {
            TestSession s(version, "private");
            PduPtr pdu = newPdu(command);
            pdu->requestId = 0x12345678;
            pdu->errorStatus = 2;
            pdu->errorIndex = 1;
            addNullVar(pdu.get(), sysDescr, 9);
            const Bytes out = encode(s.session, *pdu);
            const Bytes expected = cat({hexBytes("30 82 00 2C 02 01"), {static_cast<uint8_t>(version)},
                                        tlv(0x04, text("private")),
                                        {static_cast<uint8_t>(command)},
                                        hexBytes("1E 02 04 12 34 56 78 02 01 02 02 01 01 30 10 "
                                                 "30 82 00 0C 06 08 2B 06 01 02 01 01 01 00 05 00")});
            EXPECT_EQ(hexText(out), hexText(expected));

            PduPtr back(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
            ASSERT_EQ(decode(out, back.get()), 0);
            EXPECT_EQ(back->command, command);
            EXPECT_EQ(back->requestId, 0x12345678);
            EXPECT_EQ(back->errorStatus, 2);
            EXPECT_EQ(back->errorIndex, 1);
        }
    }
}

TEST(EncodeMessage, UnsetErrorFieldsAreWrittenAsGiven)
{
    // The session layer turns -1 into 0 before sending; the codec writes what it gets.
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = newPdu(PduGetRequest);
    const Bytes out = encode(s.session, *pdu);
    EXPECT_EQ(hexText(out), "30 82 00 18 02 01 00 04 06 70 75 62 6C 69 63 A0 0B 02 01 00 02 01 FF 02 01 FF 30 00");
}

TEST(EncodeMessage, CommandTagIsItsLowOctet)
{
    TestSession s(SnmpVersion1, "c");
    PduPtr pdu = newPdu(0x1A5);
    pdu->errorStatus = pdu->errorIndex = 0;
    const Bytes out = encode(s.session, *pdu);
    ASSERT_GT(out.size(), 10u);
    EXPECT_EQ(out[10], 0xA5);
}

TEST(EncodeMessage, NoBindingsGiveAnEmptyList)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = workedExample();
    freeVarList(pdu->variables);
    pdu->variables = nullptr;
    const Bytes out = encode(s.session, *pdu);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(hexText(out), "30 82 00 18 02 01 00 04 06 70 75 62 6C 69 63 A0 0B 02 01 01 02 01 00 02 01 00 30 00");
    PduPtr back(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    ASSERT_EQ(decode(out, back.get()), 0);
    EXPECT_EQ(back->variables, nullptr);
}

TEST(EncodeMessage, MinimalLengthsOutsideTheBindings)
{
    // Two bindings with 56-octet strings: a binding list of 144 octets and a PDU
    // content of 156 octets, so both take the two-octet length form.
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = workedExample();
    freeVarList(pdu->variables);
    pdu->variables = nullptr;
    const Bytes filler(56, 'x');
    addValue(pdu.get(), sysDescr, 9, ASN_OCTET_STR, filler.data(), 56);
    addValue(pdu.get(), sysDescr, 9, ASN_OCTET_STR, filler.data(), 56);
    const Bytes out = encode(s.session, *pdu);
    ASSERT_EQ(out.size(), 4u + 3 + 8 + 3 + 156);
    EXPECT_EQ(hexText(out.data(), 4), "30 82 00 AA");
    EXPECT_EQ(hexText(out.data() + 15, 3), "A0 81 9C");
    EXPECT_EQ(hexText(out.data() + 27, 7), "30 81 90 30 82 00 44");
}

TEST(EncodeMessage, LongCommunityTakesTheLongLengthForm)
{
    TestSession s(SnmpVersion2c, std::string(200, 'k'));
    PduPtr pdu = workedExample();
    const Bytes out = encode(s.session, *pdu);
    ASSERT_EQ(out.size(), 4u + 3 + 3 + 200 + 29);
    EXPECT_EQ(hexText(out.data(), 10), "30 82 00 EB 02 01 01 04 81 C8");
}

TEST(EncodeMessageHeader, LayoutAndSizes)
{
    TestSession s(SnmpVersion1, "public");
    for (int32_t pduLength : {0, 29, 300}) {
        const Bytes expected = cat({{0x30, 0x82, static_cast<uint8_t>((11 + pduLength) >> 8),
                                     static_cast<uint8_t>(11 + pduLength)},
                                    hexBytes("02 01 00 04 06 70 75 62 6C 69 63")});
        for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
            ExactBuffer buffer(capacity);
            int32_t remaining = static_cast<int32_t>(capacity);
            uint8_t* end = encodeMessageHeader(buffer.get(), &remaining, &s.session, pduLength, 0);
            if (capacity < expected.size()) {
                EXPECT_EQ(end, nullptr);
                continue;
            }
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(hexText(buffer.get(), end - buffer.get()), hexText(expected));
        }
    }
}

TEST(EncodeMessageHeader, VersionOutsideOneOctetStillCountsRight)
{
    // The outer length follows the version element's real size.
    TestSession s(300, "p");
    uint8_t out[32];
    int32_t remaining = sizeof out;
    uint8_t* end = encodeMessageHeader(out, &remaining, &s.session, 10, 0);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(hexText(out, end - out), "30 82 00 11 02 02 01 2C 04 01 70");
}

TEST(EncodeMessageHeader, RefusesBadCommunityRecords)
{
    SnmpSession session{};
    session.communityLength = 4;  // but no community octets
    uint8_t out[32];
    int32_t remaining = sizeof out;
    EXPECT_EQ(encodeMessageHeader(out, &remaining, &session, 0, 0), nullptr);
    session.communityLength = -1;
    remaining = sizeof out;
    EXPECT_EQ(encodeMessageHeader(out, &remaining, &session, 0, 0), nullptr);
    remaining = sizeof out;
    EXPECT_EQ(encodeMessageHeader(out, &remaining, nullptr, 0, 0), nullptr);
}

// ---- traps ---------------------------------------------------------------

TEST(EncodeMessage, Trap)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = trapExample();
    pdu->requestId = 55;  // not part of the trap form
    EXPECT_EQ(hexText(encode(s.session, *pdu)), hexText(hexBytes(trapExampleHex)));
}

TEST(DecodeMessage, TrapFillsTheTrapFieldsOnly)
{
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    pdu->requestId = 77;
    pdu->errorStatus = 78;
    pdu->errorIndex = 79;
    ASSERT_EQ(decode(hexBytes(trapExampleHex), pdu.get()), 0);
    EXPECT_EQ(pdu->command, PduTrap);
    ASSERT_EQ(pdu->enterpriseLength, 7);
    EXPECT_EQ(std::vector<uint32_t>(pdu->enterprise, pdu->enterprise + 7),
              (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 4242}));
    EXPECT_EQ(std::vector<uint8_t>(pdu->agentAddress, pdu->agentAddress + 4), (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_EQ(pdu->genericTrap, 6);
    EXPECT_EQ(pdu->specificTrap, 17);
    EXPECT_EQ(pdu->timeStamp, 1234u);
    EXPECT_EQ(pdu->requestId, 77);
    EXPECT_EQ(pdu->errorStatus, 78);
    EXPECT_EQ(pdu->errorIndex, 79);
    ASSERT_NE(pdu->variables, nullptr);
    EXPECT_EQ(pdu->variables->type, ASN_INTEGER);
    int32_t value = 0;
    std::memcpy(&value, pdu->variables->value, 4);
    EXPECT_EQ(value, 42);
}

TEST(EncodeMessage, TrapTimeStampIsUnsignedAndDefaultEnterpriseForm)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = newPdu(PduTrap);  // no enterprise: the single sub-identifier 0
    pdu->timeStamp = 0x80000000u;
    const Bytes out = encode(s.session, *pdu);
    EXPECT_EQ(hexText(out), "30 82 00 25 02 01 00 04 06 70 75 62 6C 69 63 A4 18 06 01 00 40 04 00 00 00 00 "
                            "02 01 00 02 01 00 43 05 00 80 00 00 00 30 00");
    PduPtr back(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    ASSERT_EQ(decode(out, back.get()), 0);
    EXPECT_EQ(back->timeStamp, 0x80000000u);
    EXPECT_EQ(back->enterpriseLength, 2);  // 06 01 00 reads as 0.0
}

TEST(DecodeMessage, TrapTimeStampForms)
{
    const struct {
        const char* element;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"43 02 04 D2", true, 1234},
        {"43 04 80 00 00 00", true, 0x80000000u},     // top bit set without the zero octet
        {"43 05 00 FF FF FF FF", true, 0xFFFFFFFFu},
        {"43 06 00 00 00 00 00 05", true, 5},  // read by value
        {"43 00", false, 0},                   // no content: no time stamp
        {"43 05 01 00 00 00 00", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        const Bytes message = tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("public")),
                                             tlv(0xA4, cat({hexBytes("06 01 2B 40 04 0A 00 00 01 02 01 03 02 01 00"),
                                                            hexBytes(c.element), tlv(0x30, {})}))}));
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        const int32_t result = decode(message, pdu.get());
        if (c.ok) {
            ASSERT_EQ(result, 0);
            EXPECT_EQ(pdu->timeStamp, c.value);
            EXPECT_EQ(pdu->genericTrap, 3);
        } else {
            EXPECT_EQ(result, -1);
        }
    }
}

TEST(EncodeMessage, TrapWithLengthButNoEnterpriseIsRefused)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = newPdu(PduTrap);
    pdu->enterpriseLength = 5;
    EXPECT_TRUE(encode(s.session, *pdu).empty());
}

// ---- every value type through a whole message ---------------------------

TEST(Message, EveryValueTypeRoundTrip)
{
    TestSession s(SnmpVersion2c, "public");
    PduPtr pdu = newPdu(PduResponse);
    pdu->requestId = 9;
    pdu->errorStatus = pdu->errorIndex = 0;
    for (const auto& c : valueCases())
        addValue(pdu.get(), sysDescr, 9, c.type, c.stored.empty() ? nullptr : c.stored.data(),
                 static_cast<int32_t>(c.stored.size()));
    const Bytes out = encode(s.session, *pdu);
    ASSERT_FALSE(out.empty());

    PduPtr back(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    ASSERT_EQ(decode(out, back.get()), 0);
    const VarBind* var = back->variables;
    for (const auto& c : valueCases()) {
        SCOPED_TRACE(c.element);
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->type, c.type);
        EXPECT_EQ(var->nameLength, 9);
        ASSERT_EQ(var->valueLength, static_cast<int32_t>(c.stored.size()));
        if (c.type == ASN_NULL || c.type >= ASN_NOSUCHOBJECT) {
            EXPECT_EQ(var->value, nullptr);
        } else {
            ASSERT_NE(var->value, nullptr);  // present, even for an empty string
            EXPECT_EQ(hexText(var->value, static_cast<size_t>(var->valueLength)), hexText(c.stored));
        }
        var = var->next;
    }
    EXPECT_EQ(var, nullptr);
}

// ---- decoding hand-made datagrams ----------------------------------------

const Bytes nameSysDescr = hexBytes("06 08 2B 06 01 02 01 01 01 00");

TEST(DecodeMessage, VersionsZeroToTwoAcceptedOthersRefused)
{
    const Bytes bindings = binding(nameSysDescr, hexBytes("05 00"));
    for (uint8_t version : {0, 1, 2}) {
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        TestSession s(SnmpVersion1, "public");  // whatever the session's own version
        EXPECT_EQ(decode(requestMessage(version, "public", 0xA2, bindings), pdu.get(), &s.session), 0);
    }
    const struct {
        uint8_t versionContent[2];
        int octets;
        const char* message;
    } refused[] = {{{3}, 1, "Wrong version: 3\n"}, {{0xFF}, 1, "Wrong version: -1\n"},
                   {{0x01, 0x00}, 2, "Wrong version: 256\n"}};
    for (const auto& r : refused) {
        const Bytes version(r.versionContent, r.versionContent + r.octets);
        const Bytes message = tlv(0x30, cat({tlv(0x02, version), tlv(0x04, text("public")),
                                             tlv(0xA2, cat({hexBytes("02 01 01 02 01 00 02 01 00"), tlv(0x30, {})}))}));
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        testing::internal::CaptureStderr();
        EXPECT_EQ(decode(message, pdu.get()), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.message);
    }
}

TEST(DecodeMessage, CommunityOf256DecodesOf257DoesNot)
{
    const Bytes bindings = binding(nameSysDescr, hexBytes("05 00"));
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    EXPECT_EQ(decode(requestMessage(0, std::string(256, 'c'), 0xA2, bindings), pdu.get()), 0);
    EXPECT_NE(pdu->variables, nullptr);
    PduPtr other(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    EXPECT_EQ(decode(requestMessage(0, std::string(257, 'c'), 0xA2, bindings), other.get()), -1);
}

TEST(DecodeMessage, UnknownTypesAreReportedAndKeptAsOctets)
{
    const Bytes bindings = cat({binding(nameSysDescr, hexBytes("03 02 00 F0")),
                                binding(nameSysDescr, hexBytes("01 01 FF")),
                                binding(nameSysDescr, hexBytes("A0 00")),
                                binding(nameSysDescr, hexBytes("02 01 07"))});
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    testing::internal::CaptureStderr();
    EXPECT_EQ(decode(requestMessage(1, "public", 0xA2, bindings), pdu.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "bad type returned (3)\nbad type returned (1)\nbad type returned (a0)\n");
    const VarBind* var = pdu->variables;
    const struct {
        uint8_t type;
        const char* octets;  // null: no value (constructed)
    } expected[] = {{3, "00 F0"}, {1, "FF"}, {0xA0, nullptr}};
    for (const auto& e : expected) {
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->type, e.type);
        if (e.octets == nullptr) {
            EXPECT_EQ(var->value, nullptr);
        } else {
            ASSERT_NE(var->value, nullptr);
            EXPECT_EQ(hexText(var->value, static_cast<size_t>(var->valueLength)), e.octets);
        }
        var = var->next;
    }
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(var->type, ASN_INTEGER);
    ASSERT_NE(var->value, nullptr);
    EXPECT_EQ(var->value[0], 7);
}

TEST(DecodeMessage, ValuesThatDoNotFitHaveNone)
{
    // Beyond their type, empty or cut off: the binding is there without a
    // value, and the bindings after it are still decoded.
    std::vector<uint8_t> longOid = {0x2B};
    longOid.resize(SnmpOidCapacity, 0x01);  // 1.3 and 127 more: one entry over
    const Bytes bindings = cat({binding(nameSysDescr, hexBytes("02 05 00 80 00 00 00")),
                                binding(nameSysDescr, hexBytes("41 05 01 00 00 00 00")),
                                binding(nameSysDescr, hexBytes("46 09 01 00 00 00 00 00 00 00 00")),
                                binding(nameSysDescr, hexBytes("02 00")),
                                binding(nameSysDescr, hexBytes("06 00")),
                                binding(nameSysDescr, hexBytes("06 02 2B 86")),
                                binding(nameSysDescr, tlv(0x06, longOid)),
                                binding(nameSysDescr, hexBytes("04 02 68 69"))});
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    ASSERT_EQ(decode(requestMessage(1, "public", 0xA2, bindings), pdu.get()), 0);
    const VarBind* var = pdu->variables;
    for (int i = 0; i < 7; ++i, var = var->next) {
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->value, nullptr) << i;
    }
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(var->value), 2), "hi");
}

TEST(DecodeMessage, MalformedStructureFails)
{
    const Bytes good = binding(nameSysDescr, hexBytes("02 01 05"));
    const struct {
        const char* what;
        Bytes message;
    } cases[] = {
        {"outer not a sequence", tlv(0x31, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA2, hexBytes("02 01 01 02 01 00 02 01 00 30 00"))}))},
        {"no pdu", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p"))}))},
        {"pdu runs past the message", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), hexBytes("A2 0C 02 01 01 02 01 00 02 01 00 30 00")}))},
        {"binding list missing", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA2, hexBytes("02 01 01 02 01 00 02 01 00"))}))},
        {"binding list not a sequence", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA2, cat({hexBytes("02 01 01 02 01 00 02 01 00"), tlv(0x31, good)}))}))},
        {"request id too long", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA2, cat({hexBytes("02 05 01 02 03 04 05 02 01 00 02 01 00"), tlv(0x30, good)}))}))},
        {"binding not a sequence", requestMessage(0, "p", 0xA2, cat({good, tlv(0x31, cat({nameSysDescr, hexBytes("05 00")}))}))},
        {"name not tagged 6", requestMessage(0, "p", 0xA2, cat({good, binding(hexBytes("04 08 2B 06 01 02 01 01 01 00"), hexBytes("05 00"))}))},
        {"value missing", requestMessage(0, "p", 0xA2, cat({good, binding(nameSysDescr, {})}))},
        {"value runs past its binding", requestMessage(0, "p", 0xA2, cat({good, tlv(0x30, cat({nameSysDescr, hexBytes("04 05 61")})), hexBytes("62 63 64 65")}))},
        {"indefinite length", hexBytes("30 80 02 01 00 04 01 70 A2 80 00 00 00 00")},
        {"huge length", hexBytes("30 84 FF FF FF F0 02 01 00")},
        {"trap without enterprise", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA4, hexBytes("40 04 7F 00 00 01"))}))},
        {"trap name overflow", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA4, hexBytes("06 06 2B 90 80 80 80 00 40 04 7F 00 00 01 02 01 00 02 01 00 43 01 00 30 00"))}))},
        {"trap address too long", tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text("p")), tlv(0xA4, hexBytes("06 01 2B 40 05 7F 00 00 01 00 02 01 00 02 01 00 43 01 00 30 00"))}))},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        if (c.message.empty()) {
            uint8_t none = 0;
            EXPECT_EQ(decodeMessage(nullptr, pdu.get(), &none, 0), -1);
            continue;
        }
        EXPECT_EQ(decode(c.message, pdu.get()), -1);
    }
}

TEST(DecodeMessage, BindingsBeforeAFailureStayAttached)
{
    const Bytes bindings = cat({binding(nameSysDescr, hexBytes("02 01 05")), binding(nameSysDescr, hexBytes("02 01 06")),
                                tlv(0x31, {})});
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    EXPECT_EQ(decode(requestMessage(0, "p", 0xA2, bindings), pdu.get()), -1);
    ASSERT_NE(pdu->variables, nullptr);
    ASSERT_NE(pdu->variables->next, nullptr);
    EXPECT_EQ(pdu->variables->next->value[0], 6);
    EXPECT_EQ(pdu->variables->next->next, nullptr);
}

TEST(DecodeMessage, TrailingOctetsAfterTheMessageAreIgnored)
{
    Bytes message = hexBytes(workedExampleHex);
    message.push_back(0xFF);
    message.push_back(0x00);
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    EXPECT_EQ(decode(message, pdu.get()), 0);
    EXPECT_NE(pdu->variables, nullptr);
}

TEST(DecodeMessageHeader, FieldsAndBounds)
{
    Bytes message = hexBytes(workedExampleHex);
    message.push_back(0x99);  // not part of the outer sequence
    ExactBuffer buffer(message.data(), message.size());
    uint8_t community[8];
    int32_t communityLength = sizeof community;
    int32_t version = -7;
    int32_t remaining = static_cast<int32_t>(message.size());
    const uint8_t* pduStart = decodeMessageHeader(buffer.get(), &remaining, community, &communityLength, &version);
    ASSERT_EQ(pduStart, buffer.get() + 15);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(community), static_cast<size_t>(communityLength)), "public");
    EXPECT_EQ(remaining, 29);  // the PDU element, bounded by the outer sequence

    communityLength = 5;  // too small for "public"
    remaining = static_cast<int32_t>(message.size());
    EXPECT_EQ(decodeMessageHeader(buffer.get(), &remaining, community, &communityLength, &version), nullptr);
}

TEST(DecodeVarBind, FrameOfOneBinding)
{
    const Bytes bindings = cat({binding(nameSysDescr, hexBytes("04 03 61 62 63")), hexBytes("30 00")});
    ExactBuffer buffer(bindings.data(), bindings.size());
    uint32_t name[64];
    int32_t nameLength = 64;
    uint8_t type = 0;
    int32_t valueLength = -1;
    const uint8_t* value = nullptr;
    int32_t remaining = static_cast<int32_t>(bindings.size());
    const uint8_t* end = decodeVarBind(buffer.get(), &remaining, name, &nameLength, &type, &valueLength, &value);
    ASSERT_EQ(end, buffer.get() + 17);
    EXPECT_EQ(remaining, 2);
    EXPECT_EQ(nameLength, 9);
    EXPECT_EQ(type, ASN_OCTET_STR);
    EXPECT_EQ(valueLength, 3);
    EXPECT_EQ(value, buffer.get() + 12);

    nameLength = 8;  // too small for the name
    remaining = static_cast<int32_t>(bindings.size());
    EXPECT_EQ(decodeVarBind(buffer.get(), &remaining, name, &nameLength, &type, &valueLength, &value), nullptr);
}

// ---- the authentication hook --------------------------------------------

struct HookRecord {
    int calls = 0;
    std::string community;
    int32_t command = 0;
    int32_t messageLength = 0;
    int32_t result = 0;
};
HookRecord hookRecord;

int32_t recordingHook(const uint8_t* message, int32_t messageLength, const uint8_t* parameters,
                      int32_t parametersLength, SnmpSession* /*session*/, SnmpPdu* pdu)
{
    ++hookRecord.calls;
    hookRecord.messageLength = messageLength;
    hookRecord.community.assign(reinterpret_cast<const char*>(parameters), static_cast<size_t>(parametersLength));
    hookRecord.command = pdu->command;
    EXPECT_GE(parameters, message);
    EXPECT_LE(parameters + parametersLength, message + messageLength);
    return hookRecord.result;
}

TEST(DecodeMessage, HookSeesTheCommunityAndDecidesTheResult)
{
    const Bytes message = hexBytes(workedExampleHex);
    for (int32_t result : {0, 4, 7, -1, -5}) {
        SCOPED_TRACE(result);
        hookRecord = HookRecord{};
        hookRecord.result = result;
        TestSession s(SnmpVersion1, "ignored");
        s.session.authHook = recordingHook;
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        EXPECT_EQ(decode(message, pdu.get(), &s.session), result);
        EXPECT_EQ(hookRecord.calls, 1);
        EXPECT_EQ(hookRecord.community, "public");
        EXPECT_EQ(hookRecord.command, PduGetRequest);
        EXPECT_EQ(hookRecord.messageLength, 44);
        // A refused message is not decoded further.
        EXPECT_EQ(pdu->variables != nullptr, result >= 0);
        EXPECT_EQ(pdu->requestId, result >= 0 ? 1 : 0);
    }
}

TEST(DecodeMessage, HookResultNotReturnedWhenTheRestFails)
{
    hookRecord = HookRecord{};
    hookRecord.result = 3;
    TestSession s(SnmpVersion1, "x");
    s.session.authHook = recordingHook;
    const Bytes message = requestMessage(0, "p", 0xA2, tlv(0x31, {}));
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    EXPECT_EQ(decode(message, pdu.get(), &s.session), -1);
    EXPECT_EQ(hookRecord.calls, 1);
}

// ---- the digest field of an authenticating session ----------------------

TEST(MessageDigestField, SixteenOctetsBeforeTheContext)
{
    SnmpSession session{};
    session.version = SnmpVersionUsec;
    session.securityFlags = SecurityAuth | SecurityReportable;
    uint8_t block[64] = {};
    const struct {
        int32_t context;
        int32_t blockLength;
        int32_t offset;  // -1: none
    } cases[] = {{0, 48, 32}, {5, 48, 27}, {32, 48, 0}, {33, 48, -1}, {-1, 48, -1}, {0, 15, -1}, {0, 16, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        session.contextLength = c.context;
        uint8_t* field = messageDigestField(&session, block, c.blockLength);
        if (c.offset < 0)
            EXPECT_EQ(field, nullptr);
        else
            EXPECT_EQ(field, block + c.offset);
    }
}

TEST(MessageDigestField, OnlyForAuthenticatingUserBasedSessions)
{
    uint8_t block[64] = {};
    SnmpSession session{};
    session.version = SnmpVersionUsec;
    session.securityFlags = SecurityReportable;
    EXPECT_EQ(messageDigestField(&session, block, 48), nullptr);
    for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
        session.version = version;
        session.securityFlags = SecurityAuth;
        EXPECT_EQ(messageDigestField(&session, block, 48), nullptr);
    }
    EXPECT_EQ(messageDigestField(nullptr, block, 48), nullptr);
}

TEST(EncodeMessage, AuthBitOfACommunitySessionChangesNothing)
{
    // The digest belongs to the user-based mode only; a stray flag must not
    // overwrite community octets.
    TestSession s(SnmpVersion1, "public");
    s.session.securityFlags = SecurityAuth;
    s.session.contextLength = 40;
    PduPtr pdu = workedExample();
    EXPECT_EQ(hexText(encode(s.session, *pdu)), hexText(hexBytes(workedExampleHex)));
}

// ---- capacities and prefixes for every reference message ----------------

struct Reference {
    const char* name;
    Bytes message;
    TestSession session;
    PduPtr pdu;
};

std::vector<Reference> references()
{
    std::vector<Reference> refs;
    refs.push_back({"get", hexBytes(workedExampleHex), TestSession(SnmpVersion1, "public"), workedExample()});
    refs.push_back({"trap", hexBytes(trapExampleHex), TestSession(SnmpVersion1, "public"), trapExample()});
    PduPtr all = newPdu(PduResponse);
    all->requestId = -2;
    all->errorStatus = all->errorIndex = 0;
    for (const auto& c : valueCases())
        addValue(all.get(), sysDescr, 9, c.type, c.stored.empty() ? nullptr : c.stored.data(),
                 static_cast<int32_t>(c.stored.size()));
    TestSession v2(SnmpVersion2c, std::string(130, 'z'));
    Bytes allBytes = encode(v2.session, *all);
    refs.push_back({"every type", allBytes, v2, std::move(all)});
    return refs;
}

TEST(EncodeMessage, EveryCapacityUpToTheSizeNeeded)
{
    for (auto& ref : references()) {
        SCOPED_TRACE(ref.name);
        ref.session.session.community = reinterpret_cast<const uint8_t*>(ref.session.community.data());
        const size_t needed = ref.message.size();
        ASSERT_GT(needed, 0u);
        for (size_t capacity = 0; capacity <= needed + 1; ++capacity) {
            ExactBuffer buffer(capacity);
            int32_t length = static_cast<int32_t>(capacity);
            const int32_t result = encodeMessage(&ref.session.session, ref.pdu.get(), buffer.get(), &length, 0);
            if (capacity < needed) {
                EXPECT_EQ(result, -1) << capacity;
                continue;
            }
            ASSERT_EQ(result, 0) << capacity;
            EXPECT_EQ(hexText(buffer.get(), static_cast<size_t>(length)), hexText(ref.message));
        }
    }
}

TEST(DecodeMessage, EveryPrefixFromAnExactBuffer)
{
    for (auto& ref : references()) {
        SCOPED_TRACE(ref.name);
        for (size_t length = 0; length <= ref.message.size(); ++length) {
            ExactBuffer buffer(ref.message.data(), length);
            PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
            testing::internal::CaptureStderr();
            const int32_t result = decodeMessage(nullptr, pdu.get(), buffer.get(), static_cast<int32_t>(length));
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(result, length == ref.message.size() ? 0 : -1) << length;
        }
    }
}

TEST(EncodeMessage, LargestMessage)
{
    // A string that makes the message exactly 4500 octets fits a 4500-octet
    // buffer; one octet more does not.
    TestSession s(SnmpVersion1, "public");
    for (int32_t extra : {0, 1}) {
        PduPtr pdu = workedExample();
        const int32_t textLength = 4500 - 44 - 4 - 2 + extra;  // the NULL becomes 04 82 hh ll + text
        const Bytes filler(static_cast<size_t>(textLength), 'q');
        VarBind* var = pdu->variables;
        var->type = ASN_OCTET_STR;
        var->value = static_cast<uint8_t*>(std::calloc(1, filler.size()));
        std::memcpy(var->value, filler.data(), filler.size());
        var->valueLength = textLength;
        uint8_t out[SnmpPacketSize];
        int32_t length = SnmpPacketSize;
        const int32_t result = encodeMessage(&s.session, pdu.get(), out, &length, 0);
        if (extra == 0) {
            ASSERT_EQ(result, 0);
            EXPECT_EQ(length, 4500);
            PduPtr back(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
            EXPECT_EQ(decodeMessage(nullptr, back.get(), out, length), 0);
            EXPECT_EQ(back->variables->valueLength, textLength);
        } else {
            EXPECT_EQ(result, -1);
        }
    }
}

TEST(EncodeMessage, RefusesMissingArguments)
{
    TestSession s(SnmpVersion1, "public");
    PduPtr pdu = workedExample();
    uint8_t out[64];
    int32_t length = sizeof out;
    EXPECT_EQ(encodeMessage(nullptr, pdu.get(), out, &length, 0), -1);
    EXPECT_EQ(encodeMessage(&s.session, nullptr, out, &length, 0), -1);
    EXPECT_EQ(encodeMessage(&s.session, pdu.get(), nullptr, &length, 0), -1);
    length = -1;
    EXPECT_EQ(encodeMessage(&s.session, pdu.get(), out, &length, 0), -1);
}

TEST(EncodeMessage, NamesAndValuesOverTheLimitAreRefused)
{
    TestSession s(SnmpVersion1, "public");
    std::vector<uint32_t> oid(SnmpOidCapacity + 1, 1);
    PduPtr asName = newPdu(PduGetRequest);
    addNullVar(asName.get(), oid.data(), static_cast<int32_t>(oid.size()));
    EXPECT_TRUE(encode(s.session, *asName).empty());
    PduPtr asValue = newPdu(PduSetRequest);
    addValue(asValue.get(), sysDescr, 9, ASN_OBJECT_ID, oid.data(), 4 * static_cast<int32_t>(oid.size()));
    EXPECT_TRUE(encode(s.session, *asValue).empty());
}

}  // namespace

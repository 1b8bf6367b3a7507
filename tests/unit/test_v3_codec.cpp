// The SNMPv3 framing and security parameters: what is written reads back,
// the MAC's place is where the zeros are, and out-of-range or cut-off input
// is refused without reading past it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "snmp/codec/v3_message.h"
#include "snmp/security/usm/usm_parameters.h"
#include "tests/support/hex.h"

namespace {

UsmParameters sampleParameters()
{
    UsmParameters p = {};
    p.engineIdLength = 17;
    std::memset(p.engineId, 0x80, 17);
    p.boots = 3;
    p.time = 2147483647;
    p.userLength = 5;
    std::memcpy(p.user, "alice", 5);
    p.authLength = 48;
    p.saltLength = 8;
    std::memset(p.salt, 0x5A, 8);
    return p;
}

TEST(V3Codec, ParametersReadBackAndMacPlace)
{
    const UsmParameters written = sampleParameters();
    uint8_t out[256];
    int32_t length = sizeof out;
    int32_t authOffset = 0;
    ASSERT_EQ(encodeUsmParameters(written, out, &length, &authOffset), 0);
    UsmParameters read;
    ASSERT_EQ(decodeUsmParameters(out, length, &read), 0);
    EXPECT_EQ(read.authOffset, authOffset);
    EXPECT_EQ(std::vector<uint8_t>(out + authOffset, out + authOffset + 48), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(std::memcmp(&read.engineId, written.engineId, 17), 0);
    EXPECT_EQ(read.boots, 3);
    EXPECT_EQ(read.time, 2147483647);
    EXPECT_EQ(read.userLength, 5);
    EXPECT_EQ(read.saltLength, 8);
    for (int32_t cut = 0; cut < length; ++cut) {
        std::vector<uint8_t> prefix(out, out + cut);  // exact size: ASan sees any read past it
        EXPECT_EQ(decodeUsmParameters(prefix.data(), cut, &read), -1) << cut;
    }
}

TEST(V3Codec, ParametersOutOfRangeRefused)
{
    // SEQUENCE { engine, boots, time, user, auth, salt }, one field wrong each.
    const std::string cases[] = {
        "30 2f 04 21 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20 020101 020101 0400 0400 0400",
        "30 0f 04 01 00 0201ff 020101 0400 0400 0400",          // negative boots
        "30 0f 04 01 00 020101 0201ff 0400 0400 0400",          // negative time
        "30 10 04 01 00 020101 020101 0400 0400 04 01 00",      // a salt of one octet
        "30 40 04 01 00 020101 020101 0400 04 31" + std::string(98, '0') + "0400",  // a MAC of 49 octets
        "30 0f 04 01 00 020101 020101 0400 0500 0400",          // a MAC that is not an octet string
        "31 0f 04 01 00 020101 020101 0400 0400 0400",          // a SET, not a SEQUENCE
        "30 0f 02 01 00 020101 020101 0400 0400 0400",          // an engine that is not an octet string
        "30 0f 04 01 00 040101 020101 0400 0400 0400",          // boots that are not an integer
        "30 0f 04 01 00 020101 040101 0400 0400 0400",          // a time that is not an integer
        "30 0f 04 01 00 020101 020101 0200 0400 0400",          // a user that is not an octet string
        "30 0f 04 01 00 020101 020101 0400 0400 0500",          // a salt that is not an octet string
    };
    for (const std::string& text : cases) {
        const std::vector<uint8_t> bytes = hexBytes(text);
        UsmParameters read;
        EXPECT_EQ(decodeUsmParameters(bytes.data(), static_cast<int32_t>(bytes.size()), &read), -1) << text;
    }
}

TEST(V3Codec, MessageReadsBackPlainAndEncrypted)
{
    SnmpPdu pdu = {};
    pdu.command = PduGetRequest;
    pdu.requestId = 77;
    const uint8_t engine[5] = {0x80, 1, 2, 3, 4};
    uint8_t scoped[512];
    int32_t scopedLength = sizeof scoped;
    ASSERT_EQ(encodeScopedPdu(engine, 5, reinterpret_cast<const uint8_t*>("ctx"), 3, &pdu, scoped, &scopedLength), 0);
    const uint8_t parameters[] = {0x30, 0x00};
    for (const bool encrypted : {false, true}) {
        const V3Header header = {77, 1500, SecurityAuth | SecurityReportable, UsmSecurityModel};
        uint8_t packet[1024];
        int32_t length = sizeof packet;
        int32_t offset = 0;
        ASSERT_EQ(encodeV3Message(header, parameters, 2, scoped, scopedLength, encrypted, packet, &length, &offset), 0);
        EXPECT_EQ(messageVersion(packet, length), 3);
        V3Message message;
        ASSERT_EQ(decodeV3Message(packet, length, &message), 0);
        EXPECT_EQ(message.header.msgId, 77);
        EXPECT_EQ(message.header.maxSize, 1500);
        EXPECT_EQ(message.header.flags, SecurityAuth | SecurityReportable);
        EXPECT_EQ(message.parameters, packet + offset);
        EXPECT_EQ(message.encrypted, encrypted);
        ASSERT_EQ(message.dataLength, scopedLength);
        EXPECT_EQ(std::memcmp(message.data, scoped, static_cast<size_t>(scopedLength)), 0);
        SnmpPdu read = {};
        uint8_t id[32], context[32];
        int32_t idLength = sizeof id, contextLength = sizeof context;
        ASSERT_EQ(decodeScopedPdu(message.data, message.dataLength, id, &idLength, context, &contextLength, &read), 0);
        EXPECT_EQ(read.command, PduGetRequest);
        EXPECT_EQ(read.requestId, 77);
        EXPECT_EQ(idLength, 5);
        EXPECT_EQ(contextLength, 3);
        for (int32_t cut = 0; cut < length; ++cut) {
            std::vector<uint8_t> prefix(packet, packet + cut);
            EXPECT_EQ(decodeV3Message(prefix.data(), cut, &message), -1) << cut;
        }
    }
}

}  // namespace

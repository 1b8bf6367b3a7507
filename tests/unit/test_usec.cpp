// The user-based security mode: keys, the security string, the parameters
// string both ways, and the checks of received messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime.h"
#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/security_string.h"
#include "snmp/security/usec/usec_check.h"
#include "tests/support/hex.h"

namespace {

std::vector<uint8_t> keyOf(const std::string& phrase, const std::vector<uint8_t>& agentId)
{
    std::vector<uint8_t> key(16);
    passwordToKey(reinterpret_cast<const uint8_t*>(phrase.data()), static_cast<int32_t>(phrase.size()),
                  agentId.data(), key.data());
    return key;
}

TEST(PasswordToKey, PublishedExample)
{
    const std::vector<uint8_t> agentId = hexBytes("00 00 00 00 00 00 00 00 00 00 00 02");
    EXPECT_EQ(hexText(keyOf("maplesyrup", agentId)), "52 6F 5E ED 9F CC E2 6F 89 64 C2 93 07 87 D8 2B");
}

TEST(PasswordToKey, DependsOnPhraseAndAgent)
{
    const std::vector<uint8_t> one = hexBytes("80 00 1F 88 80 00 00 00 00 00 00 01");
    const std::vector<uint8_t> two = hexBytes("80 00 1F 88 80 00 00 00 00 00 00 02");
    EXPECT_EQ(keyOf("secret", one), keyOf("secret", one));
    EXPECT_NE(keyOf("secret", one), keyOf("secret", two));
    EXPECT_NE(keyOf("secret", one), keyOf("secreT", one));
    // Only the repeated stream counts: "x" and a hundred of them are the same phrase.
    EXPECT_EQ(keyOf("x", one), keyOf(std::string(100, 'x'), one));
    EXPECT_NE(keyOf("x", one), keyOf("xy", one));
}

TEST(MessageDigest, KeyMayBeTheDestination)
{
    std::vector<uint8_t> message = hexBytes("30 03 02 01 00");
    uint8_t key[16];
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<uint8_t>(i);
    uint8_t separate[16];
    messageDigest(message.data(), 5, key, separate);
    messageDigest(message.data(), 5, key, key);
    EXPECT_EQ(hexText(separate, 16), hexText(key, 16));
}

// A session record holding the caller's text in its community field, as the
// opener has it while it runs the parse.
struct ParseCase {
    std::string text;
    int32_t result;
    std::string stderrText;
    std::string user;
    uint8_t flags;
    std::string context;
};

SnmpSession parsed(const std::string& text, int32_t* result, std::string* errors)
{
    SnmpSession session{};
    session.community = reinterpret_cast<const uint8_t*>(text.c_str());
    session.communityLength = static_cast<int32_t>(text.size());
    session.securityFlags = SecurityReportable;  // as discovery leaves it
    session.userNameLength = 6;
    std::memcpy(session.userName, "kolbur", 6);
    session.contextLength = 3;
    std::memcpy(session.context, "old", 3);
    testing::internal::CaptureStderr();
    *result = parseSecurityString(&session);
    *errors = testing::internal::GetCapturedStderr();
    return session;
}

TEST(SecurityString, Table)
{
    const std::string hex32 = "000102030405060708090a0b0c0d0e0f";
    const ParseCase cases[] = {
        {"/user", 0, "", "user", 0, "old"},
        {"/user/", 0, "", "user", 0, "old"},
        {"/user/0x" + hex32, 0, "", "user", SecurityAuth, "old"},
        {"/user/0x", 0, "", "user", SecurityAuth, "old"},        // "0x" alone is a pass phrase
        {"/user/0X" + hex32, 0, "", "user", SecurityAuth, "old"}, // so is text beginning "0X"
        {"/user/secret/", 0, "", "user", SecurityAuth, "old"},
        {"/user//priv", 0, "", "user", SecurityPriv, "old"},
        {"/user/a/b/ctx", 0, "", "user", SecurityAuth | SecurityPriv, "ctx"},
        {"/user/a/b/ctx/ignored", 0, "", "user", SecurityAuth | SecurityPriv, "ctx"},
        {"/user///", 0, "", "user", 0, ""},
        // Refused: the session stays as it was.
        {"/", UsecParseRefused, "userName cannot be zero length\n", "kolbur", SecurityReportable, "old"},
        {"//secret", UsecParseRefused, "userName cannot be zero length\n", "kolbur", SecurityReportable, "old"},
        {"/user/0x" + hex32 + "0", UsecParseRefused, "auth key not 16 octets\n", "kolbur", SecurityReportable, "old"},
        {"/user/0x" + hex32.substr(1), UsecParseRefused, "auth key not 16 octets\n", "kolbur", SecurityReportable,
         "old"},
        {"/user/0x" + hex32.substr(0, 30) + "g0", UsecParseRefused, "auth key contains non hex digits\n", "kolbur",
         SecurityReportable, "old"},
        {"/user/0x" + hex32.substr(0, 31) + "g", UsecParseRefused, "auth key contains non hex digits\n", "kolbur",
         SecurityReportable, "old"},
        {"/user/0xg" + hex32.substr(1), UsecParseRefused, "auth key contains non hex digits\n", "kolbur",
         SecurityReportable, "old"},
        {"/user/a/0x12", UsecParseRefused, "priv key not 16 octets\n", "kolbur", SecurityReportable, "old"},
        {"/user/a/0x" + hex32.substr(0, 30) + "zz", UsecParseRefused, "priv key contains non hex digits\n", "kolbur",
         SecurityReportable, "old"},
        {"plain", 0, "", "kolbur", SecurityReportable, "old"},
    };
    for (const ParseCase& c : cases) {
        int32_t result = 0;
        std::string errors;
        const SnmpSession session = parsed(c.text, &result, &errors);
        EXPECT_EQ(result, c.result) << c.text;
        EXPECT_EQ(errors, c.stderrText) << c.text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(session.userName),
                              static_cast<size_t>(session.userNameLength)),
                  c.user)
            << c.text;
        EXPECT_EQ(session.securityFlags, c.flags) << c.text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(session.context),
                              static_cast<size_t>(session.contextLength)),
                  c.context)
            << c.text;
        if (c.result == 0 && c.text != "plain") {
            EXPECT_EQ(session.version, SnmpVersionUsec) << c.text;
            EXPECT_EQ(session.maxMessageSize, 1450) << c.text;
            EXPECT_EQ(session.userName[session.userNameLength], 0) << c.text;
        }
    }
}

TEST(SecurityString, HexKeysInEitherCase)
{
    int32_t result = 0;
    std::string errors;
    SnmpSession session = parsed("/u/0x000102030405060708090a0b0c0d0eFF/0xAbCdEf" + std::string(26, '1'), &result,
                                 &errors);
    EXPECT_EQ(result, 0) << errors;
    EXPECT_EQ(hexText(session.authKey, 16), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E FF");
    EXPECT_EQ(hexText(session.privKey, 3), "AB CD EF");
    EXPECT_EQ(session.privKey[15], 0x11);
}

TEST(SecurityString, PassPhrasesAreLocalisedToTheAgent)
{
    int32_t result = 0;
    std::string errors;
    SnmpSession session{};
    const std::string text = "/u/maplesyrup/maplesyrup";
    session.community = reinterpret_cast<const uint8_t*>(text.c_str());
    const std::vector<uint8_t> agentId = hexBytes("00 00 00 00 00 00 00 00 00 00 00 02");
    std::memcpy(session.agentId, agentId.data(), 12);
    result = parseSecurityString(&session);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(hexText(session.authKey, 16), "52 6F 5E ED 9F CC E2 6F 89 64 C2 93 07 87 D8 2B");
    EXPECT_EQ(hexText(session.privKey, 16), hexText(session.authKey, 16));
}

TEST(SecurityString, OverlongPartsAreRefused)
{
    int32_t result = 0;
    std::string errors;
    SnmpSession fits = parsed("/" + std::string(31, 'u'), &result, &errors);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(fits.userNameLength, 31);

    SnmpSession tooLong = parsed("/" + std::string(32, 'u') + "/secret", &result, &errors);
    EXPECT_EQ(result, UsecParseRefused);
    EXPECT_EQ(errors, "userName longer than 31 octets\n");
    EXPECT_EQ(tooLong.userNameLength, 6);  // untouched

    SnmpSession context = parsed("/u/a/b/" + std::string(72, 'c'), &result, &errors);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(context.contextLength, 72);

    SnmpSession longContext = parsed("/u/a/b/" + std::string(73, 'c'), &result, &errors);
    EXPECT_EQ(result, UsecParseRefused);
    EXPECT_EQ(errors, "context longer than 72 octets\n");
    EXPECT_EQ(longContext.contextLength, 3);
}

// A session as the opener leaves it after discovery and the parse.
SnmpSession authenticatingSession(uint8_t flags = SecurityAuth | SecurityReportable)
{
    SnmpSession session{};
    session.version = SnmpVersionUsec;
    session.securityFlags = flags;
    std::memcpy(session.agentId, "ABCDEFGHIJKL", 12);
    session.agentBoots = 7;
    session.agentTime = 1000;
    session.timeOffset = 0;
    session.userNameLength = 4;
    std::memcpy(session.userName, "user", 4);
    session.maxMessageSize = 1450;
    session.contextLength = 2;
    std::memcpy(session.context, "cx", 2);
    for (int i = 0; i < 16; ++i)
        session.authKey[i] = static_cast<uint8_t>(0xA0 + i);
    return session;
}

class UsecClock : public ::testing::Test {
protected:
    static int64_t& now()
    {
        static int64_t ms = 0;
        return ms;
    }
    static int64_t read() { return now(); }
    void SetUp() override
    {
        now() = 1000000;  // 1000 s after the epoch
        setClockSource(&UsecClock::read);
    }
    void TearDown() override { setClockSource(nullptr); }
};

using BuildParameters = UsecClock;

TEST_F(BuildParameters, Layout)
{
    SnmpSession session = authenticatingSession();
    session.timeOffset = 5;
    uint8_t out[256];
    int32_t length = sizeof out;
    ASSERT_EQ(buildUsecParameters(&session, 0, out, &length), 0);
    EXPECT_EQ(length, 26 + 4 + 16 + 2);
    EXPECT_EQ(hexText(out, static_cast<size_t>(length)),
              "01 05 41 42 43 44 45 46 47 48 49 4A 4B 4C 00 00 00 07 00 00 03 ED 05 AA 04 75 73 65 72 10 "
              "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF 63 78");

    session.securityFlags = SecurityReportable;
    length = sizeof out;
    ASSERT_EQ(buildUsecParameters(&session, 0, out, &length), 0);
    EXPECT_EQ(length, 26 + 4 + 2);
    EXPECT_EQ(hexText(out + 14, 8), "00 00 00 00 00 00 00 00");  // no boots or time without authentication
    EXPECT_EQ(out[29], 0);  // digest length 0
    length = sizeof out;
    ASSERT_EQ(buildUsecParameters(&session, 1, out, &length), 0);
    EXPECT_EQ(hexText(out + 14, 8), "00 00 00 07 00 00 03 ED");  // the flag writes them all the same

    length = 31;  // one octet short
    EXPECT_EQ(buildUsecParameters(&session, 0, out, &length), -1);
}

TEST_F(BuildParameters, EncodedMessageCarriesTheDigest)
{
    SnmpSession session = authenticatingSession();
    SnmpPdu* pdu = createPdu(PduGetRequest);
    pdu->requestId = 1;
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    addNullVar(pdu, name, 9);
    uint8_t packet[SnmpPacketSize];
    int32_t length = SnmpPacketSize;
    ASSERT_EQ(encodeMessage(&session, pdu, packet, &length, 0), 0);
    freePdu(pdu);

    // Find the parameters string: 30 82 hh ll, 02 01 02, 04 len ...
    ASSERT_EQ(packet[4], 0x02);
    ASSERT_EQ(packet[6], SnmpVersionUsec);
    ASSERT_EQ(packet[7], 0x04);
    const int32_t paramsLength = packet[8];
    uint8_t* params = packet + 9;
    uint8_t* digest = params + paramsLength - 2 - 16;
    std::vector<uint8_t> sent(digest, digest + 16);
    EXPECT_NE(hexText(sent), hexText(session.authKey, 16));
    // Recompute independently: key in the field, MD5 of message and key.
    std::memcpy(digest, session.authKey, 16);
    uint8_t expected[16];
    messageDigest(packet, length, session.authKey, expected);
    EXPECT_EQ(hexText(sent), hexText(expected, 16));
}

// A received parameters string from its parts.
std::vector<uint8_t> receivedParameters(uint8_t model, uint8_t qoS, uint16_t maxSize, const std::string& user,
                                        int digestLength, const std::string& context, uint32_t boots = 7,
                                        uint32_t time = 1000, const char* agentId = "ABCDEFGHIJKL")
{
    std::vector<uint8_t> p;
    p.reserve(64);
    p.push_back(model);
    p.push_back(qoS);
    for (int i = 0; i < 12; ++i)
        p.push_back(static_cast<uint8_t>(agentId[i]));
    for (int shift = 24; shift >= 0; shift -= 8)
        p.push_back(static_cast<uint8_t>(boots >> shift));
    for (int shift = 24; shift >= 0; shift -= 8)
        p.push_back(static_cast<uint8_t>(time >> shift));
    p.push_back(static_cast<uint8_t>(maxSize >> 8));
    p.push_back(static_cast<uint8_t>(maxSize));
    p.push_back(static_cast<uint8_t>(user.size()));
    p.insert(p.end(), user.begin(), user.end());
    p.push_back(static_cast<uint8_t>(digestLength));
    p.insert(p.end(), static_cast<size_t>(digestLength), 0x5A);
    p.insert(p.end(), context.begin(), context.end());
    return p;
}

TEST(DecodeParameters, Bounds)
{
    struct Case {
        std::vector<uint8_t> params;
        int32_t result;
        const char* what;
    };
    std::vector<uint8_t> shortest = receivedParameters(1, 0, 484, "u", 0, "");
    std::vector<uint8_t> oneLess(shortest.begin(), shortest.end() - 1);
    std::vector<uint8_t> noUserLength(shortest.begin(), shortest.begin() + 24);
    std::vector<uint8_t> digest = receivedParameters(1, 1, 484, "u", 16, "");
    std::vector<uint8_t> digestCut(digest.begin(), digest.end() - 1);
    const Case cases[] = {
        {shortest, 0, "26 + u octets, qoS 0"},
        {receivedParameters(1, 4, 484, "u", 0, ""), 0, "qoS 4"},
        {oneLess, 7, "one octet less"},
        {receivedParameters(2, 0, 484, "u", 0, ""), 7, "model 2"},
        {receivedParameters(1, 2, 484, "u", 0, ""), 7, "privacy claimed"},
        {receivedParameters(1, 0x10, 484, "u", 0, ""), 7, "unknown qoS bit"},
        {receivedParameters(1, 0, 483, "u", 0, ""), 7, "max size 483"},
        {receivedParameters(1, 0, 65535, "u", 0, ""), 0, "max size 65535"},
        {receivedParameters(1, 0, 484, "", 0, "x"), 7, "empty user"},
        {receivedParameters(1, 0, 484, std::string(16, 'u'), 0, ""), 0, "user of 16"},
        {receivedParameters(1, 0, 484, std::string(17, 'u'), 0, ""), 7, "user of 17"},
        {receivedParameters(1, 0, 484, "u", 16, ""), 7, "digest without authentication"},
        {receivedParameters(1, 1, 484, "u", 16, ""), 0, "digest with authentication"},
        {receivedParameters(1, 1, 484, "u", 0, std::string(16, 'c')), 7, "authentication without digest"},
        {receivedParameters(1, 1, 484, "u", 15, std::string(20, 'c')), 7, "digest length 15"},
        {digestCut, 7, "digest of 15 octets after length 16"},
        {receivedParameters(1, 0, 484, "u", 0, std::string(40, 'c')), 0, "context of 40"},
        {receivedParameters(1, 0, 484, "u", 0, std::string(41, 'c')), 7, "context of 41"},
        {std::vector<uint8_t>(24, 1), 7, "24 octets"},
        {noUserLength, 7, "24 octets that pass every check before the user's length"},
    };
    for (const Case& c : cases) {
        UsecParameters decoded{};
        // Exactly sized: AddressSanitizer sees any read past the end.
        std::vector<uint8_t> copy = c.params;
        std::unique_ptr<uint8_t[]> exact(new uint8_t[copy.size()]);
        std::memcpy(exact.get(), copy.data(), copy.size());
        EXPECT_EQ(decodeUsecParameters(exact.get(), static_cast<int32_t>(copy.size()), &decoded), c.result) << c.what;
    }
}

TEST(DecodeParameters, FieldsReadBeforeAFailedCheckStay)
{
    UsecParameters decoded{};
    const std::vector<uint8_t> params = receivedParameters(1, 0, 100, "u", 0, "", 9, 77, "IDIDIDIDIDID");
    EXPECT_EQ(decodeUsecParameters(params.data(), static_cast<int32_t>(params.size()), &decoded), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded.agentId), 12), "IDIDIDIDIDID");
    EXPECT_EQ(decoded.agentBoots, 9u);
    EXPECT_EQ(decoded.agentTime, 77);
    EXPECT_EQ(decoded.userNameLength, 0);
}

// Builds a whole received message (a Response) for the hook, digest and all.
struct ReceivedMessage {
    std::vector<uint8_t> octets;
    int32_t paramsOffset = 0;
    int32_t paramsLength = 0;

    ReceivedMessage(SnmpSession sender, int32_t command = PduResponse)
    {
        SnmpPdu* pdu = createPdu(command);
        pdu->requestId = 3;
        octets.resize(SnmpPacketSize);
        int32_t length = SnmpPacketSize;
        encodeMessage(&sender, pdu, octets.data(), &length, 0);
        freePdu(pdu);
        octets.resize(static_cast<size_t>(length));
        paramsOffset = 9;
        paramsLength = octets[8];
    }
    // One octet of the digest field changed, as on the way.
    void changeDigestOctet(int32_t at)
    {
        UsecParameters decoded{};
        ASSERT_EQ(decodeUsecParameters(octets.data() + paramsOffset, paramsLength, &decoded), 0);
        octets[static_cast<size_t>(paramsOffset + decoded.digestOffset + at)] ^= 0x01;
    }
    int32_t check(SnmpSession& session, int32_t command = PduResponse)
    {
        SnmpPdu pdu{};
        pdu.command = command;
        return usecAuthenticate(octets.data(), static_cast<int32_t>(octets.size()), octets.data() + paramsOffset,
                                paramsLength, &session, &pdu);
    }
};

using Authenticate = UsecClock;

TEST_F(Authenticate, ChecksInOrder)
{
    SnmpSession agent = authenticatingSession();
    struct Case {
        const char* what;
        void (*change)(SnmpSession&);
        int32_t expected;
        int32_t digestOctet = -1;  // changed in the message as received
    };
    const Case cases[] = {
        {"genuine", [](SnmpSession&) {}, UsecAccepted},
        {"other agent", [](SnmpSession& s) { s.agentId[0] = 'Z'; }, UsecUnknownContext},
        {"other agent's last octet", [](SnmpSession& s) { s.agentId[11] = 'Z'; }, UsecUnknownContext},
        {"other context", [](SnmpSession& s) { s.context[1] = 'y'; }, UsecUnknownContext},
        {"shorter context", [](SnmpSession& s) { s.contextLength = 1; }, UsecUnknownContext},
        {"other user", [](SnmpSession& s) { s.userName[0] = 'x'; }, UsecUnknownUserName},
        {"user a prefix of ours", [](SnmpSession& s) { s.userNameLength = 3; }, UsecUnknownUserName},
        {"ours a prefix of the user", [](SnmpSession& s) { s.userName[s.userNameLength++] = 's'; },
         UsecUnknownUserName},
        {"wrong key", [](SnmpSession& s) { s.authKey[3] ^= 1; }, UsecWrongDigest},
        {"digest's first octet", [](SnmpSession&) {}, UsecWrongDigest, 0},
        {"digest's last octet", [](SnmpSession&) {}, UsecWrongDigest, UsecKeyLength - 1},
        {"unauthenticated", [](SnmpSession& s) { s.securityFlags = SecurityReportable; }, UsecUnsupportedQoS},
        {"lower boots", [](SnmpSession& s) { s.agentBoots = 6; }, UsecNotInTimeWindow},
    };
    for (const Case& c : cases) {
        SnmpSession sender = agent;
        c.change(sender);
        ReceivedMessage message(sender);
        if (c.digestOctet >= 0)
            message.changeDigestOctet(c.digestOctet);
        SnmpSession session = authenticatingSession();
        EXPECT_EQ(message.check(session), c.expected) << c.what;
    }
}

TEST_F(Authenticate, ReportsNeedNoProtection)
{
    SnmpSession sender = authenticatingSession(SecurityReportable);
    ReceivedMessage report(sender, PduReport);
    SnmpSession session = authenticatingSession();
    EXPECT_EQ(report.check(session, PduReport), UsecAccepted);
    ReceivedMessage response(sender);
    EXPECT_EQ(response.check(session), UsecUnsupportedQoS);
}

TEST_F(Authenticate, PrivacyWithoutAuthentication)
{
    // The session asks for privacy only: every reply offers less and is refused,
    // and a reply that claims privacy does not decode.
    SnmpSession session = authenticatingSession(SecurityPriv | SecurityReportable);
    SnmpSession sender = authenticatingSession(SecurityReportable);
    ReceivedMessage plain(sender);
    EXPECT_EQ(plain.check(session), UsecUnsupportedQoS);
    SnmpSession claiming = authenticatingSession(SecurityPriv | SecurityReportable);
    ReceivedMessage privacy(claiming);
    EXPECT_EQ(privacy.check(session), UsecBadParameters);
}

TEST_F(Authenticate, TimeWindow)
{
    struct Case {
        int32_t receivedTime;  // the sender's estimate: local clock + its offset
        uint32_t receivedBoots;
        int32_t expected;
    };
    // The session expects agent time 1000 now (local clock 1000 s, offset 0).
    const Case cases[] = {
        {1000, 7, UsecAccepted},
        {850, 7, UsecAccepted},           // exactly 150 s behind
        {849, 7, UsecNotInTimeWindow},    // one more
        {5, 8, UsecAccepted},             // higher boots: no time test
        {99999, 6, UsecNotInTimeWindow},  // lower boots
    };
    for (const Case& c : cases) {
        SnmpSession sender = authenticatingSession();
        sender.agentBoots = c.receivedBoots;
        sender.timeOffset = c.receivedTime - 1000;
        ReceivedMessage message(sender);
        SnmpSession session = authenticatingSession();
        session.agentTime = 0;
        EXPECT_EQ(message.check(session), c.expected) << c.receivedTime << "/" << c.receivedBoots;
    }
}

TEST_F(Authenticate, ClockFollowsAcceptedMessagesOnly)
{
    SnmpSession sender = authenticatingSession();
    sender.agentBoots = 9;
    sender.timeOffset = 20;  // agent time 1020
    ReceivedMessage newer(sender);
    SnmpSession session = authenticatingSession();
    ASSERT_EQ(newer.check(session), UsecAccepted);
    EXPECT_EQ(session.agentBoots, 9u);
    EXPECT_EQ(session.agentTime, 1020);
    EXPECT_EQ(session.timeOffset, 20);

    // A stale one changes nothing.
    sender.agentBoots = 8;
    ReceivedMessage stale(sender);
    EXPECT_EQ(stale.check(session), UsecNotInTimeWindow);
    EXPECT_EQ(session.agentBoots, 9u);
    EXPECT_EQ(session.agentTime, 1020);
}

TEST_F(Authenticate, NegativeLimitLetsAnyTimePass)
{
    now() = 10000;  // local clock 10 s: 10 + 0 - 150 < 0
    const struct {
        int32_t offset;  // the sender's
        int32_t expected;
    } cases[] = {
        {-10, UsecAccepted},         // agent time 0
        {-11, UsecNotInTimeWindow},  // 2^32 - 1, which no agent's time can be
    };
    for (const auto& c : cases) {
        SnmpSession sender = authenticatingSession();
        sender.timeOffset = c.offset;
        ReceivedMessage message(sender);
        SnmpSession session = authenticatingSession();
        session.agentTime = 0;
        EXPECT_EQ(message.check(session), c.expected) << c.offset;
    }
}

}  // namespace

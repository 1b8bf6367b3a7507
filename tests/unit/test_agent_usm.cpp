// The test agent's SNMPv3 mode against the module: gets at every level, the
// agent's clock Reports, forged replies that must lose to the genuine one,
// and the receive check's time window under the injected clock.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/usm/known_engines.h"
#include "snmp/security/usm/usm_message.h"
#include "snmp/security/usm/usm_session.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"
#include "tests/support/manager_socket.h"
#include "tools/agent/usm.h"

using namespace testagent;

namespace {

const OidVector sysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const char* const Users[] = {"alice:SHA-256:alicepass123:AES:alicepriv123", "bob:MD5:bobpass1234:DES:bobpriv1234",
                             "carol", "erin:SHA-512:erinpass1234",
                             "hank:SHA:hankpass123:AES-256:hankpriv123", "jane:MD5:janepass123:AES-192C:janepriv123"};
const char Alice[] = "#alice/SHA-256:alicepass123/AES:alicepriv123";
const char Bob[] = "#bob/MD5:bobpass1234/DES:bobpriv1234";
const char Carol[] = "#carol/";
const char Erin[] = "#erin/SHA-512:erinpass1234";

UsmUser parsedUser(const char* text)
{
    UsmUser user;
    std::string error;
    EXPECT_TRUE(parseUsmUser(text, DefaultUsmEngineId, &user, &error)) << error;
    return user;
}

// The engine's diagnostics of one call, gathered instead of printed.
std::mutex diagnosticsLock;
std::string diagnostics;
void gather(DiagnosticStream, const char* text, size_t length)
{
    std::lock_guard<std::mutex> lock(diagnosticsLock);
    diagnostics.append(text, length);
}

TEST(UsmAgentParse, UsersEngineIdsAndForgeries)
{
    const struct {
        const char* text;
        UsmAuth auth;
        UsmPriv priv;
    } cases[] = {
        {"carol", UsmAuth::None, UsmPriv::None},
        {"dave:sha:davepass123", UsmAuth::Sha1, UsmPriv::None},
        {"bob:MD5:bobpass1234:DES:bobpriv1234", UsmAuth::Md5, UsmPriv::Des},
        {"k:MD5:0x00112233445566778899aabbccddeeff:AES:0x00112233445566778899AABBCCDDEEFF", UsmAuth::Md5,
         UsmPriv::Aes128},
    };
    const char* const refused[] = {"dave:SHA:short", "dave:SHA", "dave:RIPE:davepass123", "dave:SHA:davepass123:AES",
                                   "dave:SHA:davepass123:IDEA:davepass123", "k:MD5:0x0011", "",
                                   "k:MD5:0x00112233445566778899aabbccddeeff:AES-192:0x00112233445566778899aabbccddeeff",
                                   "uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu"};  // 33 octets
    for (const auto& c : cases) {
        const UsmUser user = parsedUser(c.text);
        EXPECT_EQ(user.auth, c.auth) << c.text;
        EXPECT_EQ(user.priv, c.priv) << c.text;
    }
    for (const char* text : refused) {
        UsmUser user;
        std::string error;
        EXPECT_FALSE(parseUsmUser(text, DefaultUsmEngineId, &user, &error)) << text;
        EXPECT_NE(error.find(text), std::string::npos) << error;
    }
    std::vector<uint8_t> id;
    EXPECT_TRUE(parseUsmEngineId("0x8001869f04", &id));
    EXPECT_EQ(id, std::vector<uint8_t>({0x80, 0x01, 0x86, 0x9F, 0x04}));
    for (const std::string& bad : {std::string("80018690"), std::string("8001869f0g"), std::string(66, '0')})
        EXPECT_FALSE(parseUsmEngineId(bad, &id)) << bad;
    for (const char* word :
         {"digest", "stale", "msgid", "report", "replay", "empty-mac", "short-mac", "long-mac", "context-engine",
          "context", "clock-report", "no-engine", "plain", "model", "priv-only", "mac-first", "mac-last", "id-0",
          "report-id", "user", "engine", "cipher-auth", "cleartext", "privacy", "no-salt", "short-cipher",
          "engine-report", "foreign-report", "discovery-response"}) {
        UsmForgery forgery;
        ASSERT_TRUE(parseUsmForgery(word, &forgery)) << word;
        EXPECT_STREQ(usmForgeryName(forgery), word);
    }
}

class UsmAgentTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        forgetKnownEngines();
        useFakeRandom(0);  // retransmissions without jitter
        UsmConfig config;
        config.timeOffset = 100000;  // a stale time stays a time
        for (const char* text : Users)
            config.users.push_back(parsedUser(text));
        usm_ = std::make_unique<UsmAgent>(config);
        AgentConfig agentConfig;
        agentConfig.hook = usm_->hook();
        agent_ = std::make_unique<TestAgent>(agentConfig);
        std::string error;
        ASSERT_TRUE(agent_->start(&error)) << error;
    }
    void TearDown() override
    {
        agent_->stop();  // its thread reads the runtime clock
        setDiagnosticSink(nullptr);
        forgetKnownEngines();
        EngineTest::TearDown();
    }

    // snmpgetEx of sysName through the script functions: the value's text,
    // or "message <id>" when the host was told of a failure.
    std::string scriptGet(const std::string& community, int retries = 2)
    {
        ScopedFakeHost host;
        scriptState() = ScriptState();
        std::vector<HostValue> args =
            argList({stringArg("127.0.0.1"), numberArg(agent_->port()), numberArg(0), stringArg(community),
                     stringArg("1.3.6.1.2.1.1.5.0"), numberArg(1000), numberArg(retries)});
        const HostValue result = ScriptDispatcher(args.data(), ScriptIdGetEx);
        return host.delivered.empty() ? textOf(result) : "message " + std::to_string(host.delivered[0].message);
    }

    std::vector<std::string> actionsSince(size_t from) const
    {
        std::vector<std::string> actions;
        const std::vector<LogEntry> log = agent_->log();
        for (size_t i = from; i < log.size(); ++i)
            actions.push_back(log[i].action);
        return actions;
    }

    std::unique_ptr<UsmAgent> usm_;  // outlives the agent that calls its hook
    std::unique_ptr<TestAgent> agent_;
};

// A known engine whose clock moved on, or that rebooted, answers with an
// authenticated notInTimeWindow Report; the module takes its clock and sends
// the request once more, within a call of one transmission.
TEST_F(UsmAgentTest, ClockReportsAreFollowedOnce)
{
    using Actions = std::vector<std::string>;
    const struct {
        const char* label;
        int64_t offset;
        int32_t boots;
        Actions actions;
    } cases[] = {{"unchanged", 100000, 1, {"answered"}},
                 {"clock 1000 s on", 101000, 1, {"not-in-time-window", "answered"}},
                 {"rebooted", 0, 2, {"not-in-time-window", "answered"}}};
    // The Report comes without privacy even to an authPriv user.
    for (const char* user : {Erin, Alice}) {
        for (const auto& c : cases) {
            usm_->setTimeOffset(100000);
            usm_->setBoots(1);
            forgetKnownEngines();
            const size_t start = agent_->logSize();
            ASSERT_EQ(scriptGet(user), "test-agent") << c.label;
            ASSERT_TRUE(agent_->waitForLog(start + 2, ManagerSocket::ReplyWaitMs));  // discovery, answered
            usm_->setTimeOffset(c.offset);
            usm_->setBoots(c.boots);
            const size_t logged = start + 2;
            EXPECT_EQ(scriptGet(user, 1), "test-agent") << user << ": " << c.label;
            ASSERT_TRUE(agent_->waitForLog(logged + c.actions.size(), ManagerSocket::ReplyWaitMs));
            EXPECT_EQ(actionsSince(logged), c.actions) << user << ": " << c.label;
        }
    }
}

// AES-192 and AES-256 of both key extensions, with hashes shorter than the
// key; the other rule gets a decryption-error Report, which is dropped, and
// the call ends in silence with a word on the other rule.
TEST_F(UsmAgentTest, LongerAesKeysOfBothRules)
{
    const std::string hint = " lengthens the privacy key by one of two rules: the agent may expect ";
    const char* const cases[][4] = {  // community, answer, protocols, the other rule
        {"#hank/SHA:hankpass123/AES-256:hankpriv123", "test-agent", "", ""},
        {"#jane/MD5:janepass123/AES-192C:janepriv123", "test-agent", "", ""},
        {"#hank/SHA:hankpass123/AES-256C:hankpriv123", "message 1127", "SNMPv3 AES-256C with SHA", "AES-256"},
        {"#jane/MD5:janepass123/AES-192:janepriv123", "message 1127", "SNMPv3 AES-192 with MD5", "AES-192C"}};
    setDiagnosticSink(gather);
    for (const auto& c : cases) {
        forgetKnownEngines();
        diagnostics.clear();
        EXPECT_EQ(scriptGet(c[0], 0), c[1]) << c[0];
        const bool hinted = diagnostics.find(c[2] + hint + c[3] + "\n") != std::string::npos;
        EXPECT_EQ(hinted, c[2][0] != 0) << c[0] << ": " << diagnostics;
    }
}

// At every level the first call discovers the engine, then gets. A known
// engine that the agent no longer is (reset with a new identifier) answers
// with an unknownEngineID Report: the module discovers the engine again and
// sends the request once more, in a call of one transmission.
TEST_F(UsmAgentTest, EveryLevelDiscoversAndAnOutdatedEngineIsDiscoveredAgain)
{
    for (const char* user : {"#carol/", Alice, "#bob/MD5:bobpass1234/DES:bobpriv1234", Erin}) {
        forgetKnownEngines();
        const size_t before = agent_->logSize();
        ASSERT_EQ(scriptGet(user), "test-agent") << user;
        ASSERT_TRUE(agent_->waitForLog(before + 2, ManagerSocket::ReplyWaitMs));
        EXPECT_EQ(actionsSince(before), (std::vector<std::string>{"discovery", "answered"})) << user;
        ASSERT_EQ(knownEngineCount(), 1);
        UsmSession stale = {};
        setUsmEngine(&stale, reinterpret_cast<const uint8_t*>("stale-engine"), 12, 1, 100);
        rememberEngine(loopbackEndpoint(agent_->port()), &stale);
        const size_t start = before + 2;
        EXPECT_EQ(scriptGet(user, 1), "test-agent") << user;
        ASSERT_TRUE(agent_->waitForLog(start + 3, ManagerSocket::ReplyWaitMs));
        EXPECT_EQ(actionsSince(start), (std::vector<std::string>{"discovery", "discovery", "answered"})) << user;
    }
}

// Before each genuine reply the agent sends one forgery: the module drops it
// (saying why), sends nothing more and returns the genuine value.
TEST_F(UsmAgentTest, ForgedRepliesLoseToTheGenuineOne)
{
    using Actions = std::vector<std::string>;
    const std::string dropped = "SNMPv3 message dropped: ";
    const std::string unauthenticated = "SNMPv3 unauthenticated Report dropped: ";
    const struct {
        UsmForgery forgery;
        std::string said;              // the engine's diagnostics of the call
        const char* community = Alice;
        bool discovers = false;        // the call discovers the engine (the forgery may go before its Report)
    } cases[] = {
        {UsmForgery::WrongDigest, dropped + "wrong digest\n"},
        {UsmForgery::MacFirstOctet, dropped + "wrong digest\n"},
        {UsmForgery::MacLastOctet, dropped + "wrong digest\n"},
        // Signed with the right key: only the MAC's length is wrong (a MAC of
        // no octets would otherwise compare nothing).
        {UsmForgery::EmptyMac, dropped + "wrong digest\n"},
        {UsmForgery::ShortMac, dropped + "wrong digest\n"},
        {UsmForgery::LongMac, dropped + "wrong digest\n"},
        {UsmForgery::StaleTime, dropped + "not in time window\n"},
        {UsmForgery::WrongMsgId, dropped + "msgID is not the request's\n"},
        {UsmForgery::ZeroRequestId, dropped + "msgID is not the request's\n"},
        {UsmForgery::ReportOtherId, dropped + "msgID is not the request's\n"},
        {UsmForgery::SecurityModel, dropped + "another security model\n"},
        {UsmForgery::PrivacyOnly, dropped + "privacy without authentication\n"},
        {UsmForgery::Plain, dropped + "below the request's security level\n"},
        {UsmForgery::Plain, dropped + "below the request's security level\n", Erin},
        {UsmForgery::OtherUser, dropped + "authenticated for another engine or user\n"},
        {UsmForgery::OtherUser, dropped + "another engine or user\n", Carol},
        {UsmForgery::OtherEngine, dropped + "authenticated for another engine or user\n"},
        {UsmForgery::OtherEngine, dropped + "another engine or user\n", Carol},
        // A user without authentication has no key to check a digest with.
        {UsmForgery::WrongDigest, dropped + "authenticated for another engine or user\n", Carol},
        {UsmForgery::ContextEngine, dropped + "another context\n"},
        {UsmForgery::Context, dropped + "another context\n"},
        {UsmForgery::CipherWithoutFlag, dropped + "encrypted without privacy\n"},
        {UsmForgery::Cleartext, dropped + "privacy flag without ciphertext\n"},
        {UsmForgery::PrivacyForNone, dropped + "encrypted without privacy\n", Erin},
        {UsmForgery::Saltless, dropped + "decryption error\n"},
        {UsmForgery::CutCipher, dropped + "decryption error\n", Bob},  // DES: not a multiple of 8
        {UsmForgery::UnauthenticatedReport, unauthenticated + "another counter\n"},
        {UsmForgery::ForeignReport, unauthenticated + "another counter\n"},
        // Nobody signed the clock it names: no resend, no end of the call.
        {UsmForgery::ClockReport, unauthenticated + "usmStatsNotInTimeWindows\n"},
        // An engine just discovered is not out of date.
        {UsmForgery::EngineReport, unauthenticated + "usmStatsUnknownEngineIDs\n", Alice, true},
        // Authentic, but for a request that is no longer awaited.
        {UsmForgery::Replay, ""},
        // Not the end of the open: the genuine discovery Report follows.
        {UsmForgery::NamelessDiscovery, dropped + "no engine named\n", Alice, true},
        {UsmForgery::DiscoveryResponse, dropped + "no engine named\n", Alice, true},
    };
    for (const auto& c : cases) {
        const std::string kind = std::string(usmForgeryName(c.forgery)) + " to " + c.community;
        usm_->setMisbehaviour(UsmMisbehaviour());
        forgetKnownEngines();
        const size_t start = agent_->logSize();
        agent_->setVariable(makeVariable(sysName, ASN_OCTET_STR, bytesValue("before")));
        ASSERT_EQ(scriptGet(c.community), "before") << kind;  // the engine known, a reply to replay
        if (c.discovers)
            forgetKnownEngines();
        agent_->setVariable(makeVariable(sysName, ASN_OCTET_STR, bytesValue("genuine " + kind)));
        UsmMisbehaviour m;
        m.forgeFirst = {c.forgery};
        usm_->setMisbehaviour(m);
        diagnostics.clear();
        setDiagnosticSink(gather);
        EXPECT_EQ(scriptGet(c.community), "genuine " + kind);
        setDiagnosticSink(nullptr);
        EXPECT_EQ(diagnostics, c.said) << kind;
        const size_t first = start + 2;  // the call's first request
        const Actions actions = c.discovers ? Actions{"discovery", "answered"} : Actions{"answered"};
        ASSERT_TRUE(agent_->waitForLog(first + actions.size(), ManagerSocket::ReplyWaitMs));
        EXPECT_EQ(actionsSince(first), actions) << kind;
        int32_t sent = 0;  // the replies and the one forgery
        for (size_t i = first; i < first + actions.size(); ++i)
            sent += agent_->log()[i].datagramsSent;
        EXPECT_EQ(sent, static_cast<int32_t>(actions.size()) + 1) << kind;
    }
}

// The receive check's window, with the agent's messages made directly: a
// reply more than 150 s behind the estimate of the engine's clock is
// refused, one within it accepted (the discovery's unauthenticated clock is
// only provisional); a time later than any received, or a
// higher boots, becomes the estimate (even one behind it: RFC 3414 3.2 7b
// takes the clock before it judges the window).
TEST_F(UsmAgentTest, TimeWindowFollowsTheInjectedClock)
{
    useFakeClock(1700000000000);
    setDiagnosticSink(gather);
    const UsmUser alice = parsedUser(Users[0]);
    const char community[] = "#alice/SHA-256:alicepass123";
    SnmpSession session{};
    session.community = reinterpret_cast<const uint8_t*>(community);
    session.communityLength = sizeof community - 1;
    ASSERT_EQ(attachUsmSession(&session), 0);
    UsmSession* usm = session.usm;
    auto receive = [&](int32_t boots, int32_t time) {
        UsmShape shape;
        shape.msgId = 7;
        shape.flags = SecurityAuth;
        shape.engineId = shape.contextEngineId = DefaultUsmEngineId;
        shape.boots = boots;
        shape.time = time;
        shape.user = "alice";
        shape.auth = alice.auth;
        shape.authKey = alice.authKey;
        PduPtr reply = buildPdu(PduResponse, 7, 0, 0, {makeVariable(sysName, ASN_OCTET_STR, bytesValue("x"))});
        std::vector<uint8_t> data;
        EXPECT_TRUE(encodeUsmShaped(shape, *reply, &data));
        PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
        return receiveUsmMessage(&session, pdu.get(), data.data(), static_cast<int32_t>(data.size()));
    };
    // confirmed: the clock came from an authentic message; otherwise it is
    // the discovery's, and the first authentic message sets it.
    const struct {
        bool confirmed;
        int32_t elapsed;  // seconds since boots 5, time 1000 were learned
        int32_t boots, time, verdict, bootsAfter, latestAfter;
    } cases[] = {
        {true, 0, 5, 1000, UsmAccepted, 5, 1000},   {true, 150, 5, 1000, UsmAccepted, 5, 1000},
        {true, 151, 5, 1000, UsmRefused, 5, 1000},  {true, 400, 5, 1049, UsmAccepted, 5, 1049},
        {true, 200, 5, 1300, UsmAccepted, 5, 1300}, {true, 0, 4, 1000, UsmRefused, 5, 1000},
        {false, 151, 5, 1000, UsmAccepted, 5, 1000}, {false, 0, 4, 1000, UsmAccepted, 4, 1000},
        // Latched boots: taken as the engine's (RFC 3414 3.2 7b), then outside the window.
        {true, 0, 2147483647, 1000, UsmRefused, 2147483647, 1000},
        {false, 0, 2147483647, 1000, UsmRefused, 2147483647, 1000},
        {true, 0, 6, 3, UsmAccepted, 6, 3},
    };
    for (const auto& c : cases) {
        fakeNow() = 1700000000000;
        setUsmEngine(usm, DefaultUsmEngineId.data(), static_cast<int32_t>(DefaultUsmEngineId.size()), 5, 1000);
        usm->clockConfirmed = c.confirmed;
        ASSERT_EQ(keyUsmSession(usm), 0);
        fakeNow() += int64_t{c.elapsed} * 1000;
        EXPECT_EQ(receive(c.boots, c.time), c.verdict) << c.boots << " " << c.time << " after " << c.elapsed;
        EXPECT_EQ(usm->boots, c.bootsAfter) << c.time;
        EXPECT_EQ(usm->latestTime, c.latestAfter) << c.time;
    }
    // Boots 6 now: the old boots count no more.
    EXPECT_EQ(receive(5, 1000), UsmRefused);
    EXPECT_EQ(receive(6, 3), UsmAccepted);
    releaseUsmSession(usm);
}

}  // namespace

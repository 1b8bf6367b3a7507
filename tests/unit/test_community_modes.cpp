// Every form of community against one agent that speaks them all (SNMPv1 and
// SNMPv2c communities, the user-based mode, SNMPv3): what the module puts on
// the wire, what can never end a call's wait, and how a known agent that
// falls silent ends a call.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/usm/known_engines.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/hex.h"
#include "tests/support/host_values.h"
#include "tests/support/manager_socket.h"
#include "tools/agent/usec.h"
#include "tools/agent/usm.h"

using namespace testagent;

namespace {

using Bytes = std::vector<uint8_t>;

const char UsecKeyHex[] = "00112233445566778899aabbccddeeff";
const char UsmAuthKeyHex[] = "0123456789abcdef0123456789abcdef01234567";  // SHA-1's 20 octets
const char UsmPrivKeyHex[] = "fedcba9876543210fedcba9876543210";
const char Alice[] = "#alice/SHA-256:alicepass123/AES:alicepriv123";

std::string diagnostics;
void gather(DiagnosticStream stream, const char* text, size_t length)
{
    diagnostics.append(stream == DiagnosticStream::Output ? "stdout: " : "");
    diagnostics.append(text, length);
}

// The datagrams the dump shows the module sending: "Sending N bytes to ..."
// and 16 octets a line, in columns 5 to 56.
std::vector<Bytes> sentDatagrams(const std::string& dump)
{
    std::vector<Bytes> sent;
    std::istringstream lines(dump);
    bool sending = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Sending ", 0) == 0 || line.rfind("Received ", 0) == 0) {
            sending = line[0] == 'S';
            if (sending)
                sent.emplace_back();
        } else if (sending && line.size() > 56 && line[4] == ':') {
            std::istringstream octets(line.substr(5, 51));
            for (std::string hex; octets >> hex;)
                sent.back().push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        } else {
            sending = false;
        }
    }
    return sent;
}

// The message version of a datagram: SEQUENCE, its length, then INTEGER 1 octet.
int versionOf(const Bytes& d)
{
    size_t at = 1;
    at += d.size() > at && d[at] & 0x80 ? 1 + (d[at] & 0x7F) : 1;
    return d.size() > at + 2 && d[at] == 0x02 && d[at + 1] == 0x01 ? d[at + 2] : -1;
}

bool contains(const Bytes& datagram, const Bytes& secret)
{
    return std::search(datagram.begin(), datagram.end(), secret.begin(), secret.end()) != datagram.end();
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

class CommunityModesTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        forgetKnownEngines();
        useFakeRandom(0);
        UsecConfig usec;
        UsmConfig usm;
        std::string error;
        for (const std::string& text : {std::string("bob:maplesyrup-bob"), std::string("kim:0x") + UsecKeyHex}) {
            UsecUser user;
            ASSERT_TRUE(parseUsecUser(text, usec.engineId, &user, &error)) << error;
            usec.users.push_back(user);
        }
        for (const std::string& text : {std::string("alice:SHA-256:alicepass123:AES:alicepriv123"),
                                        std::string("kim:SHA:0x") + UsmAuthKeyHex + ":AES:0x" + UsmPrivKeyHex}) {
            UsmUser user;
            ASSERT_TRUE(parseUsmUser(text, DefaultUsmEngineId, &user, &error)) << error;
            usm.users.push_back(user);
        }
        usec_ = std::make_unique<UsecAgent>(usec);
        usm_ = std::make_unique<UsmAgent>(usm);
        AgentConfig config;
        config.communities = {"public", "#public"};
        config.hook = [this](ReceivedRequest& request) {
            return request.version == SnmpVersion3 ? usm_->judge(request) : usec_->judge(request);
        };
        agent_ = std::make_unique<TestAgent>(config);
        ASSERT_TRUE(agent_->start(&error)) << error;
    }
    void TearDown() override
    {
        agent_->stop();
        setDatagramDump(false);
        setDiagnosticSink(nullptr);
        forgetKnownEngines();
        EngineTest::TearDown();
    }

    // A script call with the dump gathered: the value's text, the number, or
    // "message N" for each message the host was told; empty when the call
    // gave neither.
    std::string call(ScriptId id, std::vector<HostValue> args)
    {
        ScopedFakeHost host;
        scriptState() = ScriptState();
        diagnostics.clear();
        setDiagnosticSink(gather);
        setDatagramDump(true);
        args = argList(args);
        const HostValue result = ScriptDispatcher(args.data(), id);
        setDatagramDump(false);
        setDiagnosticSink(nullptr);
        std::string outcome;
        for (const Delivered& d : host.delivered)
            outcome += (outcome.empty() ? "message " : " ") + std::to_string(d.message);
        if (outcome.empty())
            outcome = isNumberValue(result) ? std::to_string(static_cast<int>(result.number)) : textOf(result);
        return outcome;
    }
    std::string get(const std::string& community, int timeoutMs = 1000, int retries = 2)
    {
        return call(ScriptIdGetEx, {stringArg("127.0.0.1"), numberArg(agent_->port()), numberArg(0),
                                    stringArg(community), stringArg("1.3.6.1.2.1.1.5.0"), numberArg(timeoutMs),
                                    numberArg(retries)});
    }
    std::string trap(const std::string& community)
    {
        return call(ScriptIdTrapEx, {stringArg("127.0.0.1"), numberArg(agent_->port()), numberArg(0),
                                     stringArg(community), numberArg(6), numberArg(1), stringArg("enterprises.9"),
                                     numberArg(1000), numberArg(2)});
    }

    std::unique_ptr<UsecAgent> usec_;  // outlive the agent that calls their hooks
    std::unique_ptr<UsmAgent> usm_;
    std::unique_ptr<TestAgent> agent_;
};

// For every form, accepted or refused: the version the module speaks, and no
// secret (pass phrase, key written in hexadecimal, key octets) in any
// datagram it sends for a get or a trap. Refused forms send nothing at all.
TEST_F(CommunityModesTest, SecretsNeverGoOnTheWire)
{
    const std::string usecKey = std::string("0x") + UsecKeyHex;
    const std::string authKey = std::string("0x") + UsmAuthKeyHex;
    const std::string privKey = std::string("0x") + UsmPrivKeyHex;
    const std::string kim3 = "#kim/SHA:" + authKey + "/AES:" + privKey;
    const struct {
        std::string community;
        int version;  // of every datagram; -1: nothing is sent
        const char* got;
        const char* trapped;
        std::vector<std::string> secrets;
    } cases[] = {
        {"public", 0, "test-agent", "1", {}},
        {"+public", 1, "test-agent", "1", {}},
        {"#public", 0, "test-agent", "1", {}},  // a community, not SNMPv3
        {"/bob/maplesyrup-bob", 2, "test-agent", "1", {"maplesyrup-bob"}},
        {"+/bob/maplesyrup-bob", 2, "test-agent", "1", {"maplesyrup-bob"}},
        {"/kim/" + usecKey, 2, "test-agent", "1", {usecKey, UsecKeyHex}},
        {"+/kim/" + usecKey + "/" + usecKey, 2, "message 1127", "1", {usecKey, UsecKeyHex}},
        {"/bob/maplesyrup-bob/priv-phrase", 2, "message 1127", "1", {"maplesyrup-bob", "priv-phrase"}},
        {"/bob/0x0011223344", -1, "message 1128", "message 1128", {"0x0011223344"}},
        {"+/kim/" + usecKey.substr(0, 33) + "g", -1, "message 1128", "message 1128", {UsecKeyHex}},
        {"/", -1, "message 1128", "message 1128", {}},
        {Alice, 3, "test-agent", "message 1129", {"alicepass123", "alicepriv123"}},
        {std::string("+") + Alice, 3, "test-agent", "message 1129", {"alicepass123", "alicepriv123"}},
        {kim3, 3, "test-agent", "message 1129", {authKey, privKey, UsmAuthKeyHex, UsmPrivKeyHex}},
        {"#alice/SHA-256:alicepass999", 3, "message 1127", "message 1129", {"alicepass999"}},
        {"#alice/SHA-256:alicepa", -1, "message 1128", "message 1129", {"alicepa"}},
        {"#alice/SHA-256:0x1234", -1, "message 1128", "message 1129", {"0x1234"}},
        {"#alice//AES:alicepriv123", -1, "message 1128", "message 1129", {"alicepriv123"}},
        {"#alice/SHA-256alicepass123", -1, "message 1128", "message 1129", {"alicepass123"}},
        {"#alice/RIPE:alicepass123", -1, "message 1128", "message 1129", {"alicepass123"}},
        {"+#/SHA:alicepass123", -1, "message 1128", "message 1129", {"alicepass123"}},
    };
    for (const auto& c : cases) {
        std::vector<Bytes> secrets;
        for (const std::string& secret : c.secrets) {
            secrets.push_back(textBytes(secret));
            if (secret.rfind("0x", 0) != 0 && secret.size() % 2 == 0 &&
                secret.find_first_not_of("0123456789abcdef") == std::string::npos)
                secrets.push_back(hexBytes(secret));
        }
        for (bool isTrap : {false, true}) {
            forgetKnownAgents();
            forgetKnownEngines();
            const std::string outcome = isTrap ? trap(c.community) : get(c.community, 300, 1);
            const std::string label = c.community + (isTrap ? " (trap)" : " (get)");
            EXPECT_EQ(outcome, isTrap ? c.trapped : c.got) << label << "\n" << diagnostics;
            const std::vector<Bytes> sent = sentDatagrams(diagnostics);
            const bool refused = c.version < 0 || (isTrap && c.version == 3);
            EXPECT_EQ(sent.empty(), refused) << label;
            for (const Bytes& datagram : sent) {
                EXPECT_EQ(versionOf(datagram), c.version) << label;
                for (const Bytes& secret : secrets)
                    EXPECT_FALSE(contains(datagram, secret)) << label << ": " << hexText(secret);
            }
        }
    }
}

// A request, an inform or a notification that carries the awaited id (sent
// here by the agent itself, properly authenticated, just before its reply) is
// dropped with a diagnostic in every mode; the genuine reply answers the call.
TEST_F(CommunityModesTest, OnlyARepliesEndsTheWait)
{
    for (const char* community : {"public", "+public", "/bob/maplesyrup-bob", Alice}) {
        agent_->setMisbehaviour(Misbehaviour());
        // The agent known from then on: one log entry a call (logged once sent).
        const size_t start = agent_->logSize();
        ASSERT_EQ(get(community), "test-agent");
        ASSERT_TRUE(agent_->waitForLog(start + (community[0] == '/' || community[0] == '#' ? 2 : 1),
                                       ManagerSocket::ReplyWaitMs));
        for (int32_t command : {PduGetRequest, PduGetNextRequest, PduSetRequest, PduGetBulkRequest, 0xA6, 0xA7}) {
            Misbehaviour m;
            m.commandFirst = command;
            agent_->setMisbehaviour(m);
            const size_t before = agent_->logSize();
            EXPECT_EQ(get(community), "test-agent") << community << " " << command;
            char dropped[64];
            std::snprintf(dropped, sizeof dropped, "PDU 0x%02X dropped: it answers no request\n", command);
            EXPECT_NE(diagnostics.find(dropped), std::string::npos) << community << "\n" << diagnostics;
            ASSERT_TRUE(agent_->waitForLog(before + 1, ManagerSocket::ReplyWaitMs));
            EXPECT_EQ(agent_->log().back().datagramsSent, 2) << community << " " << command;
        }
    }
}

// An agent known from an earlier call that answers nothing ends the call as
// an agent never heard of does: "No Response from PEER", 1128, no value, in
// as many transmissions.
TEST_F(CommunityModesTest, ASilentKnownAgentIsNoResponse)
{
    for (const char* community : {"/bob/maplesyrup-bob", Alice}) {
        forgetKnownAgents();
        forgetKnownEngines();
        ASSERT_EQ(get(community), "test-agent") << community;
        agent_->stop();  // its socket stays bound: nothing answers
        for (const char* agent : {"known", "forgotten since"}) {
            EXPECT_EQ(get(community, 100, 2), "message 1128") << community << ", " << agent;
            EXPECT_NE(diagnostics.find("stdout: No Response from 127.0.0.1\n"), std::string::npos) << diagnostics;
            EXPECT_EQ(sentDatagrams(diagnostics).size(), 2u) << community << ", " << agent;
        }
        std::string error;
        ASSERT_TRUE(agent_->start(&error)) << error;
    }
}

}  // namespace

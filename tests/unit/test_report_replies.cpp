// A Report ends a request's wait but never gives the script a value: it is
// the agent's account of a failed request, and in the user-based mode it
// travels unauthenticated even on a session that authenticates, so anyone
// who guesses the request id could otherwise hand a script a forged value.
#include <gtest/gtest.h>

#include <thread>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "snmp/security/usec/keys.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"

namespace {

const char Oid[] = "1.3.6.1.2.1.1.5.0";
const uint32_t OidWords[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const char AgentId[] = "AGENT-REPORT";  // 12 octets

// The status a Report carries here, to tell where a recorded status came from.
const int32_t ReportStatus = 5;

// The reply to one request: its id, the given command and, always, the
// requested name with the INTEGER 42 (what a forger would put there).
SnmpPdu* replyTo(const std::vector<uint8_t>& request, int32_t command)
{
    DecodedPdu decoded(request);
    SnmpPdu* reply = createPdu(command);
    reply->requestId = decoded->requestId;
    reply->errorStatus = command == PduReport ? ReportStatus : 0;
    reply->errorIndex = 0;
    const int32_t value = 42;
    addVar(reply, OidWords, 9, ASN_INTEGER, &value, 4);
    return reply;
}

// The flag puts boots and time into an unauthenticated message too.
std::vector<uint8_t> encoded(const SnmpSession& role, SnmpPdu* pdu) { return encodeAndFree(role, pdu, 1); }

// A community agent that answers one request with the given command.
class CommunityAgent {
public:
    explicit CommunityAgent(int32_t command)
    {
        thread_ = std::thread([this, command]() {
            const std::vector<uint8_t> request = peer_.receive(3000);
            if (request.empty())
                return;
            SnmpSession role{};
            role.version = SnmpVersion1;
            role.community = reinterpret_cast<const uint8_t*>("public");
            role.communityLength = 6;
            peer_.reply(encoded(role, replyTo(request, command)));
        });
    }
    ~CommunityAgent() { thread_.join(); }
    CommunityAgent(const CommunityAgent&) = delete;
    CommunityAgent& operator=(const CommunityAgent&) = delete;
    uint16_t port() const { return peer_.port(); }

private:
    LoopbackPeer peer_;
    std::thread thread_;
};

// A user-based agent: answers the discovery with its identifier and clock,
// then the request with the given command and security flags.
class UserBasedAgent {
public:
    UserBasedAgent(int32_t command, uint8_t flags)
    {
        thread_ = std::thread([this, command, flags]() {
            uint8_t key[16];
            passwordToKey(reinterpret_cast<const uint8_t*>("maplesyrup"), 10,
                          reinterpret_cast<const uint8_t*>(AgentId), key);
            SnmpSession role{};
            role.version = SnmpVersionUsec;
            std::memcpy(role.agentId, AgentId, 12);
            role.agentBoots = 3;
            role.timeOffset = 500 - static_cast<int32_t>(runtimeTime(nullptr));
            role.userNameLength = 6;
            std::memcpy(role.userName, "kolbur", 6);
            role.maxMessageSize = 1450;
            std::memcpy(role.authKey, key, 16);

            std::vector<uint8_t> request = peer_.receive(3000);
            if (request.empty())
                return;
            SnmpPdu* report = replyTo(request, PduReport);
            freeVarList(report->variables);
            report->variables = nullptr;
            peer_.reply(encoded(role, report));

            request = peer_.receive(3000);
            if (request.empty())
                return;
            role.userNameLength = 4;
            std::memcpy(role.userName, "user", 4);
            role.securityFlags = flags;
            peer_.reply(encoded(role, replyTo(request, command)));
        });
    }
    ~UserBasedAgent() { thread_.join(); }
    UserBasedAgent(const UserBasedAgent&) = delete;
    UserBasedAgent& operator=(const UserBasedAgent&) = delete;
    uint16_t port() const { return peer_.port(); }

private:
    LoopbackPeer peer_;
    std::thread thread_;
};

class ReportReplyTest : public EngineTest {
protected:
    ScopedFakeHost host;
    void SetUp() override
    {
        EngineTest::SetUp();
        scriptState() = ScriptState();
        scriptState().lastErrorStatus = 7;  // stays unless a reply ends the wait
    }

    HostValue call(ScriptId id, std::vector<HostValue> args)
    {
        std::vector<HostValue> list = argList(std::move(args));
        return ScriptDispatcher(list.data(), id);
    }

    HostValue get(uint16_t port, const char* community)
    {
        return call(ScriptIdGetEx,
                    {stringArg("127.0.0.1"), numberArg(port), numberArg(0), stringArg(community), stringArg(Oid)});
    }

    HostValue set(uint16_t port)
    {
        return call(ScriptIdSetEx, {stringArg("127.0.0.1"), numberArg(port), numberArg(0), stringArg("public"),
                                    stringArg(Oid), numberArg(ASN_INTEGER), numberArg(42)});
    }

    HostValue getNext(uint16_t port)
    {
        CurrentPeer = "127.0.0.1";
        CurrentCommunity = "public";
        ScriptState& state = scriptState();
        state.lastRemotePort = port;
        std::memcpy(state.lastOid, OidWords, sizeof OidWords);
        state.lastOidCount = 9;
        return call(ScriptIdGetNext, {});
    }

    // The outcome of a call: the value 42 and the response's error status,
    // or the documented failure with the error status the script then reads.
    void expectOutcome(const HostValue& result, bool value, const std::string& label, uint32_t failedStatus = 0)
    {
        EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber)) << label;
        if (value) {
            EXPECT_EQ(double(result.number), 42.0) << label;
            EXPECT_TRUE(host.delivered.empty()) << label;
            EXPECT_EQ(scriptState().lastErrorStatus, 0u) << label;
        } else {
            EXPECT_EQ(double(result.number), 0.0) << label;
            ASSERT_EQ(host.delivered.size(), 1u) << label;
            EXPECT_EQ(host.delivered[0].text, std::string("Couldn't get variable (") + Oid + ")") << label;
            EXPECT_EQ(scriptState().lastErrorStatus, failedStatus) << label;
        }
    }
};

struct CommunityCase {
    const char* function;
    int32_t command;
    bool value;
};

TEST_F(ReportReplyTest, CommunityRequestsTakeValuesOnlyFromResponses)
{
    const CommunityCase cases[] = {
        {"get", PduResponse, true}, {"get", PduReport, false},         {"set", PduResponse, true},
        {"set", PduReport, false},  {"getnext", PduResponse, true},    {"getnext", PduReport, false},
    };
    for (const CommunityCase& c : cases) {
        SetUp();
        host.delivered.clear();
        const std::string label = std::string(c.function) + (c.command == PduReport ? " report" : " response");
        CommunityAgent agent(c.command);
        const std::string function = c.function;
        const HostValue result = function == "get"   ? get(agent.port(), "public")
                                 : function == "set" ? set(agent.port())
                                                     : getNext(agent.port());
        // A Report gives no value, but its error status is recorded.
        expectOutcome(result, c.value, label, ReportStatus);
        if (function == "getnext") {
            EXPECT_EQ(scriptState().lastOidCount, c.value ? 9 : 0) << label;
        }
    }
}

struct UserBasedCase {
    int32_t command;
    uint8_t flags;
    bool value;
    uint32_t failedStatus;
};

TEST_F(ReportReplyTest, UserBasedGetIgnoresReportsAuthenticatedOrNot)
{
    const UserBasedCase cases[] = {
        {PduResponse, SecurityAuth, true, 0},
        {PduReport, SecurityReportable, false, 7},  // unauthenticated, as anyone could send it: dropped
        {PduReport, SecurityAuth, false, ReportStatus},
    };
    for (const UserBasedCase& c : cases) {
        SetUp();
        host.delivered.clear();
        const std::string label = std::string(c.command == PduReport ? "report" : "response") + " with qoS " +
                                  std::to_string(c.flags);
        UserBasedAgent agent(c.command, c.flags);
        expectOutcome(get(agent.port(), "/user/maplesyrup"), c.value, label, c.failedStatus);
    }
}

}  // namespace

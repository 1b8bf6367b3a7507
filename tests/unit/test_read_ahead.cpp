// Fewer round trips: the walk's GetBulk read-ahead behind snmpgetnext, and
// the binding list that gets or sets many variables in one request, against
// the test agent and its misbehaviours.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime.h"
#include "script/dispatcher.h"
#include "script/module_state.h"
#include "script/read_ahead.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usm/known_engines.h"
#include "snmp/security/usm/local_engine.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"
#include "tools/agent/usm.h"

using namespace testagent;

namespace {

std::string dump;
void gather(DiagnosticStream, const char* text, size_t length) { dump.append(text, length); }

uint64_t ticks = 0;
uint64_t readTicks() { return ticks; }

const char Alice[] = "#alice/SHA-256:alicepass123/AES:alicepriv123";
// The agent's generated rows, the end of its view: the first cell.
const char Table[] = "1.3.6.1.4.1.99999.2.1.1.1";

struct Step {
    std::string name;
    std::string value;  // or "message N"
};

class ReadAheadTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        forgetKnownEngines();
        ScriptExit();
        ScriptDispatcher(argList({}).data(), ScriptIdReadAhead);
        scriptState() = ScriptState();
        ticks = 1000;
        setTickSource(readTicks);
    }
    void TearDown() override
    {
        for (auto& agent : agents_)
            agent->stop();
        ScriptExit();
        setTickSource(nullptr);
        setDiagnosticSink(nullptr);
        EngineTest::TearDown();
    }

    TestAgent& startAgent(const Misbehaviour& m = Misbehaviour(), uint32_t rows = 30, bool create = false)
    {
        UsmConfig usm;
        usm.engineId = v3Engine_;
        usm.boots = v3Boots_;
        std::string error;
        for (const char* text : v3Users_) {
            UsmUser user;
            EXPECT_TRUE(parseUsmUser(text, v3Engine_, &user, &error)) << text;
            usm.users.push_back(user);
        }
        usm_.push_back(std::make_unique<UsmAgent>(usm));
        UsmAgent* judge = usm_.back().get();
        AgentConfig config;
        config.misbehaviour = m;
        config.allowCreate = create;
        config.hook = [judge](ReceivedRequest& request) {
            return request.version == SnmpVersion3 ? judge->judge(request) : HookOutcome();
        };
        MibTable table = MibTable::builtIn();
        table.addRows(rows);
        agents_.push_back(std::make_unique<TestAgent>(config, table));
        EXPECT_TRUE(agents_.back()->start(&error)) << error;
        return *agents_.back();
    }

    // One script call: its value (text or number) or "message N"; counts the
    // datagrams the module sent for it.
    std::string call(ScriptId id, std::vector<HostValue> args)
    {
        ScopedFakeHost host;
        dump.clear();
        setDiagnosticSink(gather);
        setDatagramDump(true);
        args = argList(args);
        const HostValue result = ScriptDispatcher(args.data(), id);
        setDatagramDump(false);
        setDiagnosticSink(nullptr);
        for (size_t at = dump.find("Sending "); at != std::string::npos; at = dump.find("Sending ", at + 1))
            ++sent_;
        std::string outcome;
        for (const Delivered& d : host.delivered)
            outcome += (outcome.empty() ? "message " : " ") + std::to_string(d.message);
        if (outcome.empty())
            outcome = isNumberValue(result) ? std::to_string(static_cast<long long>(result.number)) : textOf(result);
        return outcome;
    }
    std::string objid() { return call(ScriptIdObjId, {}); }
    std::string get(const TestAgent& agent, const std::string& community, const std::string& oid)
    {
        return call(ScriptIdGetEx, {stringArg("127.0.0.1"), numberArg(agent.port()), numberArg(0),
                                    stringArg(community), stringArg(oid), numberArg(100), numberArg(1)});
    }
    std::string next() { return call(ScriptIdGetNext, {}); }

    // A get of the start, then get-next until the name stops increasing or is
    // empty: every step's name and value.
    std::vector<Step> walk(const TestAgent& agent, const std::string& community, const std::string& start = Table)
    {
        std::vector<Step> steps;
        get(agent, community, start);
        for (std::string asked = objid(); steps.size() < 1000;) {
            const std::string value = next();
            const std::string name = objid();
            steps.push_back({name, value});
            if (name.empty() || name == asked)
                break;
            asked = name;
        }
        return steps;
    }
    int bulkRequests(const TestAgent& agent)
    {
        int count = 0;
        for (const LogEntry& entry : agent.log())
            count += entry.command == PduGetBulkRequest ? 1 : 0;
        return count;
    }

    // The SNMPv3 side of the next agent.
    std::vector<const char*> v3Users_ = {"alice:SHA-256:alicepass123:AES:alicepriv123"};
    std::vector<uint8_t> v3Engine_ = DefaultUsmEngineId;
    int32_t v3Boots_ = 1;
    std::vector<std::unique_ptr<UsmAgent>> usm_;  // outlive the agents that call them
    std::vector<std::unique_ptr<TestAgent>> agents_;
    int sent_ = 0;
};

std::string names(const std::vector<Step>& steps)
{
    std::string all;
    for (const Step& step : steps)
        all += step.name + "=" + step.value + " ";
    return all;
}

// SNMPv1 walks with GetNext; SNMPv2c and SNMPv3 walk the same names and
// values with GetBulk in a fraction of the datagrams, ending at endOfMibView
// without a request behind it; the agent's odd answers change nothing.
TEST_F(ReadAheadTest, BulkWalksMatchTheGetNextWalk)
{
    const std::vector<Step> reference = walk(startAgent(), "public");
    ASSERT_EQ(reference.size(), 90u);  // 89 cells after the first, then noSuchName
    EXPECT_EQ(reference.back().value, "message 1127");
    Misbehaviour refuses, ignores, tooBig, repeats, replayed, wrongId, tooLong;
    tooLong.onlyCommand = PduGetBulkRequest;
    tooLong.oversize = true;
    tooLong.misbehaveCount = 1;
    refuses.onlyCommand = replayed.onlyCommand = wrongId.onlyCommand = repeats.onlyCommand = PduGetBulkRequest;
    refuses.errorStatus = SNMP_ERR_GENERR;
    ignores.ignoreCommand = PduGetBulkRequest;
    tooBig.replyLimit = 300;
    repeats.repeatFrom = 4;
    replayed.previousReplyFirst = true;
    wrongId.wrongIdFirst = true;
    const struct {
        const char* label;
        const char* community;
        Misbehaviour m;
        int sent;   // datagrams of the whole walk
        int bulks;     // GetBulk requests the agent saw
    } cases[] = {
        // The get, then GetBulk for 10, 20, 40 and 80 (the end inside).
        {"v2c", "+public", Misbehaviour(), 5, 4},
        {"v3", Alice, Misbehaviour(), 6, 4},  // and the discovery
        // The get, one GetBulk, then GetNext for 89 cells and the end.
        {"refused", "+public", refuses, 92, 1},
        {"ignored", "+public", ignores, 92, 1},
        // 10 fits, 20 does not (halved back to 10 once), 10 at a time.
        {"tooBig", "+public", tooBig, 11, 10},
        // The first reply too long to receive: at once 5, and never more (no timeout, no GetNext).
        {"too long", "+public", tooLong, 20, 19},
        // Three new names a reply.
        {"names repeat", "+public", repeats, 31, 30},
        {"replayed replies", "+public", replayed, 5, 4},
        {"replies with another id", Alice, wrongId, 6, 4},
    };
    for (const auto& c : cases) {
        sent_ = 0;
        TestAgent& agent = startAgent(c.m);
        std::vector<Step> steps = walk(agent, c.community);
        ASSERT_FALSE(steps.empty()) << c.label;
        EXPECT_EQ(steps.back().value, "") << c.label;  // endOfMibView: the name stays
        steps.back() = reference.back();
        EXPECT_EQ(names(steps), names(reference)) << c.label;
        EXPECT_EQ(sent_, c.sent) << c.label;
        EXPECT_TRUE(agent.waitForLog(static_cast<size_t>(sent_), 1000)) << c.label;  // logged once answered
        EXPECT_EQ(bulkRequests(agent), c.bulks) << c.label;
        // A remembered refusal: the next walk asks with GetNext alone.
        if (c.m.errorStatus > 0 || c.m.ignoreCommand != 0) {
            walk(agent, c.community);
            EXPECT_EQ(bulkRequests(agent), c.bulks) << c.label;
        }
    }
}

// Kept bindings answer only the walk they continue, for the target they came
// from, while fresh; a set, another target or another name drop them.
TEST_F(ReadAheadTest, KeptBindingsAnswerOnlyTheirWalk)
{
    TestAgent& agent = startAgent();
    TestAgent& other = startAgent(Misbehaviour(), 40);
    const std::string cell = std::string(Table) + ".1.1.5";
    const struct {
        const char* label;
        std::function<void()> between;
        int sent;  // by the get-next after it
    } cases[] = {
        {"nothing", [] {}, 0},
        {"1000 ms", [] { ticks += ReadAheadFreshMs; }, 0},
        {"1001 ms", [] { ticks += ReadAheadFreshMs + 1; }, 1},
        // Of the name the walk stands at, so that the walk would continue.
        {"a set", [&] { call(ScriptIdSetEx, {stringArg("127.0.0.1"), numberArg(agent.port()), numberArg(0),
                                              stringArg("+public"), stringArg(objid()), numberArg(ASN_INTEGER),
                                              numberArg(7)}); }, 1},
        {"the read-ahead off", [&] { call(ScriptIdReadAhead, {numberArg(0)}); }, 1},
        {"another name", [&] { get(agent, "+public", cell); }, 1},
        {"the same name elsewhere", [&] { get(other, "+public", objid()); }, 1},
        {"another community", [&] { get(agent, "public", objid()); }, 1},
    };
    for (double refused : {-1.0, 1001.0, std::nan("")})
        EXPECT_EQ(call(ScriptIdReadAhead, {numberArg(refused)}), "message 1129") << refused;
    EXPECT_EQ(call(ScriptIdReadAhead, {numberArg(0)}), "0");
    EXPECT_EQ(call(ScriptIdReadAhead, {numberArg(25)}), "25");
    for (const auto& c : cases) {
        call(ScriptIdReadAhead, {});
        get(agent, "+public", Table);
        next();
        const std::string at = objid();
        c.between();
        sent_ = 0;
        next();
        EXPECT_EQ(sent_, c.sent) << c.label;
        if (std::string(c.label) == "the same name elsewhere") {
            // Only this case asks the other agent: its get, then the get-next.
            ASSERT_TRUE(other.waitForLog(2, 1000));
            EXPECT_EQ(other.log()[1].command, PduGetBulkRequest);
        }
        if (c.sent == 0) {
            EXPECT_NE(objid(), at) << c.label;
        }
    }
}

// Many variables in one GetRequest: each outcome reaches the script for its
// own variable (values, SNMPv2c exceptions, SNMPv1's noSuchName with its
// index), and a list too big for the agent is split and remembered so.
TEST_F(ReadAheadTest, ListGetsGiveEachVariableItsOutcome)
{
    Misbehaviour small;
    small.replyLimit = 150;  // 9 bindings do not fit, 5 do
    Misbehaviour tooLong;
    tooLong.oversize = true;
    tooLong.misbehaveCount = 1;
    const std::string cell = "1.3.6.1.4.1.99999.2.1";
    const struct {
        const char* label;
        const char* community;
        Misbehaviour m;
        int missing;     // a name the agent lacks, listed at this place (0: none)
        int requests[2];  // the first poll's, the next one's
        const char* counted;
        const char* missingOutcome;  // snmpvar and snmpGetLastError of that one
    } cases[] = {
        {"v2c", "+public", Misbehaviour(), 3, {1, 1}, "9", "|0"},  // noSuchObject
        {"v1", "public", Misbehaviour(), 3, {2, 2}, "9", "message 1127|2"},
        {"v3", Alice, Misbehaviour(), 0, {2, 1}, "9", ""},  // the discovery first
        {"tooBig once, then split at once", "+public", small, 0, {3, 2}, "9", ""},
        {"too long to receive once", "+public", tooLong, 0, {3, 2}, "9", ""},
    };
    for (const auto& c : cases) {
        TestAgent& agent = startAgent(c.m);
        call(ScriptIdClearVars, {});
        std::vector<std::string> oids;
        for (int column = 1; column <= 3; ++column) {
            for (int row = 1; row <= 3; ++row)
                oids.push_back(cell + "." + std::to_string(column) + "." + std::to_string(row));
        }
        if (c.missing > 0)
            oids.insert(oids.begin() + (c.missing - 1), cell + ".9.9");
        for (const std::string& oid : oids)
            call(ScriptIdAddVar, {stringArg(oid)});
        const std::vector<HostValue> poll = {stringArg("127.0.0.1"), numberArg(agent.port()), numberArg(0),
                                             stringArg(c.community), numberArg(200), numberArg(1)};
        for (int round = 0; round < 2; ++round) {
            const size_t before = agent.logSize();
            EXPECT_EQ(call(ScriptIdGetVarsEx, poll), c.counted) << c.label;
            const int expected = c.requests[round];
            ASSERT_TRUE(agent.waitForLog(before + static_cast<size_t>(expected), 1000))
                << c.label << " round " << round << ": " << agent.logSize() - before;
            EXPECT_EQ(static_cast<int>(agent.logSize() - before), expected) << c.label << " round " << round;
            for (size_t k = 1; k <= oids.size(); ++k) {
                const std::string value = call(ScriptIdVar, {numberArg(static_cast<double>(k))});
                if (static_cast<int>(k) == c.missing) {
                    EXPECT_EQ(value + "|" + call(ScriptIdGetLastError, {}), c.missingOutcome) << c.label;
                    continue;
                }
                // Column 1 holds the row, column 2 "row N", column 3 row * 1000; the name moves there.
                const std::string& oid = oids[k - 1];
                const int column = oid[oid.size() - 3] - '0';
                const int row = oid.back() - '0';
                const std::string want = column == 1 ? std::to_string(row)
                                         : column == 2 ? "row " + std::to_string(row)
                                                       : std::to_string(row * 1000);
                EXPECT_EQ(value, want) << c.label << " " << oid;
                EXPECT_EQ(objid(), oid) << c.label;
            }
        }
        for (double k : {0.0, static_cast<double>(oids.size() + 1), std::nan("")})
            EXPECT_EQ(call(ScriptIdVar, {numberArg(k)}), "message 1129") << k;
    }
}

// A set of many bindings goes out as one SetRequest that the agent makes as
// one (a new row); a refused binding leaves every one unmade and is named.
TEST_F(ReadAheadTest, ListSetsAreOneRequest)
{
    const std::string row = "1.3.6.1.4.1.99999.3.1.";
    for (bool create : {true, false}) {
        TestAgent& agent = startAgent(Misbehaviour(), 3, create);
        call(ScriptIdClearVars, {});
        call(ScriptIdAddVar, {stringArg(row + "2.7"), numberArg(ASN_OCTET_STR), stringArg("new row")});
        call(ScriptIdAddVar, {stringArg(row + "3.7"), numberArg(ASN_COUNTER64), numberArg(1), numberArg(2)});
        EXPECT_EQ(call(ScriptIdAddVar, {stringArg(row + "4.7"), numberArg(ASN_INTEGER), numberArg(4)}), "3");
        const std::string made = call(ScriptIdSetVarsEx, {stringArg("127.0.0.1"), numberArg(agent.port()),
                                                          numberArg(0), stringArg("+public"), numberArg(200),
                                                          numberArg(1)});
        ASSERT_TRUE(agent.waitForLog(1, 1000));
        ASSERT_EQ(agent.logSize(), 1u);
        EXPECT_EQ(agent.log()[0].bindings.size(), 3u);
        EXPECT_EQ(made, create ? "3" : "message 1127");
        EXPECT_EQ(call(ScriptIdGetLastError, {}), create ? "0" : "11");  // noCreation
        EXPECT_EQ(call(ScriptIdVar, {numberArg(2)}), create ? "1,2" : "message 1127");
        EXPECT_EQ(get(agent, "+public", row + "4.7"), create ? "4" : "");
    }
    // A set needs a value for every name: nothing is sent.
    call(ScriptIdAddVar, {stringArg("1.3.6.1.2.1.1.5.0")});
    EXPECT_EQ(call(ScriptIdSetVars, {stringArg("127.0.0.1"), stringArg("public")}), "message 1129");
}

}  // namespace

namespace {

// An inform is acknowledged only by the genuine Response: another id, a
// replayed acknowledgement or the inform reflected back are dropped and the
// genuine one still ends the call; with the genuine one withheld, a replayed
// or foreign-community copy never passes for it. In SNMPv3 the same holds
// for a wrong HMAC, another msgID, a replay and an unauthenticated copy.
TEST_F(ReadAheadTest, InformsTakeOnlyTheirAcknowledgement)
{
    Misbehaviour wrongId, replayed, reflected;
    wrongId.wrongIdFirst = true;
    replayed.previousReplyFirst = true;
    reflected.commandFirst = PduInform;
    ReplyVariant stranger;  // the acknowledgement in another community
    stranger.encoder = [](const SnmpPdu& pdu, std::vector<uint8_t>* out) {
        SnmpSession record{};
        record.version = SnmpVersion2c;
        record.community = reinterpret_cast<const uint8_t*>("other");
        record.communityLength = 5;
        uint8_t buffer[SnmpPacketSize];
        int32_t length = SnmpPacketSize;
        if (encodeMessage(&record, &pdu, buffer, &length, 0) != 0)
            return false;
        out->assign(buffer, buffer + length);
        return true;
    };
    using F = UsmForgery;
    const std::vector<F> v3Forged = {F::WrongDigest, F::WrongMsgId, F::Replay, F::Plain, F::UnauthenticatedReport};
    const struct {
        const char* label;
        Misbehaviour m;
        bool withheld;  // the second inform's genuine acknowledgement
        const char* second;
        const char* community = "public";
        std::vector<F> forged = {};  // SNMPv3 forgeries before the second acknowledgement
    } cases[] = {
        {"genuine", Misbehaviour(), false, "1"},
        {"another id first", wrongId, false, "1"},
        {"a replayed acknowledgement first", replayed, false, "1"},
        {"the inform reflected first", reflected, false, "1"},
        {"only a replayed and a foreign copy", replayed, true, "message 1127"},
        {"SNMPv3 forgeries first", Misbehaviour(), false, "1", Alice, v3Forged},
        {"SNMPv3 forgeries only", Misbehaviour(), true, "message 1127", Alice, v3Forged},
    };
    for (const auto& c : cases) {
        TestAgent& agent = startAgent(c.m);
        UsmAgent& judge = *usm_.back();
        bool withhold = false;
        agent.setHook([&](ReceivedRequest& request) {
            if (request.version == SnmpVersion3)
                return judge.judge(request);
            if (withhold && request.pdu != nullptr && request.pdu->command == PduInform) {
                request.withholdReply = true;
                request.forgedFirst = {stranger};
            }
            return HookOutcome();
        });
        // Twice: the second has an earlier acknowledgement to replay. One
        // transmission each: a retransmission's "previous" reply would be the
        // genuine acknowledgement withheld a moment before.
        for (int round = 0; round < 2; ++round) {
            withhold = c.withheld && round == 1 && c.forged.empty();
            if (round == 1)
                judge.setMisbehaviour({c.forged, c.withheld});
            const std::string outcome = call(ScriptIdInformEx, {stringArg("127.0.0.1"), numberArg(agent.port()),
                                                                numberArg(0), stringArg(c.community),
                                                                stringArg("1.3.6.1.6.3.1.1.5.3"), numberArg(100),
                                                                numberArg(1)});
            EXPECT_EQ(outcome, round == 0 ? "1" : c.second) << c.label << " round " << round;
        }
        agent.stop();  // before the hook's captures go
    }
}

// An SNMPv3 trap comes from the module's own engine: its identifier (stable
// across loads), boots from the wall clock at the load, the seconds since, no
// reportable flag, keys localized to that identifier. The test agent, made
// that engine, verifies and decrypts it at every level.
TEST_F(ReadAheadTest, V3TrapsComeFromTheModulesEngine)
{
    const int64_t loadedAt = 1765000000;  // seconds of the wall clock
    useFakeClock(loadedAt * 1000);
    EXPECT_EQ(call(ScriptIdEngineIdEx, {stringArg("8000000005a")}), "message 1129");
    EXPECT_EQ(call(ScriptIdEngineIdEx, {stringArg("80000000050A0b")}), "80000000050a0b");
    restartLocalEngine();  // a new load: the first use starts its clock
    const std::string id = call(ScriptIdEngineIdEx, {});
    EXPECT_EQ(id.substr(0, 10) + std::to_string(id.size()), "800000000542");
    ASSERT_TRUE(parseUsmEngineId(id, &v3Engine_));
    v3Boots_ = static_cast<int32_t>(loadedAt - 1577836800);  // since 2020-01-01
    v3Users_ = {"alice:SHA-256:alicepass123:AES:alicepriv123", "bob:MD5:bobpass1234:DES:bobpriv1234", "carol"};
    TestAgent& agent = startAgent();
    useFakeClock((loadedAt + 42) * 1000);
    call(ScriptIdClearVars, {});
    call(ScriptIdAddVar, {stringArg("system.5.0"), numberArg(ASN_OCTET_STR), stringArg("host-a")});
    for (const auto& [community, flags] : {std::pair{Alice, 3}, {"#bob/MD5:bobpass1234/DES:bobpriv1234", 3}, {"#carol/", 0}}) {
        const size_t before = agent.logSize();
        EXPECT_EQ(call(ScriptIdNotifyEx, {stringArg("127.0.0.1"), numberArg(agent.port()), numberArg(0),
                                          stringArg(community), stringArg("1.3.6.1.6.3.1.1.5.3")}), "1");
        ASSERT_TRUE(agent.waitForLog(before + 1, 1000)) << community;
        const LogEntry entry = agent.log()[before];
        EXPECT_EQ(entry.action + " " + entry.fields.substr(0, 34),  // else refused: digest, time, decryption
                  "not-a-request flags=0x0" + std::to_string(flags) + " boots=187163200 time=42");
        ASSERT_EQ(entry.bindings.size(), 3u) << community;  // sysUpTime.0, snmpTrapOID.0, the list
        EXPECT_EQ(formatOid(entry.bindings[1].name) + formatOid(entry.bindings[2].name), "1.3.6.1.6.3.1.1.4.1.01.3.6.1.2.1.1.5.0");
    }
}

}  // namespace

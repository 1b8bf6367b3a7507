// The test agent in-process: it serves on a thread of its own, requests go to
// it over a loopback UDP socket, answers are decoded with the engine's codec
// (and one of them is compared octet for octet with a hand-made message).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "tests/support/hex.h"
#include "tests/support/manager_socket.h"
#include "tools/agent/test_agent.h"

using namespace testagent;

namespace {

using Bytes = std::vector<uint8_t>;


// Generous limits: they only bound a failing test, they are not timings.
constexpr int ReplyWaitMs = ManagerSocket::ReplyWaitMs;
constexpr int AbsenceWaitMs = 100;

const OidVector sysDescr = {1, 3, 6, 1, 2, 1, 1, 1, 0};
const OidVector sysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};

OidVector typed(uint32_t n)
{
    OidVector name = BuiltInTypes;
    name.push_back(n);
    name.push_back(0);
    return name;
}

Variable nullBinding(const OidVector& name) { return makeVariable(name, ASN_NULL, {}); }

using Client = ManagerSocket;

Bytes encodeRequest(int32_t version, const std::string& community, int32_t command, int32_t requestId,
                    const std::vector<Variable>& vars, int32_t errorStatus = 0, int32_t errorIndex = 0)
{
    SnmpSession session{};
    session.version = version;
    session.community = reinterpret_cast<const uint8_t*>(community.data());
    session.communityLength = static_cast<int32_t>(community.size());
    PduPtr pdu = buildPdu(command, requestId, errorStatus, errorIndex, vars);
    Bytes out(SnmpPacketSize);
    int32_t length = SnmpPacketSize;
    EXPECT_EQ(encodeMessage(&session, pdu.get(), out.data(), &length, 0), 0);
    out.resize(static_cast<size_t>(length));
    return out;
}

// The same message with another version octet (the encoder writes 02 01 vv
// right behind the four-octet outer header).
Bytes withVersion(Bytes message, uint8_t version)
{
    message.at(6) = version;
    return message;
}

struct Reply {
    int32_t version = -1;
    std::string community;
    int32_t command = 0;
    int32_t requestId = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    std::vector<Variable> bindings;
};

// Decodes a datagram; nullopt when it does not decode.
std::optional<Reply> decodeReply(const Bytes& data)
{
    Bytes copy = data;
    int32_t remaining = static_cast<int32_t>(copy.size());
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = SnmpCommunityCapacity;
    Reply r;
    if (copy.empty() || decodeMessageHeader(copy.data(), &remaining, community, &communityLength, &r.version) == nullptr)
        return std::nullopt;
    r.community.assign(reinterpret_cast<char*>(community), static_cast<size_t>(communityLength));
    PduPtr pdu(static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu))));
    if (decodeMessage(nullptr, pdu.get(), copy.data(), static_cast<int32_t>(copy.size())) < 0)
        return std::nullopt;
    r.command = pdu->command;
    r.requestId = pdu->requestId;
    r.errorStatus = pdu->errorStatus;
    r.errorIndex = pdu->errorIndex;
    for (const VarBind* v = pdu->variables; v != nullptr; v = v->next) {
        Variable b;
        b.name.assign(v->name, v->name + v->nameLength);
        b.type = v->type;
        if (v->value != nullptr && v->valueLength > 0)
            b.value.assign(v->value, v->value + v->valueLength);
        r.bindings.push_back(std::move(b));
    }
    return r;
}

std::vector<OidVector> names(const std::vector<Variable>& vars)
{
    std::vector<OidVector> out;
    for (const auto& v : vars)
        out.push_back(v.name);
    return out;
}

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override { startAgent(AgentConfig()); }

    void startAgent(AgentConfig config, MibTable table = MibTable::builtIn())
    {
        if (agent_)
            agent_->stop();
        config.communities = {"public", "private"};
        agent_ = std::make_unique<TestAgent>(std::move(config), std::move(table));
        std::string error;
        ASSERT_TRUE(agent_->start(&error)) << error;
        ASSERT_NE(agent_->port(), 0);
    }

    TestAgent& agent() { return *agent_; }

    void send(const Bytes& data) { client_.send(agent_->port(), data); }

    // Sends one request and returns its single answer.
    Reply ask(int32_t version, int32_t command, const std::vector<Variable>& vars, int32_t id = 77,
              const std::string& community = "public", int32_t errorStatus = 0, int32_t errorIndex = 0)
    {
        send(encodeRequest(version, community, command, id, vars, errorStatus, errorIndex));
        const auto data = client_.receive();
        EXPECT_TRUE(data.has_value()) << "no answer";
        if (!data)
            return Reply{};
        const auto reply = decodeReply(*data);
        EXPECT_TRUE(reply.has_value()) << "answer does not decode: " << hexText(*data);
        return reply ? *reply : Reply{};
    }

    // Every datagram that came back for the request, in arrival order, once
    // the agent has logged it.
    std::vector<Bytes> collect(size_t logEntries, size_t expected)
    {
        EXPECT_TRUE(agent_->waitForLog(logEntries, ReplyWaitMs));
        std::vector<Bytes> out;
        while (out.size() < expected) {
            auto d = client_.receive();
            if (!d)
                break;
            out.push_back(*d);
        }
        if (auto extra = client_.receive(AbsenceWaitMs))
            out.push_back(*extra);
        return out;
    }

    bool nothingArrives() { return !client_.receive(AbsenceWaitMs).has_value(); }

    Client client_;
    std::unique_ptr<TestAgent> agent_;
};

// ---- answers ---------------------------------------------------------------

TEST_F(AgentTest, AnswersTheWorkedGetOctetForOctet)
{
    // GetRequest, version 0, community "public", id 1, sysUpTime.0 with NULL.
    send(hexBytes("30 82 00 28 02 01 00 04 06 70 75 62 6C 69 63 A0 1B 02 01 01 02 01 00 02 01 00 "
                  "30 10 30 82 00 0C 06 08 2B 06 01 02 01 01 03 00 05 00"));
    const auto data = client_.receive();
    ASSERT_TRUE(data.has_value());
    // Response, id 1, sysUpTime.0 = TimeTicks 123456 (01 E2 40).
    EXPECT_EQ(hexText(*data), hexText(hexBytes("30 82 00 2B 02 01 00 04 06 70 75 62 6C 69 63 A2 1E 02 01 01 "
                                               "02 01 00 02 01 00 30 13 30 82 00 0F 06 08 2B 06 01 02 01 01 "
                                               "03 00 43 03 01 E2 40")));
}

TEST_F(AgentTest, EveryBuiltInVariableInBothVersions)
{
    const MibTable table = MibTable::builtIn();
    int32_t id = 100;
    for (const auto& entry : table) {
        const Variable& expected = entry.second;
        for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
            SCOPED_TRACE(formatLine(expected) + " version " + std::to_string(version));
            const Reply r = ask(version, PduGetRequest, {nullBinding(expected.name)}, ++id);
            EXPECT_EQ(r.command, PduResponse);
            EXPECT_EQ(r.requestId, id);
            EXPECT_EQ(r.version, version);
            EXPECT_EQ(r.community, "public");
            ASSERT_EQ(r.bindings.size(), 1u);
            if (version == SnmpVersion1 && expected.type == ASN_COUNTER64) {
                EXPECT_EQ(r.errorStatus, ErrNoSuchName);
                EXPECT_EQ(r.errorIndex, 1);
                EXPECT_EQ(r.bindings[0], nullBinding(expected.name));
            } else {
                EXPECT_EQ(r.errorStatus, 0);
                EXPECT_EQ(r.errorIndex, 0);
                EXPECT_EQ(r.bindings[0], expected);
            }
        }
    }
}

TEST(TestAgentTable, BuiltInHasEveryValueType)
{
    const MibTable table = MibTable::builtIn();
    std::set<uint8_t> types;
    for (const auto& entry : table)
        types.insert(entry.second.type);
    for (uint8_t type : {ASN_INTEGER, ASN_OCTET_STR, ASN_NULL, ASN_OBJECT_ID, ASN_IPADDRESS, ASN_COUNTER, ASN_GAUGE,
                         ASN_TIMETICKS, ASN_OPAQUE, ASN_NSAP, ASN_COUNTER64, ASN_UINTEGER})
        EXPECT_EQ(types.count(type), 1u) << typeKeyword(type);
    const Variable* binary = table.find(typed(3));
    ASSERT_NE(binary, nullptr);
    EXPECT_TRUE(std::any_of(binary->value.begin(), binary->value.end(), [](uint8_t ch) { return ch >= 0x80; }));
}

TEST_F(AgentTest, SeveralBindingsInOneGet)
{
    const Reply r = ask(SnmpVersion2c, PduGetRequest, {nullBinding(sysName), nullBinding(typed(1)), nullBinding(sysDescr)});
    ASSERT_EQ(r.bindings.size(), 3u);
    EXPECT_EQ(names(r.bindings), (std::vector<OidVector>{sysName, typed(1), sysDescr}));
    EXPECT_EQ(r.bindings[1].value, int32Value(-42));
}

TEST_F(AgentTest, MissingNameInV1IsNoSuchNameWithItsIndex)
{
    const OidVector missing = {1, 3, 6, 1, 4, 1, 99999, 1, 99, 0};
    const std::vector<Variable> request = {nullBinding(sysDescr), nullBinding(missing), nullBinding(sysName)};
    const Reply r = ask(SnmpVersion1, PduGetRequest, request);
    EXPECT_EQ(r.errorStatus, ErrNoSuchName);
    EXPECT_EQ(r.errorIndex, 2);
    EXPECT_EQ(r.bindings, request);  // the request's bindings, unchanged
}

TEST_F(AgentTest, MissingNamesInV2cAreExceptionValues)
{
    struct Case {
        OidVector name;
        uint8_t type;
    };
    const std::vector<Case> cases = {
        {{1, 3, 6, 1, 4, 1, 99999, 1, 99, 0}, ASN_NOSUCHOBJECT},  // no such object at all
        {{1, 3, 6, 1, 4, 1, 99999, 1, 1, 1}, ASN_NOSUCHINSTANCE}, // object .1.1 exists, instance .1 not
        {{1, 3, 6, 1, 2, 1, 1, 1}, ASN_NOSUCHINSTANCE},           // sysDescr without .0
        {{1, 3, 6, 1, 6}, ASN_NOSUCHOBJECT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatOid(c.name));
        const Reply r = ask(SnmpVersion2c, PduGetRequest, {nullBinding(sysName), nullBinding(c.name)});
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_EQ(r.bindings.size(), 2u);
        EXPECT_EQ(r.bindings[0].type, ASN_OCTET_STR);
        EXPECT_EQ(r.bindings[1], makeVariable(c.name, c.type, {}));
    }
}

TEST_F(AgentTest, GetNextWalksTheTableInOrderAndEndsByVersion)
{
    MibTable table = MibTable::builtIn();
    table.addRows(5);
    startAgent(AgentConfig(), table);
    for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
        SCOPED_TRACE(version);
        std::vector<Variable> expected;
        for (const auto& entry : table)
            if (version != SnmpVersion1 || entry.second.type != ASN_COUNTER64)
                expected.push_back(entry.second);
        std::vector<Variable> walked;
        OidVector cursor = {1, 3};
        Reply r;
        for (size_t step = 0; step <= table.size() + 1; ++step) {
            r = ask(version, PduGetNextRequest, {nullBinding(cursor)}, static_cast<int32_t>(step + 1));
            ASSERT_EQ(r.bindings.size(), 1u);
            if (r.errorStatus != 0 || r.bindings[0].type == ASN_ENDOFMIBVIEW)
                break;
            walked.push_back(r.bindings[0]);
            cursor = r.bindings[0].name;
        }
        EXPECT_EQ(walked, expected);
        if (version == SnmpVersion1) {
            EXPECT_EQ(r.errorStatus, ErrNoSuchName);
            EXPECT_EQ(r.errorIndex, 1);
            EXPECT_EQ(r.bindings[0], nullBinding(cursor));
        } else {
            EXPECT_EQ(r.errorStatus, 0);
            EXPECT_EQ(r.bindings[0], makeVariable(cursor, ASN_ENDOFMIBVIEW, {}));
        }
    }
}

TEST_F(AgentTest, Counter64ForV1OnlyWhenAllowed)
{
    Reply r = ask(SnmpVersion1, PduGetNextRequest, {nullBinding(typed(10))});
    ASSERT_EQ(r.bindings.size(), 1u);
    EXPECT_EQ(r.bindings[0].name, typed(12));  // .11 (Counter64) skipped
    agent().setV1Counter64(true);
    r = ask(SnmpVersion1, PduGetNextRequest, {nullBinding(typed(10))});
    ASSERT_EQ(r.bindings.size(), 1u);
    EXPECT_EQ(r.bindings[0], makeVariable(typed(11), ASN_COUNTER64, counter64Value(0x100000005ull)));
}

TEST_F(AgentTest, GetBulkInV2cOnly)
{
    MibTable table = MibTable::builtIn();
    table.addRows(4);
    startAgent(AgentConfig(), table);
    auto cell = [](uint32_t column, uint32_t row) {
        OidVector name = GeneratedTable;
        name.insert(name.end(), {1, column, row});
        return name;
    };
    // One non-repeater, then two columns for three rows.
    const Reply r = ask(SnmpVersion2c, PduGetBulkRequest,
                        {nullBinding(sysDescr), nullBinding(cell(1, 2)), nullBinding(cell(3, 0))}, 9, "public", 1, 3);
    EXPECT_EQ(r.errorStatus, 0);
    const OidVector sysObjectId = {1, 3, 6, 1, 2, 1, 1, 2, 0};
    EXPECT_EQ(names(r.bindings), (std::vector<OidVector>{sysObjectId, cell(1, 3), cell(3, 1), cell(1, 4), cell(3, 2),
                                                         cell(2, 1), cell(3, 3)}));
    // Past the end: endOfMibView, and the repetitions stop.
    const Reply end = ask(SnmpVersion2c, PduGetBulkRequest, {nullBinding(cell(3, 4))}, 10, "public", 0, 5);
    ASSERT_EQ(end.bindings.size(), 1u);
    EXPECT_EQ(end.bindings[0], makeVariable(cell(3, 4), ASN_ENDOFMIBVIEW, {}));

    send(encodeRequest(SnmpVersion1, "public", PduGetBulkRequest, 11, {nullBinding(sysDescr)}, 0, 3));
    ASSERT_TRUE(agent().waitForLog(3, ReplyWaitMs));
    EXPECT_TRUE(nothingArrives());
    EXPECT_EQ(agent().log().back().action, "not-a-request");
}

TEST_F(AgentTest, GetBulkFillsAtMostOneMessage)
{
    MibTable table = MibTable::builtIn();
    table.addRows(2000);
    startAgent(AgentConfig(), table);
    OidVector start = GeneratedTable;
    send(encodeRequest(SnmpVersion2c, "public", PduGetBulkRequest, 5, {nullBinding(start)}, 0, 1000));
    const auto data = client_.receive();
    ASSERT_TRUE(data.has_value());
    EXPECT_LE(data->size(), static_cast<size_t>(SnmpPacketSize));
    const auto r = decodeReply(*data);
    ASSERT_TRUE(r.has_value());
    EXPECT_GT(r->bindings.size(), 50u);
    EXPECT_LT(r->bindings.size(), 1000u);
}

// ---- set -------------------------------------------------------------------

TEST_F(AgentTest, SetStoresWithTheRequestsTypeThenGetReturnsIt)
{
    const OidVector target = typed(2);
    const std::vector<Variable> values = {
        makeVariable(target, ASN_INTEGER, int32Value(-7)),
        makeVariable(target, ASN_OCTET_STR, bytesValue("new value")),
        makeVariable(target, ASN_OCTET_STR, {0x00, 0xFF, 0x10}),
        makeVariable(target, ASN_OCTET_STR, {}),
        makeVariable(target, ASN_OBJECT_ID, oidValue({1, 3, 6, 1, 4, 1, 7})),
        makeVariable(target, ASN_IPADDRESS, {127, 0, 0, 9}),
        makeVariable(target, ASN_COUNTER, uint32Value(4000000000u)),
        makeVariable(target, ASN_GAUGE, uint32Value(12)),
        makeVariable(target, ASN_TIMETICKS, uint32Value(99)),
        makeVariable(target, ASN_OPAQUE, {1, 2, 3}),
        makeVariable(target, ASN_NSAP, {4, 5}),
        makeVariable(target, ASN_UINTEGER, uint32Value(1)),
        makeVariable(target, ASN_COUNTER64, counter64Value(0xFFFFFFFF00000001ull)),
    };
    int32_t id = 500;
    for (const Variable& v : values) {
        for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
            if (version == SnmpVersion1 && v.type == ASN_COUNTER64)
                continue;
            SCOPED_TRACE(formatLine(v) + " version " + std::to_string(version));
            const Reply set = ask(version, PduSetRequest, {v}, ++id, "private");
            EXPECT_EQ(set.command, PduResponse);
            EXPECT_EQ(set.requestId, id);
            EXPECT_EQ(set.errorStatus, 0);
            EXPECT_EQ(set.bindings, std::vector<Variable>{v});
            Variable stored;
            ASSERT_TRUE(agent().variable(target, &stored));
            EXPECT_EQ(stored, v);
            const Reply get = ask(version, PduGetRequest, {nullBinding(target)}, ++id);
            EXPECT_EQ(get.bindings, std::vector<Variable>{v});
        }
    }
}

TEST_F(AgentTest, SetErrorsByVersionAndNothingStored)
{
    const OidVector missing = {1, 3, 6, 1, 4, 1, 99999, 1, 77, 0};
    const Variable good = makeVariable(typed(1), ASN_INTEGER, int32Value(1234));
    struct Case {
        const char* what;
        Variable bad;
        int32_t v1Status;
        int32_t v2Status;
    };
    const std::vector<Case> cases = {
        {"missing name", makeVariable(missing, ASN_INTEGER, int32Value(1)), ErrNoSuchName, ErrNoCreation},
        {"NULL value", makeVariable(typed(2), ASN_NULL, {}), ErrBadValue, ErrWrongType},
        {"exception value", makeVariable(typed(2), ASN_NOSUCHOBJECT, {}), ErrBadValue, ErrWrongType},
        {"short address", makeVariable(typed(6), ASN_IPADDRESS, {1, 2, 3}), ErrBadValue, ErrWrongLength},
        {"bit string", makeVariable(typed(2), ASN_BIT_STR, {0, 0xF0}), ErrBadValue, ErrWrongType},
    };
    for (const auto& c : cases) {
        for (int32_t version : {SnmpVersion1, SnmpVersion2c}) {
            SCOPED_TRACE(std::string(c.what) + " version " + std::to_string(version));
            const std::vector<Variable> request = {good, c.bad};
            const Reply r = ask(version, PduSetRequest, request, 1, "private");
            EXPECT_EQ(r.errorStatus, version == SnmpVersion1 ? c.v1Status : c.v2Status);
            EXPECT_EQ(r.errorIndex, 2);
            ASSERT_EQ(r.bindings.size(), 2u);
            EXPECT_EQ(r.bindings[0], good);
            // All or nothing: the good binding before the bad one is not stored.
            Variable stored;
            ASSERT_TRUE(agent().variable(typed(1), &stored));
            EXPECT_EQ(stored.value, int32Value(-42));
            EXPECT_FALSE(agent().variable(missing, nullptr));
        }
    }
    // Counter64 does not exist for SNMPv1.
    const Reply r = ask(SnmpVersion1, PduSetRequest, {makeVariable(typed(11), ASN_COUNTER64, counter64Value(1))});
    EXPECT_EQ(r.errorStatus, ErrBadValue);
    EXPECT_EQ(r.errorIndex, 1);
}

TEST_F(AgentTest, ReadOnlyAndCreate)
{
    const Variable v = makeVariable(typed(1), ASN_INTEGER, int32Value(5));
    agent().setReadOnly(true);
    EXPECT_EQ(ask(SnmpVersion1, PduSetRequest, {v}).errorStatus, ErrReadOnly);
    const Reply r = ask(SnmpVersion2c, PduSetRequest, {v});
    EXPECT_EQ(r.errorStatus, ErrNotWritable);
    EXPECT_EQ(r.errorIndex, 1);
    Variable stored;
    ASSERT_TRUE(agent().variable(typed(1), &stored));
    EXPECT_EQ(stored.value, int32Value(-42));

    agent().setReadOnly(false);
    agent().setAllowCreate(true);
    const Variable created = makeVariable({1, 3, 6, 1, 4, 1, 99999, 3, 1}, ASN_OCTET_STR, bytesValue("made"));
    EXPECT_EQ(ask(SnmpVersion1, PduSetRequest, {created}).errorStatus, 0);
    EXPECT_EQ(ask(SnmpVersion1, PduGetRequest, {nullBinding(created.name)}).bindings, std::vector<Variable>{created});
}

TEST_F(AgentTest, TooBigAnswers)
{
    agent().setVariable(makeVariable(typed(2), ASN_OCTET_STR, Bytes(3000, 'x')));
    const std::vector<Variable> request = {nullBinding(typed(2)), nullBinding(typed(2))};
    Reply r = ask(SnmpVersion1, PduGetRequest, request);
    EXPECT_EQ(r.errorStatus, ErrTooBig);
    EXPECT_EQ(r.bindings, request);
    r = ask(SnmpVersion2c, PduGetRequest, request);
    EXPECT_EQ(r.errorStatus, ErrTooBig);
    EXPECT_TRUE(r.bindings.empty());
}

// ---- what is not answered ----------------------------------------------------

TEST_F(AgentTest, UnansweredDatagramsAreLogged)
{
    struct Case {
        const char* what;
        Bytes datagram;
        const char* action;
    };
    const std::vector<Case> cases = {
        {"wrong community", encodeRequest(SnmpVersion1, "secret", PduGetRequest, 1, {nullBinding(sysDescr)}),
         "bad-community"},
        {"version 2", withVersion(encodeRequest(SnmpVersion1, "public", PduGetRequest, 2, {nullBinding(sysDescr)}), 2),
         "bad-version"},
        {"version 3", hexBytes("30 0B 02 01 03 04 06 70 75 62 6C 69 63"), "bad-version"},
        {"garbage", hexBytes("01 02 03"), "undecodable"},
        {"cut PDU", hexBytes("30 0F 02 01 00 04 06 70 75 62 6C 69 63 A0 02 02 01"), "undecodable"},
        {"a response", encodeRequest(SnmpVersion1, "public", PduResponse, 3, {nullBinding(sysDescr)}),
         "not-a-request"},
    };
    size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        send(c.datagram);
        ASSERT_TRUE(agent().waitForLog(++count, ReplyWaitMs));
        EXPECT_TRUE(nothingArrives());
        EXPECT_EQ(agent().log().back().action, c.action);
    }
    EXPECT_EQ(agent().datagramsSent(), 0u);
}

TEST_F(AgentTest, AnyCommunity)
{
    agent().setCommunities({}, true);
    EXPECT_EQ(ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)}, 5, "whatever").community, "whatever");
    agent().setCommunities({"only"});
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 6, {nullBinding(sysName)}));
    ASSERT_TRUE(agent().waitForLog(2, ReplyWaitMs));
    EXPECT_TRUE(nothingArrives());
}

// ---- misbehaviour ------------------------------------------------------------

TEST_F(AgentTest, DropFirstRequests)
{
    Misbehaviour m;
    m.dropFirst = 2;
    agent().setMisbehaviour(m);
    const Bytes request = encodeRequest(SnmpVersion1, "public", PduGetRequest, 42, {nullBinding(sysName)});
    // A wrong community does not count as a request to drop.
    send(encodeRequest(SnmpVersion1, "nobody", PduGetRequest, 41, {nullBinding(sysName)}));
    for (size_t i = 0; i < 2; ++i) {
        send(request);
        ASSERT_TRUE(agent().waitForLog(i + 2, ReplyWaitMs));
        EXPECT_TRUE(nothingArrives());
    }
    send(request);
    const auto data = client_.receive();
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(decodeReply(*data)->requestId, 42);
    ASSERT_TRUE(agent().waitForLog(4, ReplyWaitMs));
    const auto log = agent().log();
    EXPECT_EQ(log[0].action, "bad-community");
    EXPECT_EQ(log[1].action, "dropped");
    EXPECT_EQ(log[2].action, "dropped");
    EXPECT_EQ(log[3].action, "answered");
}

TEST_F(AgentTest, DelayedRepliesDoNotHoldUpOtherRequests)
{
    Misbehaviour m;
    m.delayMs = 300;
    agent().setMisbehaviour(m);
    const auto sentAt = std::chrono::steady_clock::now();
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 1, {nullBinding(sysName)}));
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 2, {nullBinding(sysDescr)}));
    const auto first = client_.receive();
    ASSERT_TRUE(first.has_value());
    const auto elapsed = std::chrono::steady_clock::now() - sentAt;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    // Both requests were taken in before the first reply went out.
    EXPECT_EQ(agent().logSize(), 2u);
    const auto second = client_.receive();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(decodeReply(*first)->requestId, 1);
    EXPECT_EQ(decodeReply(*second)->requestId, 2);
}

TEST_F(AgentTest, WrongIdFirstThenTheRightOne)
{
    for (int32_t offset : {1000, -5}) {
        SCOPED_TRACE(offset);
        Misbehaviour m;
        m.wrongIdFirst = true;
        m.wrongIdOffset = offset;
        agent().setMisbehaviour(m);
        agent().clearLog();
        send(encodeRequest(SnmpVersion2c, "public", PduGetRequest, 300, {nullBinding(sysName)}));
        const auto got = collect(1, 2);
        ASSERT_EQ(got.size(), 2u);
        const auto wrong = decodeReply(got[0]);
        const auto right = decodeReply(got[1]);
        ASSERT_TRUE(wrong && right);
        EXPECT_EQ(wrong->requestId, 300 + offset);
        EXPECT_EQ(right->requestId, 300);
        EXPECT_EQ(wrong->bindings, right->bindings);
        EXPECT_EQ(agent().log().back().datagramsSent, 2);
    }
}

TEST_F(AgentTest, PreviousReplyFirst)
{
    Misbehaviour m;
    m.previousReplyFirst = true;
    agent().setMisbehaviour(m);
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 10, {nullBinding(sysName)}));
    auto got = collect(1, 1);
    ASSERT_EQ(got.size(), 1u);  // nothing earlier to repeat
    const Bytes firstReply = got[0];
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 11, {nullBinding(sysDescr)}));
    got = collect(2, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], firstReply);
    EXPECT_EQ(decodeReply(got[1])->requestId, 11);
}

TEST_F(AgentTest, ReportInsteadOfResponse)
{
    Misbehaviour m;
    m.report = true;
    agent().setMisbehaviour(m);
    const Reply r = ask(SnmpVersion2c, PduGetRequest, {nullBinding(sysName)}, 61);
    EXPECT_EQ(r.command, PduReport);
    EXPECT_EQ(r.requestId, 61);
    ASSERT_EQ(r.bindings.size(), 1u);
    EXPECT_EQ(r.bindings[0].value, bytesValue("test-agent"));
}

TEST_F(AgentTest, GivenErrorStatusAndIndex)
{
    struct Case {
        int32_t status;
        int32_t index;
        int32_t expectedIndex;
    };
    for (const Case& c : std::vector<Case>{{5, -1, 1}, {2, 3, 3}, {0, -1, 0}, {-1, 4, 4}}) {
        SCOPED_TRACE(std::to_string(c.status) + "/" + std::to_string(c.index));
        Misbehaviour m;
        m.errorStatus = c.status;
        m.errorIndex = c.index;
        agent().setMisbehaviour(m);
        const Reply r = ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)});
        EXPECT_EQ(r.errorStatus, c.status < 0 ? 0 : c.status);
        EXPECT_EQ(r.errorIndex, c.expectedIndex);
        EXPECT_EQ(r.bindings.size(), 1u);
    }
}

TEST_F(AgentTest, MangledCopyFirst)
{
    for (Mangle kind : {Mangle::Truncate, Mangle::OuterLength, Mangle::OuterTag, Mangle::Version}) {
        SCOPED_TRACE(mangleName(kind));
        Misbehaviour m;
        m.mangleFirst = kind;
        agent().setMisbehaviour(m);
        agent().clearLog();
        send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 70, {nullBinding(sysName)}));
        const auto got = collect(1, 2);
        ASSERT_EQ(got.size(), 2u);
        const Bytes& bad = got[0];
        const Bytes& good = got[1];
        ASSERT_TRUE(decodeReply(good).has_value());
        EXPECT_FALSE(decodeReply(bad).has_value()) << hexText(bad);
        switch (kind) {
        case Mangle::Truncate:
            EXPECT_EQ(bad, Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() / 2)));
            break;
        case Mangle::OuterLength:
            ASSERT_EQ(bad.size(), good.size());
            EXPECT_EQ((bad[2] << 8 | bad[3]), (good[2] << 8 | good[3]) + 1);
            EXPECT_EQ(Bytes(bad.begin() + 4, bad.end()), Bytes(good.begin() + 4, good.end()));
            break;
        case Mangle::OuterTag:
            EXPECT_EQ(bad[0], 0x31);
            EXPECT_EQ(Bytes(bad.begin() + 1, bad.end()), Bytes(good.begin() + 1, good.end()));
            break;
        default:
            EXPECT_EQ(bad[6], 3);
            EXPECT_EQ(good[6], 0);
            break;
        }
    }
    Mangle parsed = Mangle::None;
    EXPECT_TRUE(parseMangle("length", &parsed));
    EXPECT_EQ(parsed, Mangle::OuterLength);
    EXPECT_FALSE(parseMangle("sideways", &parsed));
}

TEST_F(AgentTest, ExtraBindingsAfterAndBefore)
{
    struct Case {
        int32_t before;
        int32_t after;
        std::vector<OidVector> expected;
    };
    const OidVector sysContact = {1, 3, 6, 1, 2, 1, 1, 4, 0};
    const OidVector sysLocation = {1, 3, 6, 1, 2, 1, 1, 6, 0};
    const OidVector sysServices = {1, 3, 6, 1, 2, 1, 1, 7, 0};
    const std::vector<Case> cases = {
        {0, 2, {sysContact, sysName, sysLocation}},
        {2, 0, {sysName, sysLocation, sysContact}},
        {1, 2, {sysName, sysContact, sysLocation, sysServices}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " before, " + std::to_string(c.after) + " after");
        Misbehaviour m;
        m.extraBefore = c.before;
        m.extraAfter = c.after;
        agent().setMisbehaviour(m);
        const Reply r = ask(SnmpVersion2c, PduGetRequest, {nullBinding(sysContact)});
        EXPECT_EQ(names(r.bindings), c.expected);
    }
    // The extras wrap round past the end of the table.
    Misbehaviour m;
    m.extraAfter = 1;
    agent().setMisbehaviour(m);
    const OidVector last = typed(16);
    const Reply r = ask(SnmpVersion2c, PduGetRequest, {nullBinding(last)});
    EXPECT_EQ(names(r.bindings), (std::vector<OidVector>{last, sysDescr}));
}

TEST_F(AgentTest, DuplicateAnswer)
{
    Misbehaviour m;
    m.duplicate = true;
    agent().setMisbehaviour(m);
    send(encodeRequest(SnmpVersion1, "public", PduGetRequest, 90, {nullBinding(sysName)}));
    const auto got = collect(1, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], got[1]);
    EXPECT_EQ(agent().datagramsSent(), 2u);
}

TEST_F(AgentTest, MisbehaveCountLimitsToTheFirstAnswers)
{
    Misbehaviour m;
    m.report = true;
    m.errorStatus = ErrGenErr;
    m.misbehaveCount = 1;
    agent().setMisbehaviour(m);
    const Reply first = ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)}, 1);
    const Reply second = ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)}, 2);
    EXPECT_EQ(first.command, PduReport);
    EXPECT_EQ(first.errorStatus, ErrGenErr);
    EXPECT_EQ(second.command, PduResponse);
    EXPECT_EQ(second.errorStatus, 0);
    // Setting the misbehaviour again starts the count again.
    agent().setMisbehaviour(m);
    EXPECT_EQ(ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)}, 3).command, PduReport);
}

TEST_F(AgentTest, EverythingComposedInItsOrder)
{
    Misbehaviour m;
    m.dropFirst = 1;
    m.previousReplyFirst = true;
    m.wrongIdFirst = true;
    m.mangleFirst = Mangle::OuterTag;
    m.duplicate = true;
    m.delayMs = 20;
    agent().setMisbehaviour(m);
    const Bytes first = encodeRequest(SnmpVersion2c, "public", PduGetRequest, 1, {nullBinding(sysName)});
    send(first);
    ASSERT_TRUE(agent().waitForLog(1, ReplyWaitMs));
    EXPECT_TRUE(nothingArrives());
    send(first);  // the retransmission: wrong id, mangled, right, right
    auto got = collect(2, 4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(decodeReply(got[0])->requestId, 1001);
    EXPECT_FALSE(decodeReply(got[1]).has_value());
    EXPECT_EQ(decodeReply(got[2])->requestId, 1);
    EXPECT_EQ(got[3], got[2]);
    const Bytes firstReply = got[2];
    send(encodeRequest(SnmpVersion2c, "public", PduGetRequest, 2, {nullBinding(sysDescr)}));
    got = collect(3, 5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0], firstReply);
    EXPECT_EQ(decodeReply(got[1])->requestId, 1002);
    EXPECT_FALSE(decodeReply(got[2]).has_value());
    EXPECT_EQ(decodeReply(got[3])->requestId, 2);
    EXPECT_EQ(got[4], got[3]);
    const auto log = agent().log();
    EXPECT_EQ(log[1].datagramsSent, 4);
    EXPECT_EQ(log[2].datagramsSent, 5);
}

// ---- log ---------------------------------------------------------------------

TEST_F(AgentTest, LogEntriesAndLines)
{
    char path[] = "/tmp/test_agent_log_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    AgentConfig config;
    config.logPath = path;
    startAgent(config);

    const Variable setValue = makeVariable(typed(2), ASN_OCTET_STR, bytesValue("a b"));
    ask(SnmpVersion1, PduGetRequest, {nullBinding(sysDescr), nullBinding(sysName)}, 31);
    ask(SnmpVersion2c, PduSetRequest, {setValue}, 32, "private");
    send(encodeRequest(SnmpVersion1, "bad", PduGetNextRequest, 33, {nullBinding(sysName)}));
    ASSERT_TRUE(agent().waitForLog(3, ReplyWaitMs));

    const auto log = agent().log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].sourcePort, client_.port());
    EXPECT_EQ(log[0].version, 0);
    EXPECT_EQ(log[0].community, "public");
    EXPECT_EQ(log[0].command, PduGetRequest);
    EXPECT_EQ(log[0].requestId, 31);
    EXPECT_EQ(names(log[0].bindings), (std::vector<OidVector>{sysDescr, sysName}));
    EXPECT_EQ(log[1].bindings, std::vector<Variable>{setValue});
    EXPECT_EQ(log[2].action, "bad-community");
    EXPECT_LE(log[0].arrivalMicros, log[1].arrivalMicros);
    EXPECT_GT(log[0].arrivalMicros, 1000000000LL * 1000000);  // after 2001

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ::unlink(path);
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(lines[i], formatLogLine(log[i]));
    const std::string port = " port=" + std::to_string(client_.port()) + " ";
    EXPECT_NE(lines[0].find(port + "version=0 community=public command=get id=31 action=answered sent=1 status=0 "
                                   "index=0 1.3.6.1.2.1.1.1.0 1.3.6.1.2.1.1.5.0"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("version=1 community=private command=set id=32 action=answered sent=1 status=0 index=0 "
                            "1.3.6.1.4.1.99999.1.2.0=string:\"a\\x20b\""),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("community=bad command=getnext id=33 action=bad-community sent=0"), std::string::npos)
        << lines[2];
}

TEST(TestAgentLog, LinesOfUndecodedAndOddDatagrams)
{
    LogEntry e;
    e.arrivalMicros = 1700000000123456LL;
    e.sourcePort = 4000;
    e.action = "undecodable";
    EXPECT_EQ(formatLogLine(e),
              "1700000000.123456 port=4000 version=- community=- command=- id=- action=undecodable sent=0 status=0 "
              "index=0");
    e.version = 1;
    e.community = std::string("a b\x01", 4);
    e.command = 0xA7;
    e.requestId = -3;
    e.action = "not-a-request";
    e.bindings = {makeVariable({1, 3, 6}, ASN_INTEGER, int32Value(9))};
    EXPECT_EQ(formatLogLine(e), "1700000000.123456 port=4000 version=1 community=\"a\\x20b\\x01\" command=0xA7 "
                                "id=-3 action=not-a-request sent=0 status=0 index=0 1.3.6=integer:9");
}

// ---- running without a thread, refusing addresses, the hook -----------------

TEST(TestAgentServe, ServeOneOnTheCallersThread)
{
    TestAgent agent;
    ASSERT_TRUE(agent.open());
    EXPECT_EQ(agent.serveOne(0), 0);  // nothing waiting
    Client client;
    client.send(agent.port(), encodeRequest(SnmpVersion1, "public", PduGetRequest, 8, {nullBinding(sysName)}));
    EXPECT_EQ(agent.serveOne(ReplyWaitMs), 1);
    const auto data = client.receive();
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(decodeReply(*data)->requestId, 8);
    EXPECT_EQ(agent.logSize(), 1u);
}

TEST(TestAgentServe, RunEndsAfterMaxRequestsAndSendsDelayedReplies)
{
    AgentConfig config;
    config.misbehaviour.delayMs = 50;
    TestAgent agent(config);
    ASSERT_TRUE(agent.open());
    Client client;
    for (int32_t id = 1; id <= 2; ++id)
        client.send(agent.port(), encodeRequest(SnmpVersion1, "public", PduGetRequest, id, {nullBinding(sysName)}));
    agent.run(2, 60000);
    EXPECT_EQ(agent.logSize(), 2u);
    EXPECT_EQ(agent.datagramsSent(), 2u);
    EXPECT_TRUE(client.receive(0).has_value());
    EXPECT_TRUE(client.receive(0).has_value());
}

TEST(TestAgentServe, WithoutMemoryLogOnlyCounts)
{
    AgentConfig config;
    config.memoryLog = false;
    TestAgent agent(config);
    ASSERT_TRUE(agent.start());
    Client client;
    for (int32_t id = 1; id <= 3; ++id) {
        client.send(agent.port(), encodeRequest(SnmpVersion1, "public", PduGetRequest, id, {nullBinding(sysName)}));
        ASSERT_TRUE(client.receive().has_value());
    }
    EXPECT_TRUE(agent.waitForLog(3, ReplyWaitMs));
    EXPECT_EQ(agent.logSize(), 3u);
    EXPECT_TRUE(agent.log().empty());
    agent.clearLog();
    EXPECT_EQ(agent.logSize(), 0u);
}

TEST(TestAgentServe, StopEndsARunningThread)
{
    TestAgent agent;
    ASSERT_TRUE(agent.start());
    EXPECT_TRUE(agent.start());  // already running
    agent.stop();
    // It serves again after a new start.
    ASSERT_TRUE(agent.start());
    Client client;
    client.send(agent.port(), encodeRequest(SnmpVersion1, "public", PduGetRequest, 3, {nullBinding(sysName)}));
    EXPECT_TRUE(client.receive().has_value());
    agent.stop();
}

TEST(TestAgentServe, OnlyLoopbackAddresses)
{
    for (const char* address : {"10.0.0.1", "0.0.0.0", "not an address"}) {
        AgentConfig config;
        config.address = address;
        TestAgent agent(config);
        std::string error;
        EXPECT_FALSE(agent.open(&error)) << address;
        EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos) << error;
        EXPECT_EQ(agent.port(), 0);
    }
    AgentConfig config;
    config.address = "127.0.0.2";
    TestAgent agent(config);
    EXPECT_TRUE(agent.open());
}

TEST_F(AgentTest, RequestHookDecides)
{
    std::vector<std::string> seen;
    agent().setHook([&seen](ReceivedRequest& request) {
        seen.push_back(request.community + "/" + std::to_string(request.version) + "/" +
                       std::to_string(request.pdu->requestId));
        HookOutcome outcome;
        if (request.community == "drop-me")
            outcome.action = HookAction::Drop;
        else if (request.community == "report-me") {
            outcome.action = HookAction::Report;
            outcome.reportBindings = {makeVariable({1, 3, 6, 1, 6, 3, 15, 1, 1, 4, 0}, ASN_COUNTER, uint32Value(7))};
        } else if (request.community == "let-me-in") {
            outcome.action = HookAction::Answer;
            request.replyCommunity = "answered";
        }
        return outcome;
    });
    const Reply report = ask(SnmpVersion2c, PduGetRequest, {nullBinding(sysName)}, 1, "report-me");
    EXPECT_EQ(report.command, PduReport);
    EXPECT_EQ(report.requestId, 1);
    ASSERT_EQ(report.bindings.size(), 1u);
    EXPECT_EQ(report.bindings[0].value, uint32Value(7));

    const Reply answered = ask(SnmpVersion1, PduGetRequest, {nullBinding(sysName)}, 2, "let-me-in");
    EXPECT_EQ(answered.community, "answered");
    EXPECT_EQ(answered.bindings[0].value, bytesValue("test-agent"));

    send(encodeRequest(SnmpVersion1, "drop-me", PduGetRequest, 3, {nullBinding(sysName)}));
    ASSERT_TRUE(agent().waitForLog(3, ReplyWaitMs));
    EXPECT_TRUE(nothingArrives());
    // Default: the community check still applies.
    send(encodeRequest(SnmpVersion1, "stranger", PduGetRequest, 4, {nullBinding(sysName)}));
    ASSERT_TRUE(agent().waitForLog(4, ReplyWaitMs));
    EXPECT_TRUE(nothingArrives());
    const auto log = agent().log();
    EXPECT_EQ(log[0].action, "hook-report");
    EXPECT_EQ(log[1].action, "answered");
    EXPECT_EQ(log[2].action, "hook-drop");
    EXPECT_EQ(log[3].action, "bad-community");
    EXPECT_EQ(seen, (std::vector<std::string>{"report-me/1/1", "let-me-in/0/2", "drop-me/0/3", "stranger/0/4"}));
}

// ---- table format -------------------------------------------------------------

TEST(TestAgentTable, ParsesEveryTypeOfLine)
{
    struct Case {
        const char* line;
        Variable expected;
    };
    const OidVector n = {1, 3, 6, 1, 4, 1, 5, 0};
    const std::vector<Case> cases = {
        {"1.3.6.1.4.1.5.0 integer -2147483648", makeVariable(n, ASN_INTEGER, int32Value(INT32_MIN))},
        {".1.3.6.1.4.1.5.0 INTEGER 0x10", makeVariable(n, ASN_INTEGER, int32Value(16))},
        {"1.3.6.1.4.1.5.0 string  two  words ", makeVariable(n, ASN_OCTET_STR, bytesValue("two  words"))},
        {"1.3.6.1.4.1.5.0 string \" pad\\x00\\\"\\\\\\n\"", makeVariable(n, ASN_OCTET_STR, bytesValue(std::string(" pad\0\"\\\n", 8)))},
        {"1.3.6.1.4.1.5.0 string", makeVariable(n, ASN_OCTET_STR, {})},
        {"1.3.6.1.4.1.5.0 string \"\"", makeVariable(n, ASN_OCTET_STR, {})},
        {"1.3.6.1.4.1.5.0 hex 00:ff 10", makeVariable(n, ASN_OCTET_STR, {0x00, 0xFF, 0x10})},
        {"1.3.6.1.4.1.5.0 null", makeVariable(n, ASN_NULL, {})},
        {"1.3.6.1.4.1.5.0 oid .1.3.6.1", makeVariable(n, ASN_OBJECT_ID, oidValue({1, 3, 6, 1}))},
        {"1.3.6.1.4.1.5.0 ipaddress 10.20.30.255", makeVariable(n, ASN_IPADDRESS, {10, 20, 30, 255})},
        {"1.3.6.1.4.1.5.0 counter 4294967295", makeVariable(n, ASN_COUNTER, uint32Value(UINT32_MAX))},
        {"1.3.6.1.4.1.5.0 gauge32 7", makeVariable(n, ASN_GAUGE, uint32Value(7))},
        {"1.3.6.1.4.1.5.0 timeticks 100", makeVariable(n, ASN_TIMETICKS, uint32Value(100))},
        {"1.3.6.1.4.1.5.0 opaque 0x9f7804", makeVariable(n, ASN_OPAQUE, {0x9F, 0x78, 0x04})},
        {"1.3.6.1.4.1.5.0 counter64 1,5", makeVariable(n, ASN_COUNTER64, counter64Value(0x100000005ull))},
        {"1.3.6.1.4.1.5.0 counter64 18446744073709551615", makeVariable(n, ASN_COUNTER64, counter64Value(UINT64_MAX))},
        {"1.3.6.1.4.1.5.0 unsigned 3000000000", makeVariable(n, ASN_UINTEGER, uint32Value(3000000000u))},
        {"1.3.6.1.4.1.5.0 nsap 47", makeVariable(n, ASN_NSAP, {0x47})},
        {"1.3.6.1.4.1.5.0 bitstring 04 f0", makeVariable(n, ASN_BIT_STR, {0x04, 0xF0})},
        {"1.3.6.1.4.1.5.0 0x41 12", makeVariable(n, ASN_COUNTER, uint32Value(12))},
        {"1.3.6.1.4.1.5.0 2 -1", makeVariable(n, ASN_INTEGER, int32Value(-1))},
        {"1.3.6.1.4.1.5.0 129", makeVariable(n, ASN_NOSUCHINSTANCE, {})},
        {"  1.3.6.1.4.1.5.0\tinteger\t3", makeVariable(n, ASN_INTEGER, int32Value(3))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Variable v;
        std::string error;
        ASSERT_TRUE(parseLine(c.line, &v, &error)) << error;
        EXPECT_EQ(v, c.expected);
        // The written form reads back to the same variable.
        Variable again;
        ASSERT_TRUE(parseLine(formatLine(v), &again, &error)) << formatLine(v) << ": " << error;
        EXPECT_EQ(again, v);
    }
}

TEST(TestAgentTable, RefusesBadLines)
{
    const std::vector<const char*> bad = {
        "1.3.6 integer",                   // no value
        "1.3.6 integer 2147483648",        // too big
        "1.3.6 integer 12abc",
        "1.3.6 counter -1",
        "1.3.6 counter 4294967296",
        "1.3.6 counter64 1,4294967296",
        "1.3.6 counter64 18446744073709551616",
        "1.3.6 string \"open",
        "1.3.6 string \"bad \\q escape\"",
        "1.3.6 string \"x\" trailing",
        "1.3.6 hex 0g",
        "1.3.6 hex 123",
        "1.3.6 null something",
        "1.3.6 oid 1..3",
        "1.3.6 ipaddress 1.2.3",
        "1.3.6 ipaddress 1.2.3.256",
        "1.3.6 float 1.5",
        "1.3.6 99 1",                      // a tag without a rule
        "1.3.x integer 1",
        "1.3.6.4294967296 integer 1",
        "1.3.6 bitstring 09 00",           // more than 7 unused bits
        "1.3.6",
        "3.0 integer 1",                   // BER cannot carry these names or values
        "1.40 integer 1",
        "1 integer 1",
        "1.3.6 oid 5.1",
        "1.3.6 oid 0",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        Variable v;
        std::string error;
        EXPECT_FALSE(parseLine(line, &v, &error));
        EXPECT_FALSE(error.empty());
    }
    // A name the engine cannot send (one sub-identifier over the limit).
    std::string longName = "1.3";
    for (int i = 0; i < SnmpOidCapacity - 1; ++i)
        longName += ".1";
    Variable v;
    std::string error;
    EXPECT_FALSE(parseLine(longName + " integer 1", &v, &error));
    EXPECT_FALSE(error.empty());
    // Comments and blank lines are no variables and no errors.
    for (const char* line : {"", "   ", "# comment", "  # indented comment"}) {
        EXPECT_FALSE(parseLine(line, &v, &error));
        EXPECT_TRUE(error.empty());
    }
}

TEST(TestAgentTable, TextRoundTripAndLoadErrors)
{
    MibTable table = MibTable::builtIn();
    table.addRows(3);
    MibTable again;
    std::string error;
    ASSERT_TRUE(again.loadText("# a comment\n\n" + table.toText(), &error)) << error;
    ASSERT_EQ(again.size(), table.size());
    EXPECT_TRUE(std::equal(table.begin(), table.end(), again.begin(), [](const auto& a, const auto& b) {
        return a.second == b.second;
    }));

    MibTable dup;
    EXPECT_FALSE(dup.loadText("1.3.6.1 integer 1\n# x\n.1.3.6.1 string y\n", &error));
    EXPECT_EQ(error, "3: 1.3.6.1 is already in the table");
    EXPECT_FALSE(dup.loadText("1.3.6.2 integer x\n", &error));
    EXPECT_EQ(error.rfind("1: ", 0), 0u) << error;

    char path[] = "/tmp/test_agent_table_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "1.3.6.1.4.1.5.1 string from a file\n1.3.6.1.4.1.5.2 bogus 1\n";
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    MibTable fromFile;
    EXPECT_FALSE(fromFile.loadFile(path, &error));
    EXPECT_EQ(error, std::string(path) + ":2: unknown type 'bogus'");
    EXPECT_EQ(fromFile.size(), 1u);
    ::unlink(path);
    EXPECT_FALSE(fromFile.loadFile(path, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(TestAgentTable, GeneratedRowsAndOrder)
{
    MibTable table;
    table.addRows(12);
    ASSERT_EQ(table.size(), 36u);
    // Column by column, rows in numeric (not text) order: .1.1, .1.2, ..., .1.12, .2.1, ...
    std::vector<OidVector> expected;
    for (uint32_t column = 1; column <= 3; ++column)
        for (uint32_t row = 1; row <= 12; ++row) {
            OidVector name = GeneratedTable;
            name.insert(name.end(), {1, column, row});
            expected.push_back(name);
        }
    std::vector<OidVector> actual;
    for (const auto& entry : table)
        actual.push_back(entry.first);
    EXPECT_EQ(actual, expected);
    const OidVector row10 = {1, 3, 6, 1, 4, 1, 99999, 2, 1, 2, 10};
    ASSERT_NE(table.find(row10), nullptr);
    EXPECT_EQ(table.find(row10)->value, bytesValue("row 10"));
    EXPECT_EQ(table.next({1, 3, 6, 1, 4, 1, 99999, 2, 1, 1, 12})->name, (OidVector{1, 3, 6, 1, 4, 1, 99999, 2, 1, 2, 1}));
    EXPECT_EQ(table.next(expected.back()), nullptr);
    EXPECT_TRUE(table.hasUnder(GeneratedTable));
    EXPECT_FALSE(table.hasUnder(BuiltInTypes));
    // Instances of the columns .1.1, .1.2, .1.3.
    EXPECT_TRUE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3, 99}));
    EXPECT_TRUE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3}));
    EXPECT_TRUE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3, 1, 5}));
    EXPECT_FALSE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1, 4, 1}));
    EXPECT_FALSE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1}));
    // Removing the last instance of a column forgets the column.
    for (uint32_t row = 1; row <= 12; ++row)
        EXPECT_TRUE(table.erase({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3, row}));
    EXPECT_FALSE(table.underKnownObject({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3, 99}));
    EXPECT_FALSE(table.erase({1, 3, 6, 1, 4, 1, 99999, 2, 1, 3, 1}));
    EXPECT_EQ(table.size(), 24u);
}

TEST(TestAgentTable, RepresentableOids)
{
    EXPECT_TRUE(representable({0, 39}));
    EXPECT_TRUE(representable({1, 3, 6}));
    EXPECT_TRUE(representable({2, 4294967215u}));
    EXPECT_FALSE(representable({2, 4294967216u}));
    EXPECT_FALSE(representable({1, 40}));
    EXPECT_FALSE(representable({3, 1}));
    EXPECT_FALSE(representable({1}));
    EXPECT_FALSE(representable({}));
}

TEST(TestAgentTable, OidText)
{
    OidVector oid;
    EXPECT_TRUE(parseOid("1.3.6.1", &oid));
    EXPECT_EQ(oid, (OidVector{1, 3, 6, 1}));
    EXPECT_TRUE(parseOid(".0", &oid));
    EXPECT_EQ(oid, OidVector{0});
    EXPECT_TRUE(parseOid("4294967295", &oid));
    EXPECT_EQ(oid, OidVector{UINT32_MAX});
    for (const char* bad : {"", ".", "1.", "1..2", "1.-2", "1.2a", "4294967296", " 1"})
        EXPECT_FALSE(parseOid(bad, &oid)) << bad;
    EXPECT_EQ(formatOid(OidVector{1, 3, 4294967295u}), "1.3.4294967295");
}

}  // namespace

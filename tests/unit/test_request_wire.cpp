// What the request functions put on the wire, seen by a loopback peer that
// echoes every request back as its response.
#include <gtest/gtest.h>

#include <thread>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"

namespace {

// Answers one request by echoing it as a Response; keeps the decoded request.
class EchoPeer {
public:
    EchoPeer()
    {
        thread_ = std::thread([this]() {
            std::vector<uint8_t> data = peer_.receive(3000);
            if (data.empty())
                return;
            request_ = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
            decodeMessage(nullptr, request_, data.data(), static_cast<int32_t>(data.size()));
            community_ = communityOf(data, &version_);
            SnmpSession session{};
            session.version = version_;
            session.community = reinterpret_cast<const uint8_t*>(community_.c_str());
            session.communityLength = static_cast<int32_t>(community_.size());
            const int32_t command = request_->command;
            request_->command = PduResponse;
            const std::vector<uint8_t> out = encodedMessage(session, request_);
            request_->command = command;
            if (!out.empty())
                peer_.reply(out);
        });
    }
    ~EchoPeer()
    {
        if (thread_.joinable())
            thread_.join();
        freePdu(request_);
    }
    EchoPeer(const EchoPeer&) = delete;
    EchoPeer& operator=(const EchoPeer&) = delete;

    double port() const { return peer_.port(); }
    // The request as received; valid once the call returned.
    const SnmpPdu* request()
    {
        if (thread_.joinable())
            thread_.join();
        return request_;
    }
    const std::string& community() { request(); return community_; }
    int32_t version() { request(); return version_; }

private:
    LoopbackPeer peer_;
    std::thread thread_;
    SnmpPdu* request_ = nullptr;
    std::string community_;
    int32_t version_ = -1;
};

class WireTest : public EngineTest {
protected:
    ScopedFakeHost host;
    void SetUp() override
    {
        EngineTest::SetUp();
        scriptState() = ScriptState();
    }

    HostValue call(ScriptId id, std::vector<HostValue> args)
    {
        std::vector<HostValue> list = argList(std::move(args));
        return ScriptDispatcher(list.data(), id);
    }

    HostValue setEx(EchoPeer& peer, const char* oid, double type, std::vector<HostValue> value)
    {
        std::vector<HostValue> args = {stringArg("127.0.0.1"), numberArg(peer.port()), numberArg(0),
                                       stringArg("private"), stringArg(oid), numberArg(type)};
        args.insert(args.end(), value.begin(), value.end());
        return call(ScriptIdSetEx, args);
    }
};

std::vector<uint32_t> wordsOf(const VarBind* var)
{
    std::vector<uint32_t> out(static_cast<size_t>(var->valueLength / 4));
    if (!out.empty())
        std::memcpy(out.data(), var->value, out.size() * 4);
    return out;
}

TEST_F(WireTest, IntegersAreTruncatedTowardZero)
{
    const std::pair<double, int32_t> cases[] = {{2.9, 2}, {-2.9, -2}, {4294967295.0, -1}, {4294967296.0, 0}};
    for (const auto& c : cases) {
        EchoPeer peer;
        const HostValue result = setEx(peer, "1.3.6.1.4.1.9.1.0", 2, {numberArg(c.first)});
        ASSERT_NE(peer.request(), nullptr);
        const VarBind* var = peer.request()->variables;
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->type, 2);
        EXPECT_EQ(static_cast<int32_t>(wordsOf(var)[0]), c.second) << c.first;
        // The echoed value is the result.
        EXPECT_EQ(double(result.number), c.second);
    }
}

TEST_F(WireTest, Counter64FormTakesFourNumbers)
{
    EchoPeer peer;
    const HostValue result = setEx(peer, "1.3.6.1.4.1.9.2.0", 70, {numberArg(1), numberArg(2), numberArg(5000), numberArg(1)});
    const VarBind* var = peer.request()->variables;
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(var->type, 70);
    EXPECT_EQ(wordsOf(var), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(textOf(result), "1,2");
}

TEST_F(WireTest, Counter64WithTwoNumbersIsNotSent)
{
    // 1 is the value (four octets) and 2 the timeout: the encoder refuses a short Counter64.
    LoopbackPeer silent;
    testing::internal::CaptureStderr();
    const HostValue result = call(ScriptIdSetEx, {stringArg("127.0.0.1"), numberArg(silent.port()), numberArg(0),
                                                  stringArg("private"), stringArg("1.3.6.1"), numberArg(70),
                                                  numberArg(1), numberArg(2)});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error building packet\n");
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber));
    EXPECT_EQ(double(result.number), 0.0);
    EXPECT_EQ(silent.receive(100).size(), 0u);
    ASSERT_EQ(host.delivered.size(), 1u);
    EXPECT_EQ(host.delivered[0].text, "Couldn't get variable (1.3.6.1)");
}

TEST_F(WireTest, TextValuesByType)
{
    struct Case {
        double type;
        std::string text;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {4, "hello", {'h', 'e', 'l', 'l', 'o'}},
        {4, "", {}},
        {64, "10.0.0.1", {10, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        EchoPeer peer;
        setEx(peer, "1.3.6.1.4.1.9.3.0", c.type, {stringArg(c.text)});
        const VarBind* var = peer.request()->variables;
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(var->type, static_cast<uint8_t>(c.type));
        EXPECT_EQ(std::vector<uint8_t>(var->value, var->value + var->valueLength), c.bytes) << c.text;
    }
    EchoPeer peer;
    const HostValue result = setEx(peer, "1.3.6.1.4.1.9.4.0", 6, {stringArg("system.3")});
    EXPECT_EQ(wordsOf(peer.request()->variables), (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 3}));
    EXPECT_EQ(textOf(result), "1.3.6.1.2.1.1.3");
}

std::string dottedOid(size_t count)
{
    std::string text = "1.3";
    for (size_t i = 2; i < count; ++i)
        text += "." + std::to_string(i);
    return text;
}

TEST_F(WireTest, ValuesAndNamesThatCannotGoOutAsGivenAreRefused)
{
    const std::string overlong = dottedOid(SnmpOidCapacity + 1);
    struct Case {
        std::string name;
        double type;
        HostValue value;
        bool reported;  // 1129 naming the text; otherwise no message at all
        std::string text;
    };
    const Case cases[] = {
        {"1.3.6.1.4.1.9.6.0", 64, stringArg("hello"), true, "hello"},
        {"1.3.6.1.4.1.9.6.0", 64, stringArg(""), true, ""},
        {"1.3.6.1.4.1.9.6.0", 64, stringArg("256.1.1.1"), true, "256.1.1.1"},
        {"1.3.6.1.4.1.9.6.0", 6, stringArg("1..3"), true, "1..3"},
        {"1.3.6.1.4.1.9.6.0", 6, stringArg("system.x"), true, "system.x"},
        {"1.3.6.1.4.1.9.6.0", 6, stringArg(overlong), true, overlong},
        {overlong, 4, stringArg("x"), true, overlong},  // a name is never cut either
        {"1.3.6.1.4.1.9.6.0", 4, HostValue(), false, ""},  // no value given
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        host.delivered.clear();
        LoopbackPeer silent;
        const HostValue result = call(ScriptIdSetEx, {stringArg("127.0.0.1"), numberArg(silent.port()), numberArg(0),
                                                      stringArg("private"), stringArg(c.name), numberArg(c.type),
                                                      c.value});
        EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeEmpty));
        EXPECT_EQ(silent.receive(100).size(), 0u);
        ASSERT_EQ(host.delivered.size(), c.reported ? 1u : 0u);
        if (c.reported) {
            EXPECT_EQ(host.delivered[0].message, 1129u);
            EXPECT_EQ(host.delivered[0].text, c.text);
        }
    }
}

int32_t lookupFive(const uint32_t* extra) { return *extra == 5 ? 0 : -1; }
BinData* binaryVariable = nullptr;
BinData* accessFirst(intptr_t index) { return index == 0 ? binaryVariable : nullptr; }

TEST_F(WireTest, BinaryVariables)
{
    host.lookupAnswer = reinterpret_cast<LRESULT>(&lookupFive);
    host.accessAnswer = reinterpret_cast<LRESULT>(&accessFirst);
    VTR_InitModule(&host.context);
    binaryVariable = MakeBinData("\x00\x01\xFF", 3, 16);

    HostValue known = stringArg("BIN");
    known.extra = 5;
    {
        EchoPeer peer;
        const HostValue result = setEx(peer, "1.3.6.1.4.1.9.5.0", 4, {known});
        const VarBind* var = peer.request()->variables;
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(var->value, var->value + var->valueLength),
                  (std::vector<uint8_t>{0x00, 0x01, 0xFF}));
        EXPECT_EQ(textOf(result), "00.01.FF");
    }
    HostValue unknown = stringArg("BIN");
    unknown.extra = 6;
    {
        // An unknown variable sends the set without a binding; the answer then lacks the name.
        EchoPeer peer;
        const HostValue result = setEx(peer, "1.3.6.1.4.1.9.5.0", 4, {unknown});
        EXPECT_EQ(peer.request()->variables, nullptr);
        EXPECT_EQ(double(result.number), 0.0);
    }
    {
        // "bin" in other letters is plain text.
        EchoPeer peer;
        setEx(peer, "1.3.6.1.4.1.9.5.0", 4, {stringArg("bin")});
        EXPECT_EQ(peer.request()->variables->valueLength, 3);
    }
    FreeBinData(binaryVariable);
    binaryVariable = nullptr;
}

TEST_F(WireTest, GetNextContinuesWithTheLastTarget)
{
    {
        EchoPeer peer;
        call(ScriptIdGetEx, {stringArg("127.0.0.1"), numberArg(peer.port()), numberArg(0), stringArg("+tenant"),
                             stringArg("system.5.0")});
        EXPECT_EQ(peer.request()->command, PduGetRequest);
        EXPECT_EQ(peer.community(), "tenant");
        EXPECT_EQ(peer.version(), 1);
    }
    // The same port and community; no defaults applied.
    EchoPeer next;
    scriptState().lastRemotePort = static_cast<uint16_t>(next.port());
    const HostValue result = call(ScriptIdGetNext, {});
    ASSERT_NE(next.request(), nullptr);
    // SNMPv2c reads ahead: a GetBulk with no non-repeaters and 10 repetitions.
    EXPECT_EQ(next.request()->command, PduGetBulkRequest);
    EXPECT_EQ(next.request()->errorStatus, 0);
    EXPECT_EQ(next.request()->errorIndex, 10);
    EXPECT_EQ(next.community(), "tenant");
    const VarBind* var = next.request()->variables;
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(var->name, var->name + var->nameLength),
              (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 5, 0}));
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber));  // the echoed NULL
}

TEST_F(WireTest, GetNextWithAnArgumentDoesNothing)
{
    LoopbackPeer silent;
    scriptState().lastRemotePort = silent.port();
    const HostValue result = call(ScriptIdGetNext, {numberArg(1)});
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeEmpty));
    EXPECT_EQ(silent.receive(100).size(), 0u);
}

}  // namespace

namespace {

// A notification: sysUpTime.0, snmpTrapOID.0 with the trap OID, then the
// listed bindings, over SNMPv2c whatever the community's "+"; an inform is
// acknowledged (the echo), a trap merely sent. User-based communities and bad
// trap OIDs are refused before anything goes out (an SNMPv3 inform's discovery
// goes unanswered), and an inform nobody acknowledges is retransmitted, then fails.
TEST_F(WireTest, NotificationsCarryUpTimeTrapOidAndTheList)
{
    call(ScriptIdClearVars, {});
    call(ScriptIdAddVar, {stringArg("system.5.0"), numberArg(ASN_OCTET_STR), stringArg("host-a")});
    call(ScriptIdAddVar, {stringArg("ifEntry.8.3"), numberArg(ASN_INTEGER), numberArg(2)});
    const std::vector<uint32_t> linkDown = {1, 3, 6, 1, 6, 3, 1, 1, 5, 3};
    for (const auto& [id, command] : {std::pair{ScriptIdNotifyEx, PduV2Trap}, std::pair{ScriptIdInformEx, PduInform}}) {
        for (const char* community : {"public", "+public"}) {
            EchoPeer peer;
            const HostValue result = call(id, {stringArg("127.0.0.1"), numberArg(peer.port()), numberArg(0),
                                               stringArg(community), stringArg("1.3.6.1.6.3.1.1.5.3")});
            ASSERT_NE(peer.request(), nullptr) << community;
            EXPECT_EQ(double(result.number), 1.0) << community;
            EXPECT_EQ(peer.request()->command, command);
            EXPECT_EQ(peer.version(), SnmpVersion2c);
            EXPECT_EQ(peer.community(), "public");
            std::vector<std::vector<uint32_t>> names;
            std::vector<uint8_t> types;
            for (const VarBind* var = peer.request()->variables; var != nullptr; var = var->next) {
                names.emplace_back(var->name, var->name + var->nameLength);
                types.push_back(var->type);
            }
            EXPECT_EQ(names, (std::vector<std::vector<uint32_t>>{{1, 3, 6, 1, 2, 1, 1, 3, 0},
                                                                 {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0},
                                                                 {1, 3, 6, 1, 2, 1, 1, 5, 0},
                                                                 {1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 3}}));
            EXPECT_EQ(types, (std::vector<uint8_t>{ASN_TIMETICKS, ASN_OBJECT_ID, ASN_OCTET_STR, ASN_INTEGER}));
            EXPECT_EQ(wordsOf(peer.request()->variables->next), linkDown);
        }
    }
    for (const char* refused : {"#alice/SHA:alicepass123", "/bob/maplesyrup-bob"}) {
        LoopbackPeer sink;
        const HostValue result = call(ScriptIdInformEx, {stringArg("127.0.0.1"), numberArg(sink.port()),
                                                         numberArg(0), stringArg(refused), stringArg("1.3.6.1.6")});
        EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeEmpty)) << refused;
        const bool v3 = refused[0] == '#';
        EXPECT_EQ(sink.drain(), v3 ? 3 : 0) << refused;
        ASSERT_FALSE(host.delivered.empty());
        EXPECT_EQ(host.delivered.back().message, v3 ? 1128 : 1129);
        EXPECT_EQ(host.delivered.back().text.find("pass"), std::string::npos) << refused;
    }
    LoopbackPeer silent;
    const HostValue result = call(ScriptIdInformEx, {stringArg("127.0.0.1"), numberArg(silent.port()), numberArg(0),
                                                     stringArg("public"), stringArg("1.3.6.1.6.3.1.1.5.3"),
                                                     numberArg(20), numberArg(2)});
    EXPECT_EQ(double(result.number), 0.0);
    EXPECT_EQ(host.delivered.back().message, 1127);
    EXPECT_EQ(silent.drain(), 2);  // both transmissions
}

}  // namespace

// The test agent's user-based security mode, in-process: its parsers, what
// it answers to requests built in the manager's role, and the engine's own
// sessions against it (discovery, authenticated gets, forged replies).
// Replies are judged with the engine's receive check (usecAuthenticate), the
// very check the module applies.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usec/usec_check.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/hex.h"
#include "tests/support/host_values.h"
#include "tests/support/manager_socket.h"
#include "tools/agent/usec.h"

using namespace testagent;

namespace {

using Bytes = std::vector<uint8_t>;

// Generous limits: they only bound a failing test, they are not timings.
constexpr int ReplyWaitMs = ManagerSocket::ReplyWaitMs;

const OidVector sysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const OidVector sysContact = {1, 3, 6, 1, 2, 1, 1, 4, 0};
const EngineId RfcEngineId = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
// The published localisation of "maplesyrup" to RfcEngineId.
const char RfcKeyHex[] = "526f5eed9fcce26f8964c2930787d82b";
const char HexKeyText[] = "00112233445566778899aabbccddeeff";
const uint32_t Boots = 7;
const int64_t TimeOffset = 100000;

UsecKey keyOf(const std::string& hex)
{
    UsecKey key{};
    const Bytes bytes = hexBytes(hex);
    std::memcpy(key.data(), bytes.data(), std::min(bytes.size(), key.size()));
    return key;
}

std::string text(const Variable& v) { return std::string(v.value.begin(), v.value.end()); }

using Client = ManagerSocket;

// The manager's session record once it knows the agent, as the engine keeps
// it after discovery and the parse.
SnmpSession managerRecord(const UsecAgent& usec, const std::string& user, const UsecKey* key,
                          const std::string& context = "")
{
    SnmpSession s{};
    s.version = SnmpVersionUsec;
    s.securityFlags = static_cast<uint8_t>(SecurityReportable | (key != nullptr ? SecurityAuth : 0));
    const EngineId id = usec.engineId();
    std::memcpy(s.agentId, id.data(), id.size());
    s.agentBoots = usec.boots();
    s.agentTime = static_cast<int32_t>(usec.agentTime());
    s.timeOffset = s.agentTime - static_cast<int32_t>(runtimeTime(nullptr));
    s.userNameLength = static_cast<int32_t>(user.size());
    std::memcpy(s.userName, user.data(), user.size());
    s.maxMessageSize = 1450;
    s.contextLength = static_cast<int32_t>(context.size());
    std::memcpy(s.context, context.data(), context.size());
    if (key != nullptr)
        std::memcpy(s.authKey, key->data(), key->size());
    return s;
}

// What the engine's discovery sends: an empty get, reportable only, user
// "kolbur", identifier, boots and time all zero.
SnmpSession discoveryRecord()
{
    SnmpSession s{};
    s.version = SnmpVersionUsec;
    s.securityFlags = SecurityReportable;
    s.userNameLength = 6;
    std::memcpy(s.userName, "kolbur", 6);
    s.maxMessageSize = 1389;
    return s;
}

Bytes encodeRequest(SnmpSession record, int32_t command, int32_t requestId, const std::vector<Variable>& vars)
{
    PduPtr pdu = buildPdu(command, requestId, 0, 0, vars);
    Bytes out(SnmpPacketSize);
    int32_t length = SnmpPacketSize;
    const int32_t status = encodeMessage(&record, pdu.get(), out.data(), &length, 0);
    EXPECT_EQ(status, 0);
    out.resize(status == 0 ? static_cast<size_t>(length) : 0);
    return out;
}

Bytes usecGet(const SnmpSession& record, int32_t requestId, const OidVector& name = sysName)
{
    return encodeRequest(record, PduGetRequest, requestId, {makeVariable(name, ASN_NULL, {})});
}

// A reply as the manager's receive check sees it.
struct Judged {
    int32_t verdict = -1;  // usecAuthenticate's result (negative: did not decode)
    int32_t command = 0;
    int32_t requestId = 0;
    UsecParameters security{};
    std::vector<Variable> bindings;
    SnmpSession record{};  // the manager's record after the check (clock updates)
};

Judged judgeReply(SnmpSession record, Bytes data, bool userBased = true)
{
    Judged j;
    record.authHook = userBased ? usecAuthenticate : nullptr;
    SnmpPdu* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
    j.verdict = decodeMessage(&record, pdu, data.data(), static_cast<int32_t>(data.size()));
    j.command = pdu->command;
    j.requestId = pdu->requestId;
    j.security = pdu->security;
    for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        Variable v;
        v.name.assign(var->name, var->name + var->nameLength);
        v.type = var->type;
        if (var->value != nullptr)
            v.value.assign(var->value, var->value + var->valueLength);
        j.bindings.push_back(v);
    }
    freePdu(pdu);
    j.record = record;
    return j;
}

std::string userOf(const UsecParameters& p)
{
    return std::string(reinterpret_cast<const char*>(p.userName), static_cast<size_t>(p.userNameLength));
}

UsecConfig standardConfig(const EngineId& engineId = DefaultEngineId)
{
    UsecConfig config;
    config.engineId = engineId;
    config.boots = Boots;
    config.timeOffset = TimeOffset;
    config.contexts = {"ctx"};
    for (const char* userText : {"auth:maplesyrup", "plain", "hexkey:0x00112233445566778899aabbccddeeff"}) {
        UsecUser user;
        std::string error;
        EXPECT_TRUE(parseUsecUser(userText, config.engineId, &user, &error)) << error;
        config.users.push_back(user);
    }
    return config;
}

// ---- parsers ------------------------------------------------------------------

TEST(UsecAgentParse, Users)
{
    UsecKey phraseKey{};
    passwordToKey(reinterpret_cast<const uint8_t*>("maplesyrup"), 10, DefaultEngineId.data(), phraseKey.data());
    UsecKey shortPhraseKey{};
    passwordToKey(reinterpret_cast<const uint8_t*>("0x"), 2, DefaultEngineId.data(), shortPhraseKey.data());
    UsecKey colonKey{};
    passwordToKey(reinterpret_cast<const uint8_t*>("a:b"), 3, DefaultEngineId.data(), colonKey.data());
    const struct {
        const char* text;
        bool ok;
        const char* name;
        bool authenticates;
        UsecKey key;
    } cases[] = {
        {"joe", true, "joe", false, UsecKey{}},
        {"joe:maplesyrup", true, "joe", true, phraseKey},
        {"joe:0x00112233445566778899aabbccddeeff", true, "joe", true, keyOf(HexKeyText)},
        {"joe:0x00112233445566778899AABBCCDDEEFF", true, "joe", true, keyOf(HexKeyText)},
        {"joe:0x", true, "joe", true, shortPhraseKey},  // "0x" alone is a pass phrase, as for the manager
        {"joe:a:b", true, "joe", true, colonKey},      // the phrase is all after the first ':'
        {"sixteen-octets-x", true, "sixteen-octets-x", false, UsecKey{}},
        {"seventeen-octetsx", false, "", false, UsecKey{}},
        {"", false, "", false, UsecKey{}},
        {":phrase", false, "", false, UsecKey{}},
        {"joe:", false, "", false, UsecKey{}},
        {"joe:0x0011", false, "", false, UsecKey{}},
        {"joe:0x00112233445566778899aabbccddeeff00", false, "", false, UsecKey{}},
        {"joe:0x0011223344556677889900aabbccddzz", false, "", false, UsecKey{}},
    };
    for (const auto& c : cases) {
        UsecUser user;
        user.name = "untouched";
        std::string error;
        EXPECT_EQ(parseUsecUser(c.text, DefaultEngineId, &user, &error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(user.name, c.name) << c.text;
            EXPECT_EQ(user.authenticates, c.authenticates) << c.text;
            EXPECT_EQ(user.key, c.key) << c.text;
        } else {
            EXPECT_EQ(user.name, "untouched") << c.text;
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(UsecAgentParse, PassPhraseIsLocalisedToTheAgentsIdentifier)
{
    UsecUser user;
    ASSERT_TRUE(parseUsecUser("joe:maplesyrup", RfcEngineId, &user, nullptr));
    EXPECT_EQ(user.key, keyOf(RfcKeyHex));
    UsecUser other;
    ASSERT_TRUE(parseUsecUser("joe:maplesyrup", DefaultEngineId, &other, nullptr));
    EXPECT_NE(other.key, user.key);
}

TEST(UsecAgentParse, EngineIdentifiers)
{
    const struct {
        const char* text;
        bool ok;
    } cases[] = {{"000000000000000000000002", true},  {"0x000000000000000000000002", true},
                 {"0X76616E746F722D6167656E74", true}, {"00000000000000000000002", false},
                 {"0000000000000000000000020", false}, {"00000000000000000000000g", false},
                 {"", false}};
    for (const auto& c : cases) {
        EngineId id = DefaultEngineId;
        EXPECT_EQ(parseEngineId(c.text, &id), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(id, DefaultEngineId) << c.text;
        }
    }
    EngineId id{};
    ASSERT_TRUE(parseEngineId("0x76616E746F722D6167656E74", &id));
    EXPECT_EQ(id, DefaultEngineId);  // "vantor-agent"
    EXPECT_EQ(engineIdHex(RfcEngineId), "000000000000000000000002");
}

TEST(UsecAgentParse, Forgeries)
{
    for (Forgery f : {Forgery::WrongDigest, Forgery::StaleTime, Forgery::LowerBoots, Forgery::Unauthenticated,
                      Forgery::UnauthenticatedReport}) {
        Forgery back = Forgery::WrongDigest;
        EXPECT_TRUE(parseForgery(forgeryName(f), &back));
        EXPECT_EQ(back, f);
    }
    Forgery unused;
    EXPECT_FALSE(parseForgery("Digest", &unused));
    EXPECT_FALSE(parseForgery("", &unused));
}

// A parameters block: model, qoS, identifier, boots, time, size, user, digest, context.
Bytes block(uint8_t qoS, uint16_t maxSize, const std::string& user, int digestLength, size_t context,
            uint8_t model = 1)
{
    Bytes b = {model, qoS};
    b.insert(b.end(), DefaultEngineId.begin(), DefaultEngineId.end());
    const uint8_t clock[8] = {0, 0, 0, 7, 0, 1, 0x86, 0xA0};
    b.insert(b.end(), clock, clock + 8);
    b.push_back(static_cast<uint8_t>(maxSize >> 8));
    b.push_back(static_cast<uint8_t>(maxSize));
    b.push_back(static_cast<uint8_t>(user.size()));
    b.insert(b.end(), user.begin(), user.end());
    if (digestLength >= 0) {
        b.push_back(static_cast<uint8_t>(digestLength));
        b.insert(b.end(), static_cast<size_t>(digestLength), 0xD1);
    }
    b.insert(b.end(), context, 'c');
    return b;
}

TEST(UsecAgentParse, ParametersBlocks)
{
    const std::string u16(16, 'u');
    const struct {
        const char* label;
        Bytes data;
        bool ok;
    } cases[] = {
        {"shortest: one-octet user, no digest", block(0x04, 484, "u", 0, 0), true},
        {"authenticated with context", block(0x05, 1450, "user", 16, 3), true},
        {"privacy is read (and ignored)", block(0x07, 1450, "user", 16, 0), true},
        {"privacy without authentication", block(0x06, 1450, "user", 0, 0), true},
        {"sixteen-octet user", block(0x04, 1450, u16, 0, 0), true},
        {"forty-octet context", block(0x04, 1450, "u", 0, 40), true},
        {"no digest length", block(0x04, 484, "u", -1, 0), false},
        {"size 483", block(0x04, 483, "u", 0, 0), false},
        {"model 2", block(0x04, 484, "u", 0, 0, 2), false},
        {"qoS bit 0x08", block(0x0C, 484, "u", 0, 0), false},
        {"empty user", block(0x04, 484, "", 0, 0), false},
        {"seventeen-octet user", block(0x04, 1450, u16 + "x", 0, 0), false},
        {"forty-one-octet context", block(0x04, 1450, "u", 0, 41), false},
        {"digest length 16 without authentication", block(0x04, 1450, "u", 16, 0), false},
        {"digest length 0 with authentication", block(0x05, 1450, "u", 0, 20), false},
        {"digest cut short", Bytes(), false},
    };
    for (const auto& c : cases) {
        Bytes data = c.data;
        if (data.empty()) {
            data = block(0x05, 1450, "u", 16, 0);
            data.resize(data.size() - 1);
        }
        UsecRequestParameters p;
        EXPECT_EQ(parseUsecParameters(data.data(), data.size(), &p), c.ok) << c.label;
        // Every prefix of a good block is refused.
        if (c.ok) {
            for (size_t n = 0; n + 1 < data.size() && n < 25 + p.userName.size() + 1; ++n) {
                UsecRequestParameters cut;
                EXPECT_FALSE(parseUsecParameters(data.data(), n, &cut)) << c.label << " cut to " << n;
            }
        }
    }
    UsecRequestParameters p;
    const Bytes good = block(0x05, 1450, "user", 16, 3);
    ASSERT_TRUE(parseUsecParameters(good.data(), good.size(), &p));
    EXPECT_EQ(p.qoS, 0x05);
    EXPECT_EQ(p.agentId, DefaultEngineId);
    EXPECT_EQ(p.boots, 7u);
    EXPECT_EQ(p.time, 100000u);
    EXPECT_EQ(p.maxSize, 1450u);
    EXPECT_EQ(p.userName, "user");
    EXPECT_EQ(p.digestOffset, 30u);
    EXPECT_EQ(p.digest[0], 0xD1);
    EXPECT_EQ(p.context, "ccc");
}

TEST(UsecAgentParse, StatsNamesAndActions)
{
    EXPECT_EQ(formatOid(usecStatsName(UsecRefusal::UnknownContext)), "1.3.6.1.6.3.6.1.2.5.0");
    EXPECT_EQ(formatOid(usecStatsName(UsecRefusal::UnsupportedQoS)), "1.3.6.1.6.3.6.1.2.1.0");
    EXPECT_STREQ(refusalAction(UsecRefusal::WrongDigest), "wrong-digest");
    EXPECT_STREQ(refusalAction(UsecRefusal::NotInWindow), "not-in-time-window");
}

TEST(UsecAgentParse, LogLineOfAVersionTwoRequest)
{
    LogEntry e;
    e.arrivalMicros = 1700000000000001;
    e.sourcePort = 4000;
    e.version = 2;
    e.community = "joe";
    e.fields = "qos=0x05 boots=7 time=100000 context=\"ctx\"";
    e.command = PduGetRequest;
    e.requestId = 9;
    e.action = "answered";
    e.datagramsSent = 1;
    e.bindings = {makeVariable(sysName, ASN_NULL, {})};
    EXPECT_EQ(formatLogLine(e), "1700000000.000001 port=4000 version=2 community=joe qos=0x05 boots=7 time=100000 "
                                "context=\"ctx\" command=get id=9 action=answered sent=1 status=0 index=0 "
                                "1.3.6.1.2.1.1.5.0");
}

// ---- the agent answering requests built in the manager's role ---------------------

class UsecAgentTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        useFakeRandom(0);  // retransmissions without jitter
        start(standardConfig());
    }
    void TearDown() override
    {
        // The agent's thread reads the runtime clock: stop it before the clock is put back.
        if (agent_)
            agent_->stop();
        EngineTest::TearDown();
    }

    void start(UsecConfig config, AgentConfig agentConfig = AgentConfig())
    {
        if (agent_)
            agent_->stop();
        agent_.reset();
        usec_ = std::make_unique<UsecAgent>(std::move(config));
        agentConfig.hook = usec_->hook();
        agent_ = std::make_unique<TestAgent>(std::move(agentConfig));
        std::string error;
        ASSERT_TRUE(agent_->start(&error)) << error;
    }

    UsecKey key(const std::string& user) const
    {
        UsecKey k{};
        EXPECT_TRUE(usec_->userKey(user, &k)) << user;
        return k;
    }

    SnmpSession manager(const std::string& user, bool authenticate, const std::string& context = "")
    {
        const UsecKey k = key(user);
        return managerRecord(*usec_, user, authenticate ? &k : nullptr, context);
    }

    // Every datagram that comes back for one request. The agent logs a
    // request after its replies went out, and loopback has queued them at
    // our socket by then.
    std::vector<Bytes> exchange(const Bytes& request)
    {
        const size_t logged = agent_->logSize();
        client_.send(agent_->port(), request);
        EXPECT_TRUE(agent_->waitForLog(logged + 1, ReplyWaitMs));
        std::vector<Bytes> out;
        while (auto d = client_.receive(0))
            out.push_back(*d);
        return out;
    }

    // The one reply to a request, judged by the manager's record.
    Judged ask(const SnmpSession& record, const Bytes& request)
    {
        const std::vector<Bytes> replies = exchange(request);
        EXPECT_EQ(replies.size(), 1u);
        return replies.empty() ? Judged() : judgeReply(record, replies.front());
    }

    LogEntry lastLog() const
    {
        const std::vector<LogEntry> log = agent_->log();
        return log.empty() ? LogEntry() : log.back();
    }

    // Settings for the engine's own session to the agent.
    SnmpSession settings(const char* community, int32_t retries = 2, int32_t timeoutUs = 1000000) const
    {
        SnmpSession s{};
        s.peerName = "127.0.0.1";
        s.remotePort = agent_->port();
        s.community = reinterpret_cast<const uint8_t*>(community);
        s.communityLength = static_cast<int32_t>(std::strlen(community));
        s.retries = retries;
        s.timeout = timeoutUs;
        return s;
    }

    SnmpSession* open(const char* community, int32_t retries = 2, int32_t timeoutUs = 1000000)
    {
        SnmpSession s = settings(community, retries, timeoutUs);
        syncInstall(&s);
        return openSession(&s);
    }

    // A get through the engine: the status of syncRequest and the first binding's text.
    int32_t engineGet(SnmpSession* session, std::string* value, const OidVector& name = sysName)
    {
        SnmpPdu* request = createPdu(PduGetRequest);
        addNullVar(request, name.data(), static_cast<int32_t>(name.size()));
        SnmpPdu* response = nullptr;
        const int32_t status = syncRequest(session, request, &response);
        if (response != nullptr && response->variables != nullptr && response->variables->value != nullptr)
            value->assign(reinterpret_cast<const char*>(response->variables->value),
                          static_cast<size_t>(response->variables->valueLength));
        freePdu(response);
        return status;
    }

    Client client_;
    std::unique_ptr<UsecAgent> usec_;  // outlives the agent that calls its hook
    std::unique_ptr<TestAgent> agent_;
};

TEST_F(UsecAgentTest, DiscoveryReportCarriesIdentifierBootsAndTime)
{
    const Judged j = ask(discoveryRecord(), encodeRequest(discoveryRecord(), PduGetRequest, 41, {}));
    EXPECT_EQ(j.command, PduReport);
    EXPECT_EQ(j.requestId, 41);
    // The manager does not know the identifier yet: its check says so, and
    // discovery takes the values all the same.
    EXPECT_EQ(j.verdict, UsecUnknownContext);
    EXPECT_EQ(std::memcmp(j.security.agentId, DefaultEngineId.data(), 12), 0);
    EXPECT_EQ(j.security.agentBoots, Boots);
    EXPECT_GE(j.security.agentTime, TimeOffset);
    EXPECT_LE(j.security.agentTime, TimeOffset + 60);
    EXPECT_EQ(j.security.qoS & SecurityAuth, 0);
    EXPECT_GE(j.security.maxSize, 484);
    EXPECT_EQ(userOf(j.security), "kolbur");
    ASSERT_EQ(j.bindings.size(), 1u);
    EXPECT_EQ(j.bindings[0].name, usecStatsName(UsecRefusal::UnknownContext));
    EXPECT_EQ(j.bindings[0].type, ASN_COUNTER);
    EXPECT_EQ(j.bindings[0].value, uint32Value(1));
    EXPECT_EQ(usec_->discoveries(), 1u);
    const LogEntry e = lastLog();
    EXPECT_EQ(e.action, "discovery");
    EXPECT_EQ(e.version, SnmpVersionUsec);
    EXPECT_EQ(e.community, "kolbur");
    EXPECT_EQ(e.fields, "qos=0x04 boots=0 time=0 context=\"\"");
    EXPECT_EQ(e.datagramsSent, 1);
}

TEST_F(UsecAgentTest, DiscoveryWithAnIdentifierOfItsOwn)
{
    UsecConfig config = standardConfig();
    config.engineId = RfcEngineId;
    config.boots = 0;
    config.timeOffset = 0;
    start(config);
    const Judged j = ask(discoveryRecord(), encodeRequest(discoveryRecord(), PduGetRequest, 1, {}));
    EXPECT_EQ(std::memcmp(j.security.agentId, RfcEngineId.data(), 12), 0);
    EXPECT_EQ(j.security.agentBoots, 0u);
    EXPECT_LE(j.security.agentTime, 60);
}

TEST_F(UsecAgentTest, AcceptedRequestsGetAnswersTheManagerAccepts)
{
    const struct {
        const char* user;
        bool authenticate;
        const char* context;
    } cases[] = {{"auth", true, ""}, {"hexkey", true, ""}, {"plain", false, ""}, {"auth", true, "ctx"},
                 {"plain", false, "ctx"}};
    int32_t id = 100;
    for (const auto& c : cases) {
        const SnmpSession record = manager(c.user, c.authenticate, c.context);
        const Judged j = ask(record, usecGet(record, ++id));
        const std::string label = std::string(c.user) + "/" + c.context;
        EXPECT_EQ(j.verdict, UsecAccepted) << label;
        EXPECT_EQ(j.command, PduResponse) << label;
        EXPECT_EQ(j.requestId, id) << label;
        EXPECT_EQ(j.security.qoS, c.authenticate ? SecurityAuth : 0) << label;  // not reportable, no privacy
        EXPECT_EQ(userOf(j.security), c.user) << label;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(j.security.context),
                              static_cast<size_t>(j.security.contextLength)),
                  c.context)
            << label;
        ASSERT_EQ(j.bindings.size(), 1u) << label;
        EXPECT_EQ(text(j.bindings[0]), "test-agent") << label;
        const LogEntry e = lastLog();
        EXPECT_EQ(e.action, "answered") << label;
        EXPECT_EQ(e.community, c.user) << label;
        EXPECT_EQ(e.fields.substr(0, 8), c.authenticate ? "qos=0x05" : "qos=0x04") << label;
    }
}

TEST_F(UsecAgentTest, ASetIsStored)
{
    const SnmpSession record = manager("auth", true);
    const Judged j = ask(record, encodeRequest(record, PduSetRequest, 5,
                                               {makeVariable(sysContact, ASN_OCTET_STR, bytesValue("set by usec"))}));
    EXPECT_EQ(j.verdict, UsecAccepted);
    Variable stored;
    ASSERT_TRUE(agent_->variable(sysContact, &stored));
    EXPECT_EQ(text(stored), "set by usec");
}

TEST_F(UsecAgentTest, RefusedRequestsAreReported)
{
    const UsecKey authKey = key("auth");
    UsecKey wrongKey = authKey;
    wrongKey[3] ^= 1;
    SnmpSession unknownUser = managerRecord(*usec_, "stranger", &authKey);
    SnmpSession wrongDigest = managerRecord(*usec_, "auth", &wrongKey);
    SnmpSession keylessAuthenticates = managerRecord(*usec_, "plain", &authKey);
    SnmpSession keyedDoesNot = manager("auth", false);
    SnmpSession unknownContext = manager("auth", true, "other");
    SnmpSession laterBoots = manager("auth", true);
    ++laterBoots.agentBoots;
    SnmpSession earlierBoots = manager("auth", true);
    --earlierBoots.agentBoots;
    const struct {
        const char* label;
        SnmpSession record;
        UsecRefusal refusal;
        bool authenticatedReport;
    } cases[] = {
        {"unknown user", unknownUser, UsecRefusal::UnknownUserName, false},
        {"wrong digest", wrongDigest, UsecRefusal::WrongDigest, false},
        {"user without key authenticates", keylessAuthenticates, UsecRefusal::UnsupportedQoS, false},
        {"user with key does not", keyedDoesNot, UsecRefusal::UnsupportedQoS, false},
        {"unknown context", unknownContext, UsecRefusal::UnknownContext, false},
        {"later boots", laterBoots, UsecRefusal::NotInWindow, true},
        {"earlier boots", earlierBoots, UsecRefusal::NotInWindow, true},
    };
    int32_t id = 200;
    for (const auto& c : cases) {
        const uint32_t before = usec_->refusals(c.refusal);
        // The manager of the report: the user's own record, which knows the identifier.
        const Judged j = ask(c.record, usecGet(c.record, ++id));
        EXPECT_EQ(j.command, PduReport) << c.label;
        EXPECT_EQ(j.requestId, id) << c.label;
        EXPECT_EQ(usec_->refusals(c.refusal), before + 1) << c.label;
        ASSERT_EQ(j.bindings.size(), 1u) << c.label;
        EXPECT_EQ(j.bindings[0].name, usecStatsName(c.refusal)) << c.label;
        EXPECT_EQ(j.bindings[0].value, uint32Value(before + 1)) << c.label;
        EXPECT_EQ((j.security.qoS & SecurityAuth) != 0, c.authenticatedReport) << c.label;
        EXPECT_EQ(lastLog().action, refusalAction(c.refusal)) << c.label;
        if (c.authenticatedReport) {
            // Signed with the user's key, it carries the agent's clock, which
            // a manager with the right estimate accepts.
            EXPECT_EQ(j.security.agentBoots, Boots) << c.label;
            const std::vector<Bytes> again = exchange(usecGet(c.record, ++id));
            ASSERT_EQ(again.size(), 1u) << c.label;
            EXPECT_EQ(judgeReply(manager("auth", true), again[0]).verdict, UsecAccepted) << c.label;
        }
    }
}

TEST_F(UsecAgentTest, RequestsThatAreNotReportableGetNothing)
{
    const UsecKey authKey = key("auth");
    SnmpSession record = managerRecord(*usec_, "stranger", &authKey);
    record.securityFlags = SecurityAuth;
    EXPECT_TRUE(exchange(usecGet(record, 3)).empty());
    EXPECT_EQ(lastLog().action, "unknown-user");
    EXPECT_EQ(lastLog().datagramsSent, 0);
    SnmpSession discovery = discoveryRecord();
    discovery.securityFlags = 0;
    EXPECT_TRUE(exchange(encodeRequest(discovery, PduGetRequest, 4, {})).empty());
    EXPECT_EQ(lastLog().action, "discovery");
}

TEST_F(UsecAgentTest, BadParametersGetNothing)
{
    // A maximum size below 484 breaks the format; the agent cannot trust the block.
    SnmpSession record = manager("auth", true);
    record.maxMessageSize = 483;
    EXPECT_TRUE(exchange(usecGet(record, 3)).empty());
    EXPECT_EQ(lastLog().action, "bad-parameters");
    EXPECT_EQ(usec_->refusals(UsecRefusal::BadParameters), 1u);
    // So does a user name the mode cannot carry.
    SnmpSession longName = manager("auth", true);
    longName.userNameLength = 17;
    std::memset(longName.userName, 'n', 17);
    EXPECT_TRUE(exchange(usecGet(longName, 4)).empty());
    EXPECT_EQ(usec_->refusals(UsecRefusal::BadParameters), 2u);
}

// The agent's time window, with the runtime clock held still so that the
// edges are exact.
class UsecAgentClockTest : public UsecAgentTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        useFakeRandom(0);
        useFakeClock(1700000000000);
        start(standardConfig());
    }
};

TEST_F(UsecAgentClockTest, TimeWindowIs150SecondsEachWay)
{
    ASSERT_EQ(usec_->agentTime(), static_cast<uint32_t>(TimeOffset));
    const struct {
        int32_t shift;
        bool accepted;
    } cases[] = {{0, true}, {150, true}, {-150, true}, {151, false}, {-151, false}, {100000, false}};
    int32_t id = 300;
    for (const auto& c : cases) {
        SnmpSession record = manager("auth", true);
        record.timeOffset += c.shift;
        const std::vector<Bytes> replies = exchange(usecGet(record, ++id));
        ASSERT_EQ(replies.size(), 1u) << c.shift;
        const Judged j = judgeReply(manager("auth", true), replies[0]);
        EXPECT_EQ(j.command, c.accepted ? PduResponse : PduReport) << c.shift;
        EXPECT_EQ(j.verdict, UsecAccepted) << c.shift;
        EXPECT_EQ(lastLog().action, c.accepted ? "answered" : "not-in-time-window") << c.shift;
    }
    // Unauthenticated requests carry no clock to test.
    SnmpSession plain = manager("plain", false);
    plain.timeOffset += 100000;
    EXPECT_EQ(ask(plain, usecGet(plain, 400)).command, PduResponse);
}

TEST_F(UsecAgentClockTest, AnswersCarryTheAgentsClock)
{
    usec_->setBoots(9);
    usec_->setTimeOffset(5000);
    fakeNow() += 42000;  // 42 s later
    const SnmpSession record = manager("auth", true);
    EXPECT_EQ(record.agentTime, 5042);
    const Judged j = ask(record, usecGet(record, 1));
    EXPECT_EQ(j.verdict, UsecAccepted);
    EXPECT_EQ(j.security.agentBoots, 9u);
    EXPECT_EQ(j.security.agentTime, 5042);
}

// Each misbehaviour of the answer, as the manager's check sees it.
TEST_F(UsecAgentTest, MisbehavingAnswers)
{
    const struct {
        const char* label;
        UsecMisbehaviour m;
        bool authenticate;
        int32_t verdict;
    } cases[] = {
        {"wrong digest", [] { UsecMisbehaviour m; m.wrongDigest = true; return m; }(), true, UsecWrongDigest},
        {"stale 300 s", [] { UsecMisbehaviour m; m.staleSeconds = 300; return m; }(), true, UsecNotInTimeWindow},
        {"lower boots", [] { UsecMisbehaviour m; m.lowerBoots = true; return m; }(), true, UsecNotInTimeWindow},
        {"higher boots", [] { UsecMisbehaviour m; m.higherBoots = true; return m; }(), true, UsecAccepted},
        {"privacy bit", [] { UsecMisbehaviour m; m.privacyBit = true; return m; }(), true, UsecBadParameters},
        {"privacy bit, no digest", [] { UsecMisbehaviour m; m.privacyBit = true; return m; }(), false,
         UsecBadParameters},
        // Without authentication there is nothing to check the clock with.
        {"stale, no digest", [] { UsecMisbehaviour m; m.staleSeconds = 300; return m; }(), false, UsecAccepted},
    };
    int32_t id = 500;
    for (const auto& c : cases) {
        usec_->setMisbehaviour(c.m);
        const SnmpSession record = manager(c.authenticate ? "auth" : "plain", c.authenticate);
        const Judged j = ask(record, usecGet(record, ++id));
        EXPECT_EQ(j.verdict, c.verdict) << c.label;
        EXPECT_EQ(j.command, PduResponse) << c.label;
        EXPECT_EQ(lastLog().action, "answered") << c.label;
        if (std::string(c.label) == "higher boots") {
            // Believed: the manager's clock follows.
            EXPECT_EQ(j.record.agentBoots, Boots + 1);
        }
    }
}

TEST_F(UsecAgentTest, ReportInsteadOfResponseIsAuthenticated)
{
    AgentConfig agentConfig;
    agentConfig.misbehaviour.report = true;
    start(standardConfig(), agentConfig);
    const SnmpSession record = manager("auth", true);
    const Judged j = ask(record, usecGet(record, 8));
    EXPECT_EQ(j.command, PduReport);
    EXPECT_EQ(j.verdict, UsecAccepted);
    ASSERT_EQ(j.bindings.size(), 1u);
    EXPECT_EQ(text(j.bindings[0]), "test-agent");
}

TEST_F(UsecAgentTest, ForgedCopiesComeFirstAndFailTheCheck)
{
    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::WrongDigest, Forgery::StaleTime, Forgery::LowerBoots, Forgery::Unauthenticated,
                    Forgery::UnauthenticatedReport};
    usec_->setMisbehaviour(m);
    const SnmpSession record = manager("auth", true);
    const std::vector<Bytes> replies = exchange(usecGet(record, 77));
    ASSERT_EQ(replies.size(), 6u);
    const struct {
        int32_t verdict;
        int32_t command;
    } expected[] = {{UsecWrongDigest, PduResponse},     {UsecNotInTimeWindow, PduResponse},
                    {UsecNotInTimeWindow, PduResponse}, {UsecUnsupportedQoS, PduResponse},
                    // A report without a digest passes the manager's check.
                    {UsecAccepted, PduReport},          {UsecAccepted, PduResponse}};
    for (size_t i = 0; i < replies.size(); ++i) {
        const Judged j = judgeReply(record, replies[i]);
        EXPECT_EQ(j.verdict, expected[i].verdict) << i;
        EXPECT_EQ(j.command, expected[i].command) << i;
        EXPECT_EQ(j.requestId, 77) << i;
        ASSERT_EQ(j.bindings.size(), 1u) << i;
        EXPECT_EQ(j.bindings[0].name, sysName) << i;
        EXPECT_EQ(text(j.bindings[0]), i + 1 < replies.size() ? ForgedValue : "test-agent") << i;
        if (i == 0) {
            // The forged digest copy would move the clock if it were believed.
            EXPECT_EQ(j.security.agentBoots, Boots + 1);
            EXPECT_EQ(j.record.agentBoots, Boots);  // and is not
        }
    }
    EXPECT_EQ(lastLog().datagramsSent, 6);
}

TEST_F(UsecAgentTest, ForgeOnlyAndMisbehaveCountCompose)
{
    AgentConfig agentConfig;
    agentConfig.misbehaviour.misbehaveCount = 1;
    agentConfig.misbehaviour.dropFirst = 1;
    start(standardConfig(), agentConfig);
    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::WrongDigest};
    m.forgeOnly = true;
    usec_->setMisbehaviour(m);
    const SnmpSession record = manager("auth", true);
    // Discovery does not count as an answered request.
    EXPECT_EQ(exchange(encodeRequest(discoveryRecord(), PduGetRequest, 1, {})).size(), 1u);
    EXPECT_TRUE(exchange(usecGet(record, 2)).empty());  // dropped
    EXPECT_EQ(lastLog().action, "dropped");
    std::vector<Bytes> replies = exchange(usecGet(record, 3));  // the forged copy alone
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(judgeReply(record, replies[0]).verdict, UsecWrongDigest);
    EXPECT_EQ(lastLog().datagramsSent, 1);
    replies = exchange(usecGet(record, 4));  // past the count: the genuine answer
    ASSERT_EQ(replies.size(), 1u);
    const Judged j = judgeReply(record, replies[0]);
    EXPECT_EQ(j.verdict, UsecAccepted);
    EXPECT_EQ(text(j.bindings.at(0)), "test-agent");
}

TEST_F(UsecAgentTest, OtherVersionsStillUseCommunities)
{
    SnmpSession v1{};
    v1.version = SnmpVersion1;
    v1.community = reinterpret_cast<const uint8_t*>("public");
    v1.communityLength = 6;
    const std::vector<Bytes> replies = exchange(usecGet(v1, 6));
    ASSERT_EQ(replies.size(), 1u);
    const Judged j = judgeReply(SnmpSession{}, replies[0], false);
    EXPECT_EQ(j.verdict, 0);
    EXPECT_EQ(text(j.bindings.at(0)), "test-agent");
    EXPECT_EQ(lastLog().community, "public");
    EXPECT_EQ(lastLog().fields, "");
    v1.community = reinterpret_cast<const uint8_t*>("secret");
    EXPECT_TRUE(exchange(usecGet(v1, 7)).empty());
    EXPECT_EQ(lastLog().action, "bad-community");
}

// ---- the engine's own sessions against the agent --------------------------------

TEST_F(UsecAgentTest, EngineDiscoversTheAgentAndGets)
{
    const struct {
        const char* community;
        uint8_t flags;
    } cases[] = {{"/plain", SecurityReportable},
                 {"/auth/maplesyrup", SecurityAuth | SecurityReportable},
                 {"/hexkey/0x00112233445566778899aabbccddeeff", SecurityAuth | SecurityReportable},
                 {"/auth/maplesyrup//ctx", SecurityAuth | SecurityReportable}};
    for (const auto& c : cases) {
        SnmpSession* session = open(c.community);
        ASSERT_NE(session, nullptr) << c.community;
        EXPECT_EQ(std::memcmp(session->agentId, DefaultEngineId.data(), 12), 0) << c.community;
        EXPECT_EQ(session->agentBoots, Boots) << c.community;
        EXPECT_EQ(session->securityFlags, c.flags) << c.community;
        std::string value;
        EXPECT_EQ(engineGet(session, &value), 0) << c.community;
        EXPECT_EQ(value, "test-agent") << c.community;
        closeSession(session);
    }
    // The pass phrase reached the same key as the agent's.
    SnmpSession* session = open("/auth/maplesyrup");
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(std::memcmp(session->authKey, key("auth").data(), 16), 0);
}

TEST_F(UsecAgentTest, EnginePrivacyGetsNoAcceptableAnswer)
{
    // The agent answers in clear without the privacy bit: less than the
    // session asks for, so the request times out.
    for (const char* community : {"/auth/maplesyrup/secret", "/plain//secret"}) {
        SnmpSession* session = open(community, 1, 200000);
        ASSERT_NE(session, nullptr) << community;
        std::string value;
        EXPECT_EQ(engineGet(session, &value), 2) << community;
        closeSession(session);
        EXPECT_EQ(lastLog().action, "answered") << community;
    }
}

TEST_F(UsecAgentTest, EngineDiscoveryWithoutAnswerFailsTheOpen)
{
    UsecMisbehaviour m;
    m.dropDiscovery = -1;
    usec_->setMisbehaviour(m);
    testing::internal::CaptureStdout();
    EXPECT_EQ(open("/auth/maplesyrup", 2, 50000), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No Response from 127.0.0.1\n");
    EXPECT_TRUE(agent_->waitForLog(2, ReplyWaitMs));
    EXPECT_EQ(usec_->discoveries(), 2u);
    EXPECT_EQ(usec_->discoveriesAnswered(), 0u);
    EXPECT_EQ(lastLog().action, "discovery-dropped");
    // The first one dropped, the retransmission answered.
    m.dropDiscovery = 1;
    usec_->setMisbehaviour(m);
    SnmpSession* session = open("/auth/maplesyrup", 2, 200000);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(usec_->discoveriesAnswered(), 1u);
}

TEST_F(UsecAgentTest, EngineTakesTheGenuineReplyAfterForgedOnes)
{
    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::WrongDigest, Forgery::StaleTime, Forgery::LowerBoots, Forgery::Unauthenticated};
    usec_->setMisbehaviour(m);
    SnmpSession* session = open("/auth/maplesyrup");
    ASSERT_NE(session, nullptr);
    std::string value;
    EXPECT_EQ(engineGet(session, &value), 0);
    EXPECT_EQ(value, "test-agent");
    EXPECT_EQ(session->agentBoots, Boots);
}

TEST_F(UsecAgentTest, EngineTimesOutOnAForgedReplyAloneWithoutClockUpdate)
{
    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::WrongDigest};
    m.forgeOnly = true;
    usec_->setMisbehaviour(m);
    SnmpSession* session = open("/auth/maplesyrup", 2, 100000);
    ASSERT_NE(session, nullptr);
    const int32_t timeBefore = session->agentTime;
    std::string value;
    EXPECT_EQ(engineGet(session, &value), 2);
    EXPECT_EQ(session->agentBoots, Boots);
    EXPECT_EQ(session->agentTime, timeBefore);
    // Both transmissions carried the clock learned at discovery.
    const std::vector<LogEntry> log = agent_->log();
    ASSERT_EQ(log.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(log[i].action, "answered");
        EXPECT_EQ(log[i].fields.substr(0, 16), "qos=0x05 boots=7") << log[i].fields;
    }
}

// A Report without a digest passes the manager's check (reports are exempt
// from the protection test so that a refusal can reach the manager), and the
// request functions then take its bindings as the answer: a forger who only
// sees the request id can hand an authenticated session any value. This
// shows it through the script function: the genuine value must win.
// An unauthenticated Report in an authenticated session is dropped like any
// other message that does not prove where it came from.
TEST_F(UsecAgentTest, ScriptIgnoresAnUnauthenticatedReportInAnAuthenticatedSession)
{
    ScopedFakeHost host;
    scriptState() = ScriptState();
    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::UnauthenticatedReport};
    usec_->setMisbehaviour(m);
    std::vector<HostValue> args =
        argList({stringArg("127.0.0.1"), numberArg(agent_->port()), numberArg(0), stringArg("/auth/maplesyrup"),
                 stringArg("1.3.6.1.2.1.1.5.0"), numberArg(1000), numberArg(2)});
    const HostValue result = ScriptDispatcher(args.data(), ScriptIdGetEx);
    EXPECT_EQ(textOf(result), "test-agent");
}

// ---- known agents ---------------------------------------------------------------

AgentAddress loopbackAgent(uint16_t port) { return loopbackEndpoint(port); }

// The actions the agent logged from entry `from` on.
std::vector<std::string> actionsFrom(const TestAgent& agent, size_t from)
{
    std::vector<std::string> actions;
    const std::vector<LogEntry> log = agent.log();
    for (size_t i = from; i < log.size(); ++i)
        actions.push_back(log[i].action);
    return actions;
}

// An agent that answered an authenticated get is known: the next session
// skips the discovery. When it has since rebooted, lowered its boots or
// changed its identifier, its Report makes the call discover it again and
// send once more, and the table then holds what the agent says now.
TEST_F(UsecAgentTest, KnownAgentIsRecalledAndDiscoveredAgainWhenItChanged)
{
    using Actions = std::vector<std::string>;
    const Actions again = {"", "discovery", "answered"};
    const struct {
        const char* label;
        uint32_t boots;
        EngineId id;
        Actions actions;  // "" for the refusal of the first transmission
    } cases[] = {{"unchanged", Boots, DefaultEngineId, {"answered"}},
                 {"rebooted", Boots + 1, DefaultEngineId, again},
                 {"boots lowered", Boots - 1, DefaultEngineId, again},
                 {"new identifier", Boots, RfcEngineId, again}};
    for (const auto& c : cases) {
        forgetKnownAgents();
        start(standardConfig());
        std::string value;
        SnmpSession* first = open("/auth/maplesyrup");
        ASSERT_NE(first, nullptr) << c.label;
        ASSERT_EQ(engineGet(first, &value), 0) << c.label;
        closeSession(first);
        EXPECT_EQ(knownAgentCount(), 1) << c.label;

        if (std::memcmp(c.id.data(), DefaultEngineId.data(), 12) != 0) {
            AgentConfig sameAddress;
            sameAddress.port = agent_->port();
            start(standardConfig(c.id), sameAddress);
        } else {
            usec_->setBoots(c.boots);
            if (c.boots > Boots)
                usec_->setTimeOffset(0);  // the clock starts again at a reboot
        }
        // A restarted agent has a log of its own; otherwise the first call's
        // discovery and get, logged once the answers went out.
        const size_t logged = usec_->discoveries() == 0 ? 0 : 2;
        EXPECT_TRUE(agent_->waitForLog(logged, ReplyWaitMs)) << c.label;
        SnmpSession* second = open("/auth/maplesyrup");
        ASSERT_NE(second, nullptr) << c.label;
        value.clear();
        EXPECT_EQ(engineGet(second, &value), 0) << c.label;
        EXPECT_EQ(value, "test-agent") << c.label;
        EXPECT_EQ(second->agentBoots, c.boots) << c.label;
        EXPECT_EQ(std::memcmp(second->agentId, c.id.data(), 12), 0) << c.label;
        closeSession(second);
        EXPECT_TRUE(agent_->waitForLog(logged + c.actions.size(), ReplyWaitMs)) << c.label;
        Actions actions = actionsFrom(*agent_, logged);
        if (c.actions.size() > 1 && !actions.empty())
            actions[0] = "";  // not-in-time-window or unknown-context, as the change dictates
        EXPECT_EQ(actions, c.actions) << c.label;

        // The table holds the agent as it is now.
        SnmpSession recalled{};
        ASSERT_TRUE(recallAgent(loopbackAgent(agent_->port()), &recalled)) << c.label;
        EXPECT_EQ(recalled.agentBoots, c.boots) << c.label;
        EXPECT_EQ(std::memcmp(recalled.agentId, c.id.data(), 12), 0) << c.label;
    }
}

// Reports that say the agent changed are believed only as far as a new
// discovery: forged ones cost a round trip, and the table never takes the
// forger's identifier. An agent that stops answering is forgotten.
TEST_F(UsecAgentTest, ForgedOutdatedReportsNeverReachTheKnownAgents)
{
    std::string value;
    SnmpSession* first = open("/auth/maplesyrup");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(engineGet(first, &value), 0);
    closeSession(first);

    UsecMisbehaviour m;
    m.forgeFirst = {Forgery::OutdatedReport};
    usec_->setMisbehaviour(m);
    SnmpSession* second = open("/auth/maplesyrup");
    ASSERT_NE(second, nullptr);
    value.clear();
    EXPECT_EQ(engineGet(second, &value), 0);
    EXPECT_EQ(value, "test-agent");
    closeSession(second);
    SnmpSession recalled{};
    ASSERT_TRUE(recallAgent(loopbackAgent(agent_->port()), &recalled));
    EXPECT_EQ(std::memcmp(recalled.agentId, DefaultEngineId.data(), 12), 0);

    // Only forged answers: nothing is learned, the agent is forgotten.
    m.forgeOnly = true;
    usec_->setMisbehaviour(m);
    SnmpSession* third = open("/auth/maplesyrup", 1, 100000);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(engineGet(third, &value), 2);
    closeSession(third);
    EXPECT_EQ(knownAgentCount(), 0);
}

}  // namespace

// User-based sessions end to end on loopback: discovery, authenticated
// requests, and forged or stale replies.
#include <gtest/gtest.h>

#include <thread>

#include "snmp/security/usec/keys.h"
#include "snmp/security/usec/usec_check.h"
#include "tests/support/engine_fixture.h"

namespace {

const char AgentId[] = "AGENT-ID-012";  // 12 octets

// The agent's side of the conversation, as a session record: it encodes
// with the same codec, in the agent's role.
SnmpSession agentRole(bool authenticate, const char* user, const uint8_t* key)
{
    SnmpSession role{};
    role.version = SnmpVersionUsec;
    role.securityFlags = authenticate ? SecurityAuth : 0;
    std::memcpy(role.agentId, AgentId, 12);
    role.agentBoots = 3;
    role.timeOffset = 500 - static_cast<int32_t>(runtimeTime(nullptr));  // agent time 500
    role.userNameLength = static_cast<int32_t>(std::strlen(user));
    std::memcpy(role.userName, user, static_cast<size_t>(role.userNameLength));
    role.maxMessageSize = 1450;
    if (key != nullptr)
        std::memcpy(role.authKey, key, 16);
    return role;
}

std::vector<uint8_t> agentReply(SnmpSession role, int32_t command, int32_t requestId, int32_t value)
{
    SnmpPdu* pdu = createPdu(command);
    pdu->requestId = requestId;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 7, 0};
    if (command == PduResponse)
        addVar(pdu, name, 9, ASN_INTEGER, &value, 4);
    // The flag puts boots and time into an unauthenticated discovery reply too.
    return encodeAndFree(role, pdu, 1);
}

int32_t requestIdOf(const std::vector<uint8_t>& data)
{
    SnmpPdu* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
    decodeMessage(nullptr, pdu, const_cast<uint8_t*>(data.data()), static_cast<int32_t>(data.size()));
    const int32_t id = pdu->requestId;
    freePdu(pdu);
    return id;
}

class UsecSessionTest : public EngineTest {
protected:
    uint8_t key[16];
    void SetUp() override
    {
        EngineTest::SetUp();
        passwordToKey(reinterpret_cast<const uint8_t*>("maplesyrup"), 10, reinterpret_cast<const uint8_t*>(AgentId),
                      key);
    }
    SnmpSession* openUser(LoopbackPeer& peer, const char* community)
    {
        SnmpSession settings = settingsFor(peer, community);
        settings.retries = 2;
        settings.timeout = 300000;
        syncInstall(&settings);
        return openSession(&settings);
    }
    // Answers the discovery request like an agent that does not know the manager yet.
    void answerDiscovery(LoopbackPeer& peer)
    {
        const std::vector<uint8_t> discovery = peer.receive(3000);
        ASSERT_FALSE(discovery.empty());
        int32_t version = 0;
        communityOf(discovery, &version);
        EXPECT_EQ(version, SnmpVersionUsec);
        peer.reply(agentReply(agentRole(false, "kolbur", nullptr), PduReport, requestIdOf(discovery), 0));
    }
};

TEST_F(UsecSessionTest, DiscoveryLearnsTheAgent)
{
    LoopbackPeer peer;
    std::thread agent([&]() { answerDiscovery(peer); });
    SnmpSession* session = openUser(peer, "/user/maplesyrup");
    agent.join();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(std::memcmp(session->agentId, AgentId, 12), 0);
    EXPECT_EQ(session->agentBoots, 3u);
    EXPECT_EQ(session->agentTime, 500);
    EXPECT_EQ(session->securityFlags, SecurityAuth | SecurityReportable);
    EXPECT_EQ(session->authHook, &usecAuthenticate);
    EXPECT_EQ(std::memcmp(session->authKey, key, 16), 0);  // localised to the learned identifier
    EXPECT_EQ(session->communityLength, 16);  // the whole security string
}

TEST_F(UsecSessionTest, DiscoveryWithoutAnswerFailsTheOpenOnly)
{
    LoopbackPeer peer;
    useFakeRandom(0);
    SnmpSession settings = settingsFor(peer, "/user");
    settings.retries = 2;
    settings.timeout = 20000;
    syncInstall(&settings);
    testing::internal::CaptureStdout();
    EXPECT_EQ(openSession(&settings), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No Response from 127.0.0.1\n");
    EXPECT_EQ(libraryState().sessions, nullptr);
    EXPECT_EQ(peer.drain(), 2);
}

TEST_F(UsecSessionTest, RefusedSecurityStringsFailTheOpenBeforeAnythingIsSent)
{
    const std::pair<std::string, const char*> refused[] = {
        {"/" + std::string(40, 'u'), "userName longer than 31 octets\n"},
        {"/", "userName cannot be zero length\n"},
        {"/user/0x1234", "auth key not 16 octets\n"},
        {"/user/0x" + std::string(31, '0') + "g", "auth key contains non hex digits\n"},
        {"/user/secret/0x" + std::string(32, 'z'), "priv key contains non hex digits\n"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.first);
        LoopbackPeer peer;
        testing::internal::CaptureStderr();
        EXPECT_EQ(openUser(peer, r.first.c_str()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.second);
        EXPECT_EQ(peer.drain(), 0);  // no discovery either
        EXPECT_EQ(libraryState().sessions, nullptr);
    }
}

TEST_F(UsecSessionTest, GenuineReplyWinsOverForgedOnes)
{
    LoopbackPeer peer;
    std::thread agent([&]() {
        answerDiscovery(peer);
        const std::vector<uint8_t> request = peer.receive(3000);
        ASSERT_FALSE(request.empty());
        const int32_t id = requestIdOf(request);
        uint8_t wrongKey[16];
        std::memcpy(wrongKey, key, 16);
        wrongKey[0] ^= 0xFF;
        peer.reply(agentReply(agentRole(true, "user", wrongKey), PduResponse, id, 666));  // wrong digest
        SnmpSession stale = agentRole(true, "user", key);
        stale.agentBoots = 2;
        peer.reply(agentReply(stale, PduResponse, id, 667));                             // stale boots
        peer.reply(agentReply(agentRole(true, "other", key), PduResponse, id, 668));     // another user
        peer.reply(agentReply(agentRole(false, "user", nullptr), PduResponse, id, 669)); // unauthenticated
        peer.reply(agentReply(agentRole(true, "user", key), PduResponse, id, 42));       // genuine
    });
    SnmpSession* session = openUser(peer, "/user/maplesyrup");
    ASSERT_NE(session, nullptr);
    SnmpPdu* request = createPdu(PduGetRequest);
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 7, 0};
    addNullVar(request, name, 9);
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, request, &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    ASSERT_NE(response->variables, nullptr);
    int32_t value = 0;
    std::memcpy(&value, response->variables->value, 4);
    EXPECT_EQ(value, 42);
    freePdu(response);
}

TEST_F(UsecSessionTest, ForgedReplyAloneTimesOutWithoutClockUpdate)
{
    LoopbackPeer peer;
    std::thread agent([&]() {
        answerDiscovery(peer);
        for (int i = 0; i < 2; ++i) {
            const std::vector<uint8_t> request = peer.receive(3000);
            if (request.empty())
                return;
            SnmpSession forged = agentRole(true, "user", key);
            forged.authKey[5] ^= 1;
            forged.agentBoots = 50;  // would move the clock if it were believed
            peer.reply(agentReply(forged, PduResponse, requestIdOf(request), 666));
        }
    });
    SnmpSession* session = openUser(peer, "/user/maplesyrup");
    ASSERT_NE(session, nullptr);
    session->timeout = 50000;
    SnmpPdu* request = createPdu(PduGetRequest);
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 7, 0};
    addNullVar(request, name, 9);
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, request, &response), 2);
    agent.join();
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(session->agentBoots, 3u);
}

TEST_F(UsecSessionTest, RequestsCarryTheUserAndADigest)
{
    LoopbackPeer peer;
    std::vector<uint8_t> seen;
    std::thread agent([&]() {
        answerDiscovery(peer);
        seen = peer.receive(3000);
        if (!seen.empty())
            peer.reply(agentReply(agentRole(true, "user", key), PduResponse, requestIdOf(seen), 1));
    });
    SnmpSession* session = openUser(peer, "/user/maplesyrup//ctx");
    ASSERT_NE(session, nullptr);
    SnmpPdu* response = nullptr;
    SnmpPdu* request = createPdu(PduGetRequest);
    syncRequest(session, request, &response);
    agent.join();
    freePdu(response);
    ASSERT_FALSE(seen.empty());
    // The agent's check of the request: its own hook in the agent's role.
    SnmpSession verifier = agentRole(true, "user", key);
    verifier.contextLength = 3;
    std::memcpy(verifier.context, "ctx", 3);
    verifier.agentTime = 0;
    SnmpPdu pdu{};
    pdu.command = PduGetRequest;
    const int32_t paramsLength = seen[8];
    EXPECT_EQ(usecAuthenticate(seen.data(), static_cast<int32_t>(seen.size()), seen.data() + 9, paramsLength,
                               &verifier, &pdu),
              UsecAccepted);
    EXPECT_EQ(pdu.security.qoS, SecurityAuth | SecurityReportable);
    EXPECT_EQ(pdu.security.maxSize, 1450);
}

}  // namespace

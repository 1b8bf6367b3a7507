// The blocking request against a loopback peer that answers from a thread.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/engine_fixture.h"

namespace {

using SyncTest = EngineTest;

const uint32_t Uptime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};

// Plays the agent: for each received datagram, the replies made from its request id.
template <typename Script>
std::thread answer(LoopbackPeer& peer, Script script)
{
    return std::thread([&peer, script]() {
        std::vector<uint8_t> request = peer.receive(3000);
        if (request.empty())
            return;
        const int32_t id = DecodedPdu(request)->requestId;
        for (const std::vector<uint8_t>& reply : script(id))
            peer.reply(reply);
    });
}

SnmpSession* openSync(const LoopbackPeer& peer, const char* community = "public")
{
    SnmpSession settings = EngineTest::settingsFor(peer, community);
    syncInstall(&settings);
    return openSession(&settings);
}

TEST_F(SyncTest, InstallSetsTheCallbackAndClearsTheRecord)
{
    SyncWait& wait = syncWaitRecord();
    wait.waiting = 1;
    wait.status = 2;
    wait.requestId = 9;
    SnmpSession settings{};
    EXPECT_EQ(syncInstall(&settings), &settings);
    EXPECT_EQ(settings.callback, &syncCallback);
    EXPECT_EQ(settings.callbackArg, &wait);
    EXPECT_EQ(wait.waiting, 0);
    EXPECT_EQ(wait.status, 0);
    EXPECT_EQ(wait.requestId, 0);
    EXPECT_EQ(wait.response, nullptr);
}

TEST_F(SyncTest, NullPdu)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    SnmpPdu* response = reinterpret_cast<SnmpPdu*>(&peer);
    EXPECT_EQ(syncRequest(session, nullptr, &response), 1);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(peer.receive(50).size(), 0u);
}

TEST_F(SyncTest, FailedSendReleasesThePdu)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.peerName = nullptr;
    syncInstall(&settings);
    SnmpSession* session = openSession(&settings);
    SnmpPdu* response = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 1);  // LeakSanitizer checks the release
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(response, nullptr);
}

TEST_F(SyncTest, UnansweredCommandDoesNotWaitForever)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, createPdu(PduTrap), &response), 1);
    EXPECT_EQ(syncRequest(session, createPdu(PduResponse), &response), 1);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(peer.receive(50).size(), 0u);
}

TEST_F(SyncTest, ReplyIsCopiedForTheCaller)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    std::thread agent = answer(peer, [](int32_t id) {
        return std::vector<std::vector<uint8_t>>{encodeReply(0, "public", PduResponse, id, Uptime, 9)};
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->command, PduResponse);
    EXPECT_EQ(response->errorStatus, 0);
    ASSERT_NE(response->variables, nullptr);
    EXPECT_EQ(response->variables->nameLength, 9);
    EXPECT_EQ(response->variables->type, 2);
    int32_t value = 0;
    std::memcpy(&value, response->variables->value, 4);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(response->security.digestOffset, 0);
    EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
    EXPECT_EQ(syncWaitRecord().waiting, 0);
    freePdu(response);
}

TEST_F(SyncTest, ReplyWithAnotherIdDoesNotEndTheWait)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    std::thread agent = answer(peer, [](int32_t id) {
        return std::vector<std::vector<uint8_t>>{encodeReply(0, "public", PduResponse, id + 1000, Uptime, 9),
                                                 encodeReply(0, "public", PduResponse, id, Uptime, 9)};
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->requestId, syncWaitRecord().requestId);
    freePdu(response);
}

TEST_F(SyncTest, ReportWithTheAwaitedIdEndsTheWait)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    std::thread agent = answer(peer, [](int32_t id) {
        return std::vector<std::vector<uint8_t>>{encodeReply(0, "public", PduReport, id)};
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->command, PduReport);
    freePdu(response);
}

TEST_F(SyncTest, RequestWithTheAwaitedIdLosesToTheReply)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    std::thread agent = answer(peer, [](int32_t id) {
        return std::vector<std::vector<uint8_t>>{encodeReply(0, "public", PduGetRequest, id),
                                                 encodeReply(0, "public", PduResponse, id)};
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->command, PduResponse);
    freePdu(response);
}

TEST_F(SyncTest, TimesOutAfterTheLastTransmission)
{
    useFakeRandom(0);
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.retries = 3;
    settings.timeout = 20000;
    syncInstall(&settings);
    SnmpSession* session = openSession(&settings);
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 2);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(peer.drain(), 3);  // three transmissions in all, not four
    EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
}

TEST_F(SyncTest, ThreeBindingsAreDeepCopies)
{
    LoopbackPeer peer;
    SnmpSession* session = openSync(peer);
    std::thread agent = answer(peer, [](int32_t id) {
        SnmpSession plain{};
        plain.community = reinterpret_cast<const uint8_t*>("public");
        plain.communityLength = 6;
        SnmpPdu* pdu = createPdu(PduResponse);
        pdu->requestId = id;
        pdu->errorStatus = 0;
        pdu->errorIndex = 0;
        for (uint32_t i = 1; i <= 3; ++i) {
            const uint32_t name[] = {1, 3, 6, i};
            const std::string octets(i, static_cast<char>('a' + i));
            addVar(pdu, name, 4, ASN_OCTET_STR, octets.data(), static_cast<int32_t>(i));
        }
        return std::vector<std::vector<uint8_t>>{encodeAndFree(plain, pdu)};
    });
    SnmpPdu* response = nullptr;
    ASSERT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    ASSERT_NE(response, nullptr);
    int count = 0;
    for (VarBind* var = response->variables; var != nullptr; var = var->next) {
        ++count;
        EXPECT_EQ(var->name[3], static_cast<uint32_t>(count));
        EXPECT_EQ(var->valueLength, count);
        EXPECT_EQ(var->value[0], 'a' + count);
    }
    EXPECT_EQ(count, 3);
    freePdu(response);  // ASan: the copies are the caller's alone
}

TEST_F(SyncTest, OtherSessionsAreServedWhileWaiting)
{
    LoopbackPeer peer;
    LoopbackPeer otherPeer;
    Recorder recorder;
    SnmpSession otherSettings = settingsFor(otherPeer, "other", &recorder);
    SnmpSession* other = openSession(&otherSettings);
    const int32_t otherId = sendPdu(other, getRequest());
    ASSERT_NE(otherId, 0);
    SnmpSession* session = openSync(peer);

    std::thread agents([&]() {
        std::vector<uint8_t> request = peer.receive(3000);
        otherPeer.receive(3000);
        const int32_t id = DecodedPdu(request)->requestId;
        otherPeer.reply(encodeReply(0, "other", PduResponse, otherId));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer.reply(encodeReply(0, "public", PduResponse, id, Uptime, 9));
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agents.join();
    freePdu(response);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].requestId, otherId);
    EXPECT_EQ(findSessionSlot(other)->transport->pending, nullptr);
}

TEST_F(SyncTest, CallbackIgnoresOtherIdsAndMarksTimeouts)
{
    SyncWait& wait = syncWaitRecord();
    SnmpSession settings{};
    syncInstall(&settings);
    wait.requestId = 5;
    wait.waiting = 1;
    SnmpPdu* pdu = createPdu(PduResponse);
    EXPECT_EQ(syncCallback(SnmpOpReceived, nullptr, 6, pdu, &wait), 0);
    EXPECT_EQ(wait.waiting, 1);
    EXPECT_EQ(syncCallback(SnmpOpTimedOut, nullptr, 5, pdu, &wait), 1);
    EXPECT_EQ(wait.waiting, 0);
    EXPECT_EQ(wait.status, 2);
    EXPECT_EQ(wait.response, nullptr);
    freePdu(pdu);
}

}  // namespace

// The session layer against the project's test agent on loopback, in-process:
// replies that do not decode, replies with another request id, Reports, a
// reply for one session while another session's request waits, late and
// duplicated replies, and drops answered by retransmission. The agent's
// request log counts what the engine sent. Time is real but short, and the
// jitter of retransmissions is 0 (injected random source); the tests assert
// outcomes and counts, never durations.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/engine_fixture.h"
#include "tools/agent/test_agent.h"

using namespace testagent;

namespace {

const uint32_t SysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const OidVector SysNameOid(SysName, SysName + 9);
// Bounds for a failing test, not timings: a reply on loopback takes far less.
constexpr int32_t PatientTimeoutUs = 2000000;
constexpr int LogWaitMs = 5000;

class EngineAgentTest : public EngineTest {
protected:
    std::unique_ptr<TestAgent> startAgent(const Misbehaviour& misbehaviour = Misbehaviour())
    {
        AgentConfig config;
        config.misbehaviour = misbehaviour;
        std::unique_ptr<TestAgent> agent(new TestAgent(config));
        std::string error;
        EXPECT_TRUE(agent->start(&error)) << error;
        return agent;
    }

    // A session prepared for the synchronous request.
    static SnmpSession* openSyncTo(const TestAgent& agent, const char* community, int32_t retries, int32_t timeoutUs)
    {
        SnmpSession settings = sessionSettings(agent, community, retries, timeoutUs);
        syncInstall(&settings);
        return openSession(&settings);
    }

    static SnmpSession sessionSettings(const TestAgent& agent, const char* community, int32_t retries,
                                       int32_t timeoutUs)
    {
        SnmpSession settings{};
        settings.peerName = "127.0.0.1";
        settings.remotePort = agent.port();
        settings.community = reinterpret_cast<const uint8_t*>(community);
        settings.communityLength = static_cast<int32_t>(std::strlen(community));
        settings.retries = retries;
        settings.timeout = timeoutUs;
        return settings;
    }

    static SnmpPdu* sysNameRequest()
    {
        SnmpPdu* pdu = createPdu(PduGetRequest);
        addNullVar(pdu, SysName, 9);
        return pdu;
    }

    // Every datagram the engine sent so far has been logged: a marker with a
    // community the agent refuses goes out last and is waited for (loopback
    // keeps the order of one sender's datagrams). The entries before it.
    static std::vector<LogEntry> settledLog(const TestAgent& agent)
    {
        const int marker = ::socket(AF_INET, SOCK_DGRAM, 0);
        const std::vector<uint8_t> datagram = encodeReply(0, "marker", PduGetRequest, 4242, SysName, 9);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(agent.port());
        ::sendto(marker, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ::close(marker);
        for (size_t count = 1; agent.waitForLog(count, LogWaitMs); ++count) {
            std::vector<LogEntry> log = agent.log();
            if (log.size() >= count && log[count - 1].community == "marker") {
                log.resize(count - 1);
                return log;
            }
        }
        ADD_FAILURE() << "the marker never reached the agent's log";
        return agent.log();
    }

    // The response's first binding is the agent's sysName, octet for octet.
    static void expectSysName(const TestAgent& agent, const SnmpPdu* response)
    {
        ASSERT_NE(response, nullptr);
        ASSERT_NE(response->variables, nullptr);
        const VarBind* var = response->variables;
        EXPECT_EQ(OidVector(var->name, var->name + var->nameLength), SysNameOid);
        Variable stored;
        ASSERT_TRUE(agent.variable(SysNameOid, &stored));
        EXPECT_EQ(var->type, stored.type);
        EXPECT_EQ(std::vector<uint8_t>(var->value, var->value + var->valueLength), stored.value);
    }
};

// Releases a response at the end of a scope.
struct ResponseHolder {
    SnmpPdu* pdu = nullptr;
    ~ResponseHolder() { freePdu(pdu); }
};

TEST_F(EngineAgentTest, MangledReplyThenTheGoodOne)
{
    std::unique_ptr<TestAgent> agent = startAgent();
    struct Case {
        Mangle kind;
        const char* diagnostics;  // the decoder's own word first, where it has one
    };
    for (const Case& c : {Case{Mangle::Truncate, "Mangled packet\n"}, Case{Mangle::OuterLength, "Mangled packet\n"},
                          Case{Mangle::OuterTag, "Mangled packet\n"},
                          Case{Mangle::Version, "Wrong version: 3\nMangled packet\n"}}) {
        SCOPED_TRACE(mangleName(c.kind));
        Misbehaviour misbehaviour;
        misbehaviour.mangleFirst = c.kind;
        agent->setMisbehaviour(misbehaviour);
        agent->clearLog();
        // One transmission only: a lost good reply would end in a time-out.
        SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
        ASSERT_NE(session, nullptr);
        ResponseHolder response;
        testing::internal::CaptureStderr();
        const int32_t result = syncRequest(session, sysNameRequest(), &response.pdu);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.diagnostics);
        EXPECT_EQ(result, 0);
        expectSysName(*agent, response.pdu);
        EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
        const std::vector<LogEntry> log = settledLog(*agent);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].action, "answered");
        EXPECT_EQ(log[0].datagramsSent, 2);  // the mangled copy, then the reply
        EXPECT_EQ(closeSession(session), 1);
    }
}

TEST_F(EngineAgentTest, ResponseWithAnotherIdThenTheRightOne)
{
    std::unique_ptr<TestAgent> agent = startAgent();
    for (int32_t offset : {1000, 1, -1}) {
        SCOPED_TRACE(offset);
        Misbehaviour misbehaviour;
        misbehaviour.wrongIdFirst = true;
        misbehaviour.wrongIdOffset = offset;
        agent->setMisbehaviour(misbehaviour);
        agent->clearLog();
        SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
        ResponseHolder response;
        testing::internal::CaptureStderr();
        const int32_t result = syncRequest(session, sysNameRequest(), &response.pdu);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // dropped without a message
        EXPECT_EQ(result, 0);
        expectSysName(*agent, response.pdu);
        ASSERT_NE(response.pdu, nullptr);
        EXPECT_EQ(response.pdu->requestId, syncWaitRecord().requestId);
        const std::vector<LogEntry> log = settledLog(*agent);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].requestId, syncWaitRecord().requestId);
        EXPECT_EQ(log[0].datagramsSent, 2);
        closeSession(session);
    }
}

TEST_F(EngineAgentTest, PreviousRequestsReplyFirstIsNotTaken)
{
    Misbehaviour misbehaviour;
    misbehaviour.previousReplyFirst = true;
    std::unique_ptr<TestAgent> agent = startAgent(misbehaviour);
    SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
    // sysDescr first; then sysName, whose answer comes after sysDescr's again.
    const uint32_t sysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    SnmpPdu* first = createPdu(PduGetRequest);
    addNullVar(first, sysDescr, 9);
    ResponseHolder firstResponse;
    ASSERT_EQ(syncRequest(session, first, &firstResponse.pdu), 0);
    const int32_t firstId = syncWaitRecord().requestId;
    ResponseHolder response;
    ASSERT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
    EXPECT_NE(response.pdu->requestId, firstId);
    expectSysName(*agent, response.pdu);
    const std::vector<LogEntry> log = settledLog(*agent);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].datagramsSent, 2);
}

TEST_F(EngineAgentTest, ReportWithTheAwaitedIdEndsTheWait)
{
    struct Case {
        const char* community;
        int32_t errorStatus;  // -1: none given
    };
    for (const Case& c : {Case{"public", -1}, Case{"+public", -1}, Case{"public", 5}, Case{"+public", 5}}) {
        SCOPED_TRACE(std::string(c.community) + " status " + std::to_string(c.errorStatus));
        Misbehaviour misbehaviour;
        misbehaviour.report = true;
        misbehaviour.errorStatus = c.errorStatus;
        std::unique_ptr<TestAgent> agent = startAgent(misbehaviour);
        // Three transmissions allowed: had the Report not ended the wait, the
        // request would have gone out again.
        SnmpSession* session = openSyncTo(*agent, c.community, 3, PatientTimeoutUs);
        ResponseHolder response;
        EXPECT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
        ASSERT_NE(response.pdu, nullptr);
        EXPECT_EQ(response.pdu->command, PduReport);
        EXPECT_EQ(response.pdu->requestId, syncWaitRecord().requestId);
        EXPECT_EQ(response.pdu->errorStatus, c.errorStatus < 0 ? 0 : c.errorStatus);
        expectSysName(*agent, response.pdu);  // the Report carries the answer's binding
        EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
        EXPECT_EQ(settledLog(*agent).size(), 1u);
        closeSession(session);
    }
}

// A session whose callback counts what it is handed, readable from the
// agent's thread.
struct SharedRecorder {
    std::atomic<int> received{0};
    std::atomic<int> timedOut{0};
    std::atomic<int32_t> lastId{0};
    static int32_t callback(int32_t operation, SnmpSession*, int32_t requestId, SnmpPdu*, void* arg)
    {
        SharedRecorder* self = static_cast<SharedRecorder*>(arg);
        self->lastId = requestId;
        if (operation == SnmpOpReceived)
            ++self->received;
        else if (operation == SnmpOpTimedOut)
            ++self->timedOut;
        return 1;
    }
    // Waits (on another thread) until the counter reaches 1; false after 5 s.
    static bool awaitOne(const std::atomic<int>& counter)
    {
        for (int i = 0; i < 5000 && counter.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return counter.load() > 0;
    }
};

TEST_F(EngineAgentTest, ReplyForAnotherSessionWhileARequestWaits)
{
    SharedRecorder other;
    std::atomic<bool> sawOtherReply{false};
    std::unique_ptr<TestAgent> otherAgent = startAgent();
    std::unique_ptr<TestAgent> agent = startAgent();
    // The awaited agent answers only once the other session's reply has been
    // handed to its callback, which can happen only inside the wait.
    agent->setHook([&](ReceivedRequest&) {
        sawOtherReply = SharedRecorder::awaitOne(other.received);
        return HookOutcome{};
    });

    SnmpSession otherSettings = sessionSettings(*otherAgent, "public", 1, PatientTimeoutUs);
    otherSettings.callback = &SharedRecorder::callback;
    otherSettings.callbackArg = &other;
    SnmpSession* otherSession = openSession(&otherSettings);
    const int32_t otherId = sendPdu(otherSession, sysNameRequest());
    ASSERT_NE(otherId, 0);

    SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
    ResponseHolder response;
    EXPECT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
    expectSysName(*agent, response.pdu);
    EXPECT_TRUE(sawOtherReply.load());
    EXPECT_EQ(other.received.load(), 1);
    EXPECT_EQ(other.timedOut.load(), 0);
    EXPECT_EQ(other.lastId.load(), otherId);
    EXPECT_EQ(findSessionSlot(otherSession)->transport->pending, nullptr);
    EXPECT_EQ(settledLog(*otherAgent).size(), 1u);
    EXPECT_EQ(settledLog(*agent).size(), 1u);
}

TEST_F(EngineAgentTest, TimeOutOfAnotherSessionWhileARequestWaits)
{
    useFakeRandom(0);
    Misbehaviour silent;
    silent.dropFirst = 1000;
    SharedRecorder other;
    std::atomic<bool> sawOtherTimeout{false};
    std::unique_ptr<TestAgent> otherAgent = startAgent(silent);
    std::unique_ptr<TestAgent> agent = startAgent();
    agent->setHook([&](ReceivedRequest&) {
        sawOtherTimeout = SharedRecorder::awaitOne(other.timedOut);
        return HookOutcome{};
    });

    SnmpSession otherSettings = sessionSettings(*otherAgent, "public", 2, 20000);
    otherSettings.callback = &SharedRecorder::callback;
    otherSettings.callbackArg = &other;
    SnmpSession* otherSession = openSession(&otherSettings);
    const int32_t otherId = sendPdu(otherSession, sysNameRequest());
    ASSERT_NE(otherId, 0);

    SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
    ResponseHolder response;
    EXPECT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
    expectSysName(*agent, response.pdu);
    EXPECT_TRUE(sawOtherTimeout.load());
    EXPECT_EQ(other.timedOut.load(), 1);
    EXPECT_EQ(other.received.load(), 0);
    EXPECT_EQ(other.lastId.load(), otherId);
    EXPECT_EQ(findSessionSlot(otherSession)->transport->pending, nullptr);
    // Two transmissions in all for retries 2, both logged as dropped.
    const std::vector<LogEntry> log = settledLog(*otherAgent);
    ASSERT_EQ(log.size(), 2u);
    for (const LogEntry& entry : log) {
        EXPECT_EQ(entry.action, "dropped");
        EXPECT_EQ(entry.requestId, otherId);
    }
}

TEST_F(EngineAgentTest, DropsAreAnsweredByRetransmission)
{
    useFakeRandom(0);  // no jitter: each wait is the timeout alone
    struct Case {
        int32_t drops;
        int32_t retries;
        bool answered;
        size_t transmissions;
    };
    const Case cases[] = {
        {0, 1, true, 1},  {1, 1, false, 1}, {1, 0, false, 1}, {1, 2, true, 2},  {2, 2, false, 2},
        {2, 3, true, 3},  {3, 3, false, 3}, {9, 3, false, 3}, {5, 6, true, 6},  {0, 0, true, 1},
    };
    std::unique_ptr<TestAgent> agent = startAgent();
    for (const Case& c : cases) {
        SCOPED_TRACE("drops " + std::to_string(c.drops) + ", retries " + std::to_string(c.retries));
        Misbehaviour misbehaviour;
        misbehaviour.dropFirst = c.drops;
        agent->setMisbehaviour(misbehaviour);
        agent->clearLog();
        // A request that is to be answered gets time for the answer; one
        // that is not is given up soon.
        SnmpSession* session = openSyncTo(*agent, "public", c.retries, c.answered ? 100000 : 30000);
        ResponseHolder response;
        const int32_t result = syncRequest(session, sysNameRequest(), &response.pdu);
        const int32_t id = syncWaitRecord().requestId;
        if (c.answered) {
            EXPECT_EQ(result, 0);
            expectSysName(*agent, response.pdu);
        } else {
            EXPECT_EQ(result, 2);
            EXPECT_EQ(response.pdu, nullptr);
        }
        EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
        const std::vector<LogEntry> log = settledLog(*agent);
        ASSERT_EQ(log.size(), c.transmissions);
        for (size_t i = 0; i < log.size(); ++i) {
            SCOPED_TRACE("transmission " + std::to_string(i + 1));
            EXPECT_EQ(log[i].requestId, id);  // a retransmission keeps its id
            EXPECT_EQ(log[i].sourcePort, log[0].sourcePort);
            const bool last = i + 1 == log.size();
            EXPECT_EQ(log[i].action, c.answered && last ? "answered" : "dropped");
        }
        closeSession(session);
    }
}

// In one session, and with a session per request as the module's calls
// make them: the socket of a closed session serves the next one (the agent
// sees one source port), with whatever was left in it.
TEST_F(EngineAgentTest, DuplicateReplyIsDroppedByTheNextRequest)
{
    Misbehaviour misbehaviour;
    misbehaviour.duplicate = true;
    std::unique_ptr<TestAgent> agent = startAgent(misbehaviour);
    for (const bool sessionPerRequest : {false, true}) {
        SCOPED_TRACE(sessionPerRequest ? "a session per request" : "one session");
        agent->clearLog();
        SnmpSession* session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
        testing::internal::CaptureStderr();
        int32_t ids[3] = {0, 0, 0};
        for (int32_t& id : ids) {
            if (sessionPerRequest) {
                closeSession(session);
                session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
            }
            ResponseHolder response;
            EXPECT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
            id = syncWaitRecord().requestId;
            expectSysName(*agent, response.pdu);
            // The copy of the previous reply that waited in the socket was not taken for this one.
            ASSERT_NE(response.pdu, nullptr);
            EXPECT_EQ(response.pdu->requestId, id);
        }
        closeSession(session);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const std::vector<LogEntry> log = settledLog(*agent);
        ASSERT_EQ(log.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(log[i].requestId, ids[i]);
            EXPECT_EQ(log[i].datagramsSent, 2);
            EXPECT_EQ(log[i].sourcePort, log[0].sourcePort);
        }
    }
}

TEST_F(EngineAgentTest, LateReplyAfterTheTimeOutIsDroppedSilently)
{
    useFakeRandom(0);
    for (const bool sessionPerRequest : {false, true}) {
        SCOPED_TRACE(sessionPerRequest ? "a session per request" : "one session");
        Misbehaviour misbehaviour;
        misbehaviour.delayMs = 300;
        misbehaviour.misbehaveCount = 1;
        std::unique_ptr<TestAgent> agent = startAgent(misbehaviour);
        SnmpSession* session = openSyncTo(*agent, "public", 1, 20000);
        ResponseHolder timedOut;
        EXPECT_EQ(syncRequest(session, sysNameRequest(), &timedOut.pdu), 2);
        EXPECT_EQ(timedOut.pdu, nullptr);
        const int32_t lateId = syncWaitRecord().requestId;
        // Once the late reply went out it waits in the session's socket.
        for (int i = 0; i < LogWaitMs && agent->datagramsSent() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(agent->datagramsSent(), 1u);
        if (sessionPerRequest) {
            closeSession(session);
            session = openSyncTo(*agent, "public", 1, PatientTimeoutUs);
            // The kept socket was drained before it serves again.
            int queued = -1;
            ioctl(findSessionSlot(session)->transport->socket, FIONREAD, &queued);
            EXPECT_EQ(queued, 0);
        }

        testing::internal::CaptureStderr();
        ResponseHolder response;
        EXPECT_EQ(syncRequest(session, sysNameRequest(), &response.pdu), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_NE(response.pdu, nullptr);
        EXPECT_NE(response.pdu->requestId, lateId);
        expectSysName(*agent, response.pdu);
        closeSession(session);
        const std::vector<LogEntry> log = settledLog(*agent);
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[1].sourcePort, log[0].sourcePort);
    }
}

}  // namespace

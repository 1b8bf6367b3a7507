// A host process that already holds more descriptors than select's classic
// set can name still gets its answers: the session socket lands above 1024.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <thread>

#include "tests/support/engine_fixture.h"

namespace {

using ManyDescriptors = EngineTest;

TEST_F(ManyDescriptors, SessionSocketAbove1024)
{
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t wanted = 1200;
    if (limit.rlim_cur < wanted) {
        if (limit.rlim_max < wanted)
            GTEST_SKIP() << "the hard descriptor limit is below " << wanted;
        rlimit raised = limit;
        raised.rlim_cur = wanted;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    }
    std::vector<int> held;
    while (held.size() < 1100) {
        const int fd = dup(0);
        ASSERT_GE(fd, 0);
        held.push_back(fd);
    }

    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    syncInstall(&settings);
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    EXPECT_GT(findSessionSlot(session)->transport->socket, 1024);

    std::thread agent([&]() {
        const std::vector<uint8_t> request = peer.receive(3000);
        if (!request.empty())
            peer.reply(encodeReply(0, "public", PduResponse, DecodedPdu(request)->requestId));
    });
    SnmpPdu* response = nullptr;
    EXPECT_EQ(syncRequest(session, getRequest(), &response), 0);
    agent.join();
    EXPECT_NE(response, nullptr);
    freePdu(response);
    closeSession(session);

    for (int fd : held)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

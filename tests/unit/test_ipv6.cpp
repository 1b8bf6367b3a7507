// IPv6 peers: the forms of the peer text, a socket of the peer's family, the
// sender check per family, what is kept per agent keyed per family, and a get
// over ::1 from the test agent.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "snmp/security/common/address_table.h"
#include "snmp/transport/receive.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/socket_state.h"
#include "tools/agent/test_agent.h"

namespace {

class Ipv6Test : public EngineTest {};

Endpoint mappedLoopback(uint16_t port)
{
    Endpoint mapped = loopbackEndpoint(port, EndpointIPv6);
    const uint8_t tail[6] = {0xFF, 0xFF, 127, 0, 0, 1};
    std::memcpy(mapped.address + 10, tail, sizeof tail);
    return mapped;
}

TEST_F(Ipv6Test, PeerFormsAndTheSocketsFamily)
{
    LoopbackPeer peer(EndpointIPv6);
    const struct {
        const char* name;
        uint8_t family;  // EndpointNone: an unknown host
        bool ipv6Loopback;
    } rows[] = {
        {"::1", EndpointIPv6, true},
        {"[::1]", EndpointIPv6, true},
        {"0:0:0:0:0:0:0:1", EndpointIPv6, true},
        {"::ffff:127.0.0.1", EndpointIPv6, false},  // an IPv4-mapped address stays IPv6
        {"127.0.0.1", EndpointIPv4, false},
        {"localhost", EndpointIPv4, false},
        {"[::1]:161", EndpointNone, false},  // the port is an argument of its own
        {"[127.0.0.1]", EndpointNone, false},
        {"[localhost]", EndpointNone, false},
        {"[::1", EndpointNone, false},
        {"::1]", EndpointNone, false},
        {"[]", EndpointNone, false},
        {":::1", EndpointNone, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SnmpSession settings = settingsFor(peer, "public");
        settings.peerName = row.name;
        testing::internal::CaptureStderr();
        SnmpSession* session = openSession(&settings);
        const std::string said = testing::internal::GetCapturedStderr();
        if (row.family == EndpointNone) {
            EXPECT_EQ(session, nullptr);
            EXPECT_EQ(said, std::string("unknown host: ") + row.name + "\n");
            EXPECT_EQ(libraryState().lastError, SnmpErrUnknownHost);
            continue;
        }
        ASSERT_NE(session, nullptr);
        const SessionTransport* transport = findSessionSlot(session)->transport;
        EXPECT_EQ(transport->peerAddress.family, row.family);
        if (row.ipv6Loopback) {
            EXPECT_TRUE(sameEndpoint(transport->peerAddress, loopbackEndpoint(peer.port(), EndpointIPv6)));
        }
        Endpoint local;
        ASSERT_TRUE(winLocalEndpoint(transport->socket, &local));
        EXPECT_EQ(local.family, row.family);
        closeSession(session);
    }
    // Each family keeps a socket of its own.
    EXPECT_TRUE(libraryState().kept[0].held);
    EXPECT_TRUE(libraryState().kept[1].held);
}

// The sender check: family, address, port and scope, and an IPv4-mapped
// address is not its IPv4 address.
TEST(EndpointTest, SameSenderPerFamily)
{
    Endpoint scoped = loopbackEndpoint(161, EndpointIPv6);
    scoped.scopeId = 1;
    Endpoint anyIpv4 = loopbackEndpoint(161);
    anyIpv4.address[0] = anyIpv4.address[3] = 0;  // octets that begin ::1 too
    const struct {
        Endpoint asked, from;
        bool same;
    } rows[] = {
        {loopbackEndpoint(161), loopbackEndpoint(161), true},
        {loopbackEndpoint(161, EndpointIPv6), loopbackEndpoint(161, EndpointIPv6), true},
        {loopbackEndpoint(161), loopbackEndpoint(161, EndpointIPv6), false},
        {loopbackEndpoint(161, EndpointIPv6), loopbackEndpoint(161), false},
        {loopbackEndpoint(161), mappedLoopback(161), false},
        {loopbackEndpoint(161, EndpointIPv6), loopbackEndpoint(162, EndpointIPv6), false},
        {loopbackEndpoint(161, EndpointIPv6), scoped, false},
        {loopbackEndpoint(161, EndpointIPv6), mappedLoopback(161), false},
        {anyIpv4, loopbackEndpoint(161, EndpointIPv6), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(sameEndpoint(row.asked, row.from), row.same) << &row - rows;
}

// A reply to a request sent to ::1 counts only from ::1 and the port asked;
// an IPv6 socket never hears IPv4 senders at all.
TEST_F(Ipv6Test, ReplyFromAnotherIpv6PortIsRefused)
{
    LoopbackPeer peer(EndpointIPv6);
    Recorder recorder;
    SnmpSession settings = settingsFor(peer, "public", &recorder);
    settings.peerName = "::1";
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    const SOCKET engineSocket = findSessionSlot(session)->transport->socket;
    int v6Only = 0;
    socklen_t length = sizeof v6Only;
    ASSERT_EQ(getsockopt(engineSocket, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, &length), 0);
    EXPECT_EQ(v6Only, 1);

    const int32_t id = sendPdu(session, createPdu(PduGetRequest));
    ASSERT_FALSE(peer.receive().empty());
    const std::vector<uint8_t> reply = encodeReply(0, "public", PduResponse, id);
    Endpoint engine;
    ASSERT_TRUE(winLocalEndpoint(engineSocket, &engine));
    sockaddr_storage to;
    const int toLength = winSockaddrOf(loopbackEndpoint(engine.port, EndpointIPv6), &to);
    uint16_t strangerPort = 0;
    const SOCKET stranger = boundLoopbackSocket(&strangerPort, EndpointIPv6);
    winSendto(stranger, reply.data(), reply.size(), reinterpret_cast<const sockaddr*>(&to), toLength);
    closesocket(stranger);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(readableWithin(engineSocket, 2000));
    WinFdSet set;
    winFdZero(&set);
    winFdSet(engineSocket, &set);
    readSockets(&set);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Reply from another sender (::1:" + std::to_string(strangerPort) + ")\n");
    EXPECT_TRUE(recorder.calls.empty());

    peer.reply(reply);
    ASSERT_TRUE(readableWithin(engineSocket, 2000));
    winFdSet(engineSocket, &set);
    readSockets(&set);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].operation, SnmpOpReceived);
}

// Known agents, known engines and bulk refusals share one table shape: an
// agent over IPv6 is another entry than the same port over IPv4.
TEST(EndpointTest, KeptPerAgentKeyedPerFamily)
{
    struct Entry {
        AgentAddress at;
        uint64_t lastUse;
        int value;
    };
    AddressTable<Entry, 4> table = {};
    table.claim(loopbackEndpoint(161))->value = 4;
    table.claim(loopbackEndpoint(161, EndpointIPv6))->value = 6;
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.find(mappedLoopback(161)), nullptr);
    table.drop(loopbackEndpoint(161, EndpointIPv6));
    EXPECT_EQ(table.find(loopbackEndpoint(161, EndpointIPv6)), nullptr);
    ASSERT_NE(table.find(loopbackEndpoint(161)), nullptr);
    EXPECT_EQ(table.find(loopbackEndpoint(161))->value, 4);
}

// A whole exchange with the test agent listening on ::1.
TEST_F(Ipv6Test, GetFromTheTestAgentOverIpv6)
{
    testagent::AgentConfig config;
    config.address = "::1";
    testagent::TestAgent agent(config);
    std::string error;
    ASSERT_TRUE(agent.start(&error)) << error;
    SnmpSession settings{};
    settings.peerName = "[::1]";
    settings.remotePort = agent.port();
    settings.community = reinterpret_cast<const uint8_t*>("public");
    settings.communityLength = 6;
    settings.retries = 3;
    settings.timeout = 2000000;
    syncInstall(&settings);
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    const uint32_t sysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    SnmpPdu* request = createPdu(PduGetRequest);
    addNullVar(request, sysName, 9);
    SnmpPdu* response = nullptr;
    ASSERT_EQ(syncRequest(session, request, &response), 0);
    ASSERT_NE(response->variables, nullptr);
    EXPECT_EQ(response->variables->type, ASN_OCTET_STR);
    EXPECT_TRUE(sameEndpoint(response->peerAddress, loopbackEndpoint(agent.port(), EndpointIPv6)));
    freePdu(response);
    closeSession(session);
}

}  // namespace

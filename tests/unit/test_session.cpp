// Opening, closing and sending: defaults, communities, peers, request ids.
#include <gtest/gtest.h>


#include <string>

#include "tests/support/engine_fixture.h"

namespace {

using SessionTest = EngineTest;

TEST_F(SessionTest, CommunityForms)
{
    struct Case {
        const char* community;
        int32_t callerVersion;
        std::string sent;
        int32_t version;
    };
    const Case cases[] = {
        {"", 0, "kolbur", 0},        // empty: the default community, version unchanged
        {"", 1, "kolbur", 1},
        {"public", 0, "public", 0},
        {"+public", 0, "public", 1}, // '+': SNMPv2c, one byte shorter
        {"+", 0, "", 1},
        {"++x", 0, "+x", 1},
    };
    LoopbackPeer peer;
    for (const Case& c : cases) {
        SnmpSession settings = settingsFor(peer, c.community);
        settings.version = c.callerVersion;
        SnmpSession* session = openSession(&settings);
        ASSERT_NE(session, nullptr) << c.community;
        EXPECT_EQ(session->communityLength, static_cast<int32_t>(c.sent.size())) << c.community;
        ASSERT_NE(sendPdu(session, getRequest()), 0);
        int32_t version = -1;
        EXPECT_EQ(communityOf(peer.receive(), &version), c.sent) << c.community;
        EXPECT_EQ(version, c.version) << c.community;
        EXPECT_EQ(closeSession(session), 1);
    }
}

TEST_F(SessionTest, DefaultsOfTheCopy)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.retries = -1;
    settings.timeout = -1;
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->retries, 6);
    EXPECT_EQ(session->timeout, 300000);
    EXPECT_EQ(session->maxMessageSize, 1389);
    EXPECT_NE(session, &settings);
    EXPECT_NE(session->peerName, settings.peerName);  // the engine's own copy
    EXPECT_STREQ(session->peerName, "127.0.0.1");

    settings.retries = 0;
    settings.timeout = 0;
    settings.maxMessageSize = 700;
    SnmpSession* other = openSession(&settings);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->retries, 0);
    EXPECT_EQ(other->timeout, 0);
    EXPECT_EQ(other->maxMessageSize, 700);
    // Newest first in the session list.
    EXPECT_EQ(libraryState().sessions->session, other);
    EXPECT_EQ(libraryState().sessions->next->session, session);
}

TEST_F(SessionTest, RemotePortZeroMeans161)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.remotePort = 0;
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(findSessionSlot(session)->transport->peerAddress.port, 161);
}

TEST_F(SessionTest, PeerNames)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.peerName = "localhost";
    SnmpSession* named = openSession(&settings);
    ASSERT_NE(named, nullptr);
    EXPECT_TRUE(sameEndpoint(findSessionSlot(named)->transport->peerAddress, loopbackEndpoint(peer.port())));

    // The empty name is the local host, as Winsock answers it (nothing is sent here).
    settings.peerName = "";
    SnmpSession* local = openSession(&settings);
    ASSERT_NE(local, nullptr);
    EXPECT_FALSE(endpointUnspecified(findSessionSlot(local)->transport->peerAddress));

    // The all-ones address is the dotted conversion's failure value, so it is looked up as a
    // name; Winsock's short and hexadecimal forms are addresses.
    const std::pair<const char*, in_addr_t> addresses[] = {
        {"255.255.255.255", INADDR_NONE}, {"127.1", htonl(INADDR_LOOPBACK)}, {"0x7f000001", htonl(INADDR_LOOPBACK)}};
    for (const auto& a : addresses) {
        settings.peerName = a.first;
        SnmpSession* session = openSession(&settings);
        ASSERT_NE(session, nullptr) << a.first;
        uint32_t address;
        std::memcpy(&address, findSessionSlot(session)->transport->peerAddress.address, sizeof address);
        EXPECT_EQ(address, a.second) << a.first;
    }
}

TEST_F(SessionTest, UnknownHostFailsTheOpenAndLeavesNothing)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.peerName = "no-such-host.invalid";
    testing::internal::CaptureStderr();
    EXPECT_EQ(openSession(&settings), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown host: no-such-host.invalid\n");
    EXPECT_EQ(libraryState().lastError, -3);
    EXPECT_EQ(libraryState().sessions, nullptr);
}

TEST_F(SessionTest, BindFailureFailsTheOpen)
{
    // Hold a port on every address so that the engine's bind must fail.
    const SOCKET holder = winUdpSocket(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);

    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.localPort = ntohs(address.sin_port);
    testing::internal::CaptureStderr();
    EXPECT_EQ(openSession(&settings), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("bind: ", 0), 0u);
    EXPECT_EQ(libraryState().lastError, -2);
    EXPECT_EQ(libraryState().sessions, nullptr);
    closesocket(holder);
}

// A port that was free a moment ago.
uint16_t freeUdpPort()
{
    const SOCKET probe = winUdpSocket(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

// A port the caller chose is bound, and released with the session, free for
// anyone at once; a socket of the system's choice is kept for the next
// session (also one that names its port), never inherited by a child
// process, and closed when the kept sockets are released.
TEST_F(SessionTest, ChosenPortIsBoundAndReleasedAndAPortOfTheSystemsChoiceKept)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.localPort = freeUdpPort();
    SnmpSession* chosen = openSession(&settings);
    ASSERT_NE(chosen, nullptr);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(findSessionSlot(chosen)->transport->socket, reinterpret_cast<sockaddr*>(&bound), &length);
    EXPECT_EQ(ntohs(bound.sin_port), settings.localPort);
    closeSession(chosen);
    EXPECT_FALSE(libraryState().kept[0].held);
    const SOCKET again = winUdpSocket(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings.localPort);
    EXPECT_EQ(bind(again, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    closesocket(again);

    settings.localPort = 0;
    SnmpSession* first = openSession(&settings);
    ASSERT_NE(first, nullptr);
    const SOCKET socketOfFirst = findSessionSlot(first)->transport->socket;
    EXPECT_FALSE(socketInherited(socketOfFirst));
    closeSession(first);
    ASSERT_TRUE(libraryState().kept[0].held);
    SnmpSession* second = openSession(&settings);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(findSessionSlot(second)->transport->socket, socketOfFirst);
    closeSession(second);
    // The kept socket holds its port: a session that names it gets the socket.
    getsockname(socketOfFirst, reinterpret_cast<sockaddr*>(&bound), &length);
    settings.localPort = ntohs(bound.sin_port);
    SnmpSession* named = openSession(&settings);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(findSessionSlot(named)->transport->socket, socketOfFirst);
    closeSession(named);
    ASSERT_TRUE(libraryState().kept[0].held);
    releaseKeptSockets();
    EXPECT_FALSE(libraryState().kept[0].held);
    EXPECT_FALSE(socketOpen(socketOfFirst));
}

TEST_F(SessionTest, CloseTwice)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(closeSession(session), 1);
    EXPECT_EQ(closeSession(session), 0);
    EXPECT_EQ(libraryState().lastError, -4);
    EXPECT_EQ(closeSession(nullptr), 0);
}

TEST_F(SessionTest, SendChecks)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    EXPECT_EQ(sendPdu(session, nullptr), 0);
    EXPECT_EQ(libraryState().lastError, -1);
    SnmpPdu* pdu = getRequest();
    SnmpSession notOpen{};
    EXPECT_EQ(sendPdu(&notOpen, pdu), 0);
    EXPECT_EQ(libraryState().lastError, -4);
    freePdu(pdu);
}

TEST_F(SessionTest, ErrorTexts)
{
    EXPECT_STREQ(errorText(-1), "Unknown Error");
    EXPECT_STREQ(errorText(-2), "Invalid local port");
    EXPECT_STREQ(errorText(-3), "Unknown host");
    EXPECT_STREQ(errorText(-4), "Unknown session");
    EXPECT_STREQ(errorText(0), "Unknown Error");
    EXPECT_STREQ(errorText(-5), "Unknown Error");
}

TEST_F(SessionTest, RequestIdsAcrossSessions)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* first = openSession(&settings);
    SnmpSession* second = openSession(&settings);
    EXPECT_EQ(sendPdu(first, getRequest()), 1);
    EXPECT_EQ(sendPdu(second, getRequest()), 2);
    SnmpPdu* preset = getRequest();
    preset->requestId = 7;
    EXPECT_EQ(sendPdu(first, preset), 7);
    EXPECT_EQ(libraryState().lastRequestId, 2);
    EXPECT_EQ(sendPdu(second, getRequest()), 3);
    for (int32_t id : {1, 2, 7, 3})
        EXPECT_EQ(DecodedPdu(peer.receive())->requestId, id);
}

uint32_t entropyValue = 0;
uint32_t fixedEntropy() { return entropyValue; }

TEST_F(SessionTest, FirstRequestIdOfALoadIsRandom)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    setEntropySource(&fixedEntropy);
    // 31 bits of it, never 0; then counting up.
    const std::pair<uint32_t, int32_t> cases[] = {{0x80000005u, 5}, {0, 1}, {0xFFFFFFFFu, 0x7FFFFFFF}};
    for (const auto& c : cases) {
        entropyValue = c.first;
        libraryState().requestIdsStarted = false;
        EXPECT_EQ(sendPdu(session, getRequest()), c.second);
        EXPECT_EQ(sendPdu(session, getRequest()), static_cast<int32_t>(static_cast<uint32_t>(c.second) + 1u));
    }
    // From the system's generator, two loads do not start alike.
    setEntropySource(nullptr);
    libraryState().requestIdsStarted = false;
    const int32_t one = sendPdu(session, getRequest());
    libraryState().requestIdsStarted = false;
    EXPECT_NE(sendPdu(session, getRequest()), one);
}

TEST_F(SessionTest, RequestIdsNeverZero)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    libraryState().lastRequestId = -1;
    EXPECT_EQ(sendPdu(session, getRequest()), 1);
    libraryState().lastRequestId = 0x7FFFFFFF;
    EXPECT_EQ(sendPdu(session, getRequest()), static_cast<int32_t>(0x80000000u));
}

TEST_F(SessionTest, RequestDefaultsAreFilledIn)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    SnmpPdu* pdu = getRequest();
    ASSERT_EQ(pdu->errorStatus, -1);
    ASSERT_NE(sendPdu(session, pdu), 0);
    // The engine owns the PDU now; it is the pending entry's.
    PendingRequest* entry = findSessionSlot(session)->transport->pending;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pdu, pdu);
    EXPECT_EQ(entry->sendCount, 1);
    EXPECT_EQ(entry->timeout, 500000);
    DecodedPdu sent(peer.receive());
    EXPECT_EQ(sent->errorStatus, 0);
    EXPECT_EQ(sent->errorIndex, 0);
}

TEST_F(SessionTest, ResponsesAndTrapsAreNotRemembered)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);

    SnmpPdu* response = createPdu(PduResponse);
    EXPECT_EQ(sendPdu(session, response), 1);
    EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
    freePdu(response);

    SnmpPdu* trap = createPdu(PduTrap);
    trap->requestId = 55;
    trap->genericTrap = 6;
    trap->specificTrap = 17;
    trap->timeStamp = 1234;
    EXPECT_EQ(sendPdu(session, trap), 1);
    EXPECT_EQ(trap->requestId, 1);
    EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
    freePdu(trap);
    EXPECT_EQ(libraryState().lastRequestId, 1);  // only the response took an id

    peer.receive();
    DecodedPdu sent(peer.receive());
    ASSERT_EQ(sent->command, PduTrap);
    ASSERT_EQ(sent->enterpriseLength, 9);
    const uint32_t expected[] = {1, 3, 6, 1, 4, 1, 3, 1, 1};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(sent->enterprise[i], expected[i]);
    EXPECT_EQ(sent->specificTrap, 17);
    EXPECT_EQ(sent->timeStamp, 1234u);
}

TEST_F(SessionTest, TrapKeepsItsOwnEnterprise)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    SnmpPdu* trap = createPdu(PduTrap);
    trap->enterprise = static_cast<uint32_t*>(std::calloc(3, sizeof(uint32_t)));
    trap->enterprise[0] = 1;
    trap->enterprise[1] = 3;
    trap->enterprise[2] = 99;
    trap->enterpriseLength = 3;
    EXPECT_EQ(sendPdu(session, trap), 1);
    freePdu(trap);
    DecodedPdu sent(peer.receive());
    ASSERT_EQ(sent->enterpriseLength, 3);
    EXPECT_EQ(sent->enterprise[2], 99u);
}

TEST_F(SessionTest, SessionWithoutPeer)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    settings.peerName = nullptr;
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);

    SnmpPdu* pdu = getRequest();
    testing::internal::CaptureStderr();
    EXPECT_EQ(sendPdu(session, pdu), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No remote IP address specified\n");
    EXPECT_EQ(libraryState().lastError, -3);

    // A PDU that carries its own destination goes out.
    pdu->peerAddress = loopbackEndpoint(peer.port());
    EXPECT_NE(sendPdu(session, pdu), 0);
    EXPECT_FALSE(peer.receive().empty());
}

TEST_F(SessionTest, EncodingFailureSendsNothing)
{
    LoopbackPeer peer;
    SnmpSession settings = settingsFor(peer, "public");
    SnmpSession* session = openSession(&settings);
    SnmpPdu* pdu = createPdu(PduSetRequest);
    const uint32_t name[] = {1, 3};
    VarBind* var = addNullVar(pdu, name, 2);
    var->type = 70;  // a Counter64 needs 8 value octets
    var->value = static_cast<uint8_t*>(std::calloc(1, 4));
    var->valueLength = 4;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sendPdu(session, pdu), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error building packet\n");
    EXPECT_EQ(libraryState().lastError, -1);
    EXPECT_EQ(libraryState().lastRequestId, 1);  // the id was assigned before encoding
    EXPECT_EQ(findSessionSlot(session)->transport->pending, nullptr);
    EXPECT_EQ(peer.receive(100).size(), 0u);
    freePdu(pdu);
}

TEST_F(SessionTest, CloseReleasesPendingRequestsWithoutCallbacks)
{
    LoopbackPeer peer;
    Recorder recorder;
    SnmpSession settings = settingsFor(peer, "public", &recorder);
    SnmpSession* session = openSession(&settings);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(sendPdu(session, getRequest()), 0);
    EXPECT_EQ(closeSession(session), 1);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(SessionTest, TimeOfDayReadsTheRuntimeClock)
{
    useFakeClock(1700000000123);
    TimeOfDay now{};
    EXPECT_EQ(timeOfDay(&now), 0);
    EXPECT_EQ(now.seconds, 1700000000);
    EXPECT_EQ(now.microseconds, 123000);
}

TEST(TimeArithmetic, AddAndCompare)
{
    const TimeOfDay t{10, 999000};
    TimeOfDay later = addMicroseconds(t, 1500);
    EXPECT_EQ(later.seconds, 11);
    EXPECT_EQ(later.microseconds, 500);
    later = addMicroseconds(t, 3000000);
    EXPECT_EQ(later.seconds, 13);
    EXPECT_EQ(later.microseconds, 999000);
    const TimeOfDay earlier = addMicroseconds(t, -1000000);
    EXPECT_EQ(earlier.seconds, 9);
    EXPECT_EQ(earlier.microseconds, 999000);
    EXPECT_TRUE(isEarlier(TimeOfDay{10, 5}, TimeOfDay{10, 6}));
    EXPECT_TRUE(isEarlier(TimeOfDay{9, 999999}, TimeOfDay{10, 0}));
    EXPECT_FALSE(isEarlier(t, t));
}

}  // namespace

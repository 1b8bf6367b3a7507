// The platform's sockets over Winsock 2: what the engine relies on where
// Winsock differs from BSD sockets.
#include <gtest/gtest.h>

#include <cerrno>
#include <cctype>
#include <string>

#include "platform/runtime.h"
#include "platform/winsock.h"

namespace {

struct Socket {
    SOCKET handle = winUdpSocket(AF_INET);
    ~Socket() { closesocket(handle); }
};

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Binds to a port of the system's choice on loopback and answers it.
uint16_t bindLoopback(SOCKET sock)
{
    sockaddr_in address = loopback(0);
    EXPECT_EQ(winBind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int length = sizeof address;
    getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int receiveWithin(SOCKET sock, char* buffer, int length, long microseconds)
{
    sockaddr_in from;
    int fromLength = sizeof from;
    const timeval wait = {0, microseconds};
    return winRecvfromWithin(sock, buffer, length, reinterpret_cast<sockaddr*>(&from), &fromLength, &wait);
}

TEST(WinsockOnWindows, SocketIsPointerSized) { EXPECT_EQ(sizeof(SOCKET), sizeof(void*)); }

// An ICMP port-unreachable for an earlier datagram must not end the wait for
// the reply (Winsock reports it as WSAECONNRESET unless told not to). Under
// wine the Linux kernel reports no ICMP error to an unconnected UDP socket,
// so there this passes either way; on Windows it tells.
TEST(WinsockOnWindows, PortUnreachableDoesNotEndTheWait)
{
    Socket sender;
    Socket closed;
    bindLoopback(sender.handle);
    const sockaddr_in gone = loopback(bindLoopback(closed.handle));
    closesocket(closed.handle);
    closed.handle = INVALID_SOCKET;
    ASSERT_EQ(winSendto(sender.handle, "ping", 4, reinterpret_cast<const sockaddr*>(&gone), sizeof gone), 4);
    char buffer[16];
    EXPECT_EQ(receiveWithin(sender.handle, buffer, sizeof buffer, 100000), SOCKET_ERROR);
    EXPECT_EQ(errno, ETIMEDOUT);
}

struct ReceiveCase {
    const char* name;
    int datagram;   // octets sent, 0 for none
    int buffer;     // octets of room
    int result;     // octets answered, or SOCKET_ERROR
    int error;      // errno then
};

class WinsockReceive : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(WinsockReceive, AnswersAndErrors)
{
    const ReceiveCase& c = GetParam();
    Socket a;
    Socket b;
    const sockaddr_in to = loopback(bindLoopback(b.handle));
    char data[64] = "0123456789abcdef0123456789abcdef";
    if (c.datagram > 0) {
        ASSERT_EQ(winSendto(a.handle, data, c.datagram, reinterpret_cast<const sockaddr*>(&to), sizeof to), c.datagram);
    }
    char buffer[64];
    const int64_t started = runtimeClockMicroseconds();
    errno = 0;
    EXPECT_EQ(receiveWithin(b.handle, buffer, c.buffer, 50000), c.result);
    if (c.result == SOCKET_ERROR) {
        EXPECT_EQ(errno, c.error);
    }
    if (c.datagram == 0) {
        EXPECT_GE(runtimeClockMicroseconds() - started, 50000);  // never before its time
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WinsockReceive,
                         ::testing::Values(ReceiveCase{"whole", 16, 64, 16, 0},
                                           ReceiveCase{"longer than the buffer", 32, 8, SOCKET_ERROR, EMSGSIZE},
                                           ReceiveCase{"nothing in time", 0, 64, SOCKET_ERROR, ETIMEDOUT}),
                         [](const ::testing::TestParamInfo<ReceiveCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(WinsockOnWindows, SelectWithoutSocketsIsRefused)
{
    WinFdSet empty;
    winFdZero(&empty);
    const timeval now = {0, 0};
    EXPECT_EQ(winSelect(0, &empty, nullptr, nullptr, &now), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace

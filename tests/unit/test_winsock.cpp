#include "platform/winsock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A UDP socket bound to 127.0.0.1 on a port of the system's choice, closed
// at the end of the test; made by winUdpSocket when asked.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool platforms = false)
    {
        sock_ = platforms ? winUdpSocket(AF_INET) : socket(AF_INET, SOCK_DGRAM, 0);
        if (sock_ == INVALID_SOCKET)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = winInetAddr("127.0.0.1");
        address.sin_port = htons(0);
        if (bind(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            closesocket(sock_);
            sock_ = INVALID_SOCKET;
            return;
        }
        socklen_t length = sizeof address;
        getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket()
    {
        if (sock_ != INVALID_SOCKET)
            closesocket(sock_);
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    SOCKET get() const { return sock_; }
    unsigned short port() const { return port_; }

private:
    SOCKET sock_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

sockaddr_in loopbackAddress(unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = winInetAddr("127.0.0.1");
    address.sin_port = htons(port);
    return address;
}

// Sends one datagram from `from` to the loopback port.
bool sendDatagram(SOCKET from, unsigned short port, const std::string& text)
{
    const sockaddr_in to = loopbackAddress(port);
    return sendto(from, text.data(), static_cast<int>(text.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<int>(text.size());
}

std::vector<SOCKET> membersOf(const WinFdSet& set)
{
    return std::vector<SOCKET>(set.fd_array, set.fd_array + set.fd_count);
}

timeval seconds(long whole, long micro = 0)
{
    timeval t;
    t.tv_sec = whole;
    t.tv_usec = micro;
    return t;
}

int64_t nowMicroseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// --- the set helpers ---------------------------------------------------------

TEST(WinFdSet, ZeroSetAndTest)
{
    WinFdSet set;
    set.fd_count = 17;
    winFdZero(&set);
    EXPECT_EQ(set.fd_count, 0u);
    EXPECT_EQ(__WSAFDIsSet(5, &set), 0);

    winFdSet(5, &set);
    winFdSet(2000, &set);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{5, 2000}));
    EXPECT_NE(__WSAFDIsSet(5, &set), 0);
    EXPECT_NE(winFdIsSet(2000, &set), 0);
    EXPECT_EQ(__WSAFDIsSet(6, &set), 0);
}

TEST(WinFdSet, AddingTwiceKeepsOneEntry)
{
    WinFdSet set;
    winFdZero(&set);
    winFdSet(9, &set);
    winFdSet(9, &set);
    winFdSet(3, &set);
    winFdSet(9, &set);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{9, 3}));
}

TEST(WinFdSet, HoldsAtMostSixtyFourSockets)
{
    WinFdSet set;
    winFdZero(&set);
    for (SOCKET s = 1000; s < 1000 + 70; ++s)
        winFdSet(s, &set);
    ASSERT_EQ(set.fd_count, static_cast<UINT>(WIN_FD_SETSIZE));
    EXPECT_EQ(WIN_FD_SETSIZE, 64);
    EXPECT_NE(__WSAFDIsSet(1000, &set), 0);
    EXPECT_NE(__WSAFDIsSet(1063, &set), 0);
    EXPECT_EQ(__WSAFDIsSet(1064, &set), 0);
    EXPECT_EQ(__WSAFDIsSet(1069, &set), 0);

    // Room again after a removal.
    winFdClr(1010, &set);
    winFdSet(1069, &set);
    EXPECT_EQ(set.fd_count, 64u);
    EXPECT_EQ(__WSAFDIsSet(1010, &set), 0);
    EXPECT_NE(__WSAFDIsSet(1069, &set), 0);
}

TEST(WinFdSet, ClearKeepsTheOrderOfTheOthers)
{
    WinFdSet set;
    winFdZero(&set);
    for (SOCKET s : {4, 8, 15, 16, 23, 42})
        winFdSet(s, &set);
    winFdClr(15, &set);
    winFdClr(99, &set);  // not there: nothing changes
    winFdClr(4, &set);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{8, 16, 23, 42}));
}

TEST(WinFdSet, MembershipTestNeverReadsPastTheArray)
{
    WinFdSet set;
    winFdZero(&set);
    for (SOCKET s = 0; s < WIN_FD_SETSIZE; ++s)
        set.fd_array[s] = s;
    set.fd_count = 1000;  // a count spoiled by hand
    EXPECT_NE(__WSAFDIsSet(63, &set), 0);
    EXPECT_EQ(__WSAFDIsSet(64, &set), 0);
}

// --- select over loopback sockets --------------------------------------------

TEST(WinSelect, TimeoutZeroWithNothingWaiting)
{
    LoopbackSocket a, b;
    ASSERT_NE(a.get(), INVALID_SOCKET);
    ASSERT_NE(b.get(), INVALID_SOCKET);
    WinFdSet set;
    winFdZero(&set);
    winFdSet(a.get(), &set);
    winFdSet(b.get(), &set);
    const timeval poll = seconds(0);
    EXPECT_EQ(winSelect(0, &set, nullptr, nullptr, &poll), 0);
    EXPECT_EQ(set.fd_count, 0u);
}

TEST(WinSelect, ReadinessOnLoopbackAndTheSetRewritten)
{
    LoopbackSocket sender;
    std::vector<LoopbackSocket> sockets(5);
    for (const LoopbackSocket& s : sockets)
        ASSERT_NE(s.get(), INVALID_SOCKET);
    ASSERT_TRUE(sendDatagram(sender.get(), sockets[3].port(), "three"));
    ASSERT_TRUE(sendDatagram(sender.get(), sockets[1].port(), "one"));

    WinFdSet set;
    winFdZero(&set);
    for (const LoopbackSocket& s : sockets)
        winFdSet(s.get(), &set);
    const timeval wait = seconds(5);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, &wait), 2);
    // Only the ready sockets, in the order they had in the set.
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{sockets[1].get(), sockets[3].get()}));
    EXPECT_EQ(__WSAFDIsSet(sockets[0].get(), &set), 0);

    // The Winsock-shaped receive: int lengths, source address filled in.
    char buffer[64];
    sockaddr_in from{};
    int fromLength = sizeof from;
    ASSERT_EQ(winRecvfrom(sockets[1].get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              3);
    EXPECT_EQ(std::string(buffer, 3), "one");
    EXPECT_EQ(fromLength, static_cast<int>(sizeof from));
    EXPECT_EQ(from.sin_family, AF_INET);
    EXPECT_EQ(from.sin_addr.s_addr, winInetAddr("127.0.0.1"));
    EXPECT_EQ(ntohs(from.sin_port), sender.port());

    // After that receive only socket 3 has data left.
    winFdZero(&set);
    for (const LoopbackSocket& s : sockets)
        winFdSet(s.get(), &set);
    const timeval poll = seconds(0);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, &poll), 1);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{sockets[3].get()}));
}

TEST(WinSelect, WaitsForADatagramThatArrivesLater)
{
    LoopbackSocket sender, receiver;
    WinFdSet set;
    winFdZero(&set);
    winFdSet(receiver.get(), &set);
    const timeval wait = seconds(0, 30000);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, &wait), 0);

    ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "late"));
    winFdSet(receiver.get(), &set);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, nullptr), 1);  // no time limit
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{receiver.get()}));
}

TEST(WinSelect, NeverReturnsBeforeTheTimeAskedFor)
{
    // A wait that ends early would find the caller's timer not yet expired.
    LoopbackSocket quiet;
    for (long micro : {1L, 999L, 1500L, 20000L, 120000L}) {
        WinFdSet set;
        winFdZero(&set);
        winFdSet(quiet.get(), &set);
        const timeval wait = seconds(0, micro);
        const int64_t start = nowMicroseconds();
        EXPECT_EQ(winSelect(0, &set, nullptr, nullptr, &wait), 0);
        EXPECT_GE(nowMicroseconds() - start, micro) << micro << " microseconds";
    }
}

TEST(WinSelect, SixtyFourSocketsAtOnce)
{
    LoopbackSocket sender;
    std::vector<LoopbackSocket> sockets(WIN_FD_SETSIZE);
    WinFdSet set;
    winFdZero(&set);
    for (const LoopbackSocket& s : sockets) {
        ASSERT_NE(s.get(), INVALID_SOCKET);
        winFdSet(s.get(), &set);
    }
    ASSERT_EQ(set.fd_count, 64u);
    for (size_t i : {0u, 31u, 63u})
        ASSERT_TRUE(sendDatagram(sender.get(), sockets[i].port(), "x"));

    const timeval wait = seconds(5);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, &wait), 3);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{sockets[0].get(), sockets[31].get(), sockets[63].get()}));
}

TEST(WinSelect, WriteAndReadSetsCountSeparately)
{
    LoopbackSocket sender, receiver;
    ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "data"));
    WinFdSet readSet, writeSet, exceptSet;
    winFdZero(&readSet);
    winFdZero(&writeSet);
    winFdZero(&exceptSet);
    winFdSet(receiver.get(), &readSet);
    winFdSet(sender.get(), &readSet);
    winFdSet(receiver.get(), &writeSet);
    winFdSet(receiver.get(), &exceptSet);
    const timeval wait = seconds(5);
    // Readable and writable: counted once per set; nothing exceptional.
    ASSERT_EQ(winSelect(0, &readSet, &writeSet, &exceptSet, &wait), 2);
    EXPECT_EQ(membersOf(readSet), (std::vector<SOCKET>{receiver.get()}));
    EXPECT_EQ(membersOf(writeSet), (std::vector<SOCKET>{receiver.get()}));
    EXPECT_EQ(exceptSet.fd_count, 0u);
}

// Raises the soft descriptor limit within the hard one for one test.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t wanted)
    {
        if (getrlimit(RLIMIT_NOFILE, &saved_) != 0)
            return;
        if (saved_.rlim_cur >= wanted) {
            ok_ = true;
            return;
        }
        if (saved_.rlim_max != RLIM_INFINITY && saved_.rlim_max < wanted)
            return;
        rlimit raised = saved_;
        raised.rlim_cur = wanted;
        ok_ = setrlimit(RLIMIT_NOFILE, &raised) == 0;
        changed_ = ok_;
    }
    ~DescriptorLimit()
    {
        if (changed_)
            setrlimit(RLIMIT_NOFILE, &saved_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
    bool changed_ = false;
};

// A descriptor copy at the lowest free number at or above `least`.
class HighDescriptor {
public:
    HighDescriptor(int original, int least) : fd_(fcntl(original, F_DUPFD, least)) {}
    ~HighDescriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    HighDescriptor(const HighDescriptor&) = delete;
    HighDescriptor& operator=(const HighDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

TEST(WinSelect, DescriptorsAtAndAboveTheSystemSelectLimit)
{
    // glibc's fd_set covers descriptors below FD_SETSIZE (1024); a host that
    // has many files open hands out higher numbers, which must work here.
    DescriptorLimit limit(4096);
    if (!limit.ok())
        GTEST_SKIP() << "the hard descriptor limit is below 4096";

    LoopbackSocket sender, ready, quiet;
    HighDescriptor readyCopy(ready.get(), FD_SETSIZE);
    HighDescriptor quietCopy(quiet.get(), 3000);
    ASSERT_GE(readyCopy.get(), FD_SETSIZE);
    ASSERT_GE(quietCopy.get(), 3000);

    ASSERT_TRUE(sendDatagram(sender.get(), ready.port(), "high"));
    WinFdSet set;
    winFdZero(&set);
    winFdSet(quietCopy.get(), &set);
    winFdSet(readyCopy.get(), &set);
    const timeval wait = seconds(5);
    ASSERT_EQ(winSelect(0, &set, nullptr, nullptr, &wait), 1);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{readyCopy.get()}));

    char buffer[16];
    int fromLength = 0;
    sockaddr_in from{};
    fromLength = sizeof from;
    ASSERT_EQ(winRecvfrom(readyCopy.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              4);
    EXPECT_EQ(std::string(buffer, 4), "high");

    // And the quiet high one times out cleanly.
    winFdZero(&set);
    winFdSet(quietCopy.get(), &set);
    winFdSet(readyCopy.get(), &set);
    const timeval poll = seconds(0);
    EXPECT_EQ(winSelect(0, &set, nullptr, nullptr, &poll), 0);
    EXPECT_EQ(set.fd_count, 0u);
}

volatile sig_atomic_t alarmsSeen = 0;
void countAlarm(int)
{
    alarmsSeen = alarmsSeen + 1;
}

TEST(WinSelect, ASignalDoesNotEndTheWait)
{
    LoopbackSocket quiet;
    struct sigaction action {};
    action.sa_handler = countAlarm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: poll itself fails with EINTR
    struct sigaction saved {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);
    alarmsSeen = 0;
    itimerval timer{};
    timer.it_value.tv_usec = 20000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

    WinFdSet set;
    winFdZero(&set);
    winFdSet(quiet.get(), &set);
    const timeval wait = seconds(0, 150000);
    const int result = winSelect(0, &set, nullptr, nullptr, &wait);
    const int error = errno;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &saved, nullptr);
    EXPECT_EQ(alarmsSeen, 1);
    EXPECT_EQ(result, 0) << std::strerror(error);
    EXPECT_EQ(set.fd_count, 0u);
}

TEST(WinSelect, RefusedCalls)
{
    LoopbackSocket a;
    const timeval poll = seconds(0);

    // Nothing to watch.
    WinFdSet empty;
    winFdZero(&empty);
    errno = 0;
    EXPECT_EQ(winSelect(0, &empty, nullptr, nullptr, &poll), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(winSelect(0, nullptr, nullptr, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);

    // A count beyond the array.
    WinFdSet spoiled;
    winFdZero(&spoiled);
    winFdSet(a.get(), &spoiled);
    spoiled.fd_count = WIN_FD_SETSIZE + 1;
    errno = 0;
    EXPECT_EQ(winSelect(0, &spoiled, nullptr, nullptr, &poll), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);

    // A negative time.
    WinFdSet set;
    winFdZero(&set);
    winFdSet(a.get(), &set);
    const timeval negative = seconds(-1);
    errno = 0;
    EXPECT_EQ(winSelect(0, &set, nullptr, nullptr, &negative), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{a.get()}));
}

TEST(WinSelect, ClosedOrInvalidSocketIsAnError)
{
    LoopbackSocket a;
    const int closedNumber = dup(a.get());
    ASSERT_GE(closedNumber, 0);
    ASSERT_EQ(closesocket(closedNumber), 0);

    for (SOCKET bad : {closedNumber, INVALID_SOCKET}) {
        WinFdSet set;
        winFdZero(&set);
        winFdSet(a.get(), &set);
        winFdSet(bad, &set);
        const timeval poll = seconds(0);
        errno = 0;
        EXPECT_EQ(winSelect(0, &set, nullptr, nullptr, &poll), SOCKET_ERROR) << bad;
        EXPECT_EQ(errno, EBADF) << bad;
        // Unchanged on failure.
        EXPECT_EQ(membersOf(set), (std::vector<SOCKET>{a.get(), bad}));
    }
}

// --- a receive with a time limit ---------------------------------------------

TEST(WinRecvfromWithin, NothingComesAndTheTimeRunsOutNeverEarly)
{
    LoopbackSocket quiet(true);
    char buffer[8];
    // 120 ms: first a receive that blocks, then a poll for the rest.
    for (long micro : {0L, 1L, 1500L, 120000L}) {
        const timeval wait = seconds(0, micro);
        const int64_t start = nowMicroseconds();
        errno = 0;
        EXPECT_EQ(winRecvfromWithin(quiet.get(), buffer, sizeof buffer, nullptr, nullptr, &wait), SOCKET_ERROR);
        EXPECT_EQ(errno, ETIMEDOUT) << micro;
        EXPECT_GE(nowMicroseconds() - start, micro) << micro << " microseconds";
    }
    const timeval negative = seconds(-1);
    for (const timeval* refused : {static_cast<const timeval*>(nullptr), &negative}) {
        errno = 0;
        EXPECT_EQ(winRecvfromWithin(quiet.get(), buffer, sizeof buffer, nullptr, nullptr, refused), SOCKET_ERROR);
        EXPECT_EQ(errno, EINVAL);
    }
}

TEST(WinRecvfromWithin, ADatagramThereIsReadWithItsSenderWhateverTheTimeLeft)
{
    LoopbackSocket sender, receiver(true);
    // No time, the last stretch (a poll), a long wait (the receive blocks).
    for (const timeval& wait : {seconds(0), seconds(0, 50000), seconds(5)}) {
        ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "here"));
        char buffer[8];
        sockaddr_in from{};
        int fromLength = sizeof from;
        EXPECT_EQ(winRecvfromWithin(receiver.get(), buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&from),
                                    &fromLength, &wait),
                  4);
        EXPECT_EQ(std::string(buffer, 4), "here");
        EXPECT_EQ(ntohs(from.sin_port), sender.port());
    }
}

// --- the other socket calls --------------------------------------------------

TEST(Winsock, CloseSocket)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(fcntl(s, F_GETFD), -1);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
}

TEST(Winsock, ReceiveRefusesNegativeLengths)
{
    LoopbackSocket a;
    char buffer[8];
    int fromLength = -1;
    sockaddr_in from{};
    errno = 0;
    EXPECT_EQ(winRecvfrom(a.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);
    fromLength = sizeof from;
    errno = 0;
    EXPECT_EQ(winRecvfrom(a.get(), buffer, -1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength), SOCKET_ERROR);
    EXPECT_EQ(errno, EINVAL);
}

TEST(Winsock, ReceiveWithoutSourceAddress)
{
    LoopbackSocket sender, receiver;
    ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "anon"));
    char buffer[8];
    EXPECT_EQ(winRecvfrom(receiver.get(), buffer, sizeof buffer, 0, nullptr, static_cast<int*>(nullptr)), 4);
    EXPECT_EQ(std::string(buffer, 4), "anon");
}

TEST(Winsock, DatagramLargerThanTheBufferIsAnError)
{
    // As Winsock: the buffer is filled, the call fails (WSAEMSGSIZE), the rest is gone.
    LoopbackSocket sender, receiver;
    ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "oversized"));
    ASSERT_TRUE(sendDatagram(sender.get(), receiver.port(), "next"));
    char buffer[4];
    errno = 0;
    EXPECT_EQ(winRecvfrom(receiver.get(), buffer, sizeof buffer, 0, nullptr, static_cast<int*>(nullptr)), SOCKET_ERROR);
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_EQ(std::string(buffer, 4), "over");
    EXPECT_EQ(winRecvfrom(receiver.get(), buffer, sizeof buffer, 0, nullptr, static_cast<int*>(nullptr)), 4);
    EXPECT_EQ(std::string(buffer, 4), "next");
}

TEST(Winsock, InetAddr)
{
    const struct {
        const char* text;
        bool read;
        uint32_t hostOrder;
    } cases[] = {
        {"127.0.0.1", true, 0x7f000001u}, {"192.168.254.1", true, 0xc0a8fe01u}, {"0.0.0.0", true, 0},
        // Every spelling of all ones is an address, though inet_addr answers it as INADDR_NONE.
        {"255.255.255.255", true, 0xffffffffu}, {"0xffffffff", true, 0xffffffffu}, {"4294967295", true, 0xffffffffu},
        // Fewer parts: the last fills the octets that are left.
        {"10.1", true, 0x0a000001u}, {"10.1.2", true, 0x0a010002u}, {"167772161", true, 0x0a000001u},
        {"10.0xffffff", true, 0x0affffffu}, {"10.1.65535", true, 0x0a01ffffu},
        // Octal and hexadecimal parts; leading zeros never overflow.
        {"010.0.0.1", true, 0x08000001u}, {"0x0a000001", true, 0x0a000001u}, {"0X0A.0377.00.0xFf", true, 0x0aff00ffu},
        {"0x00000000000000000a000001", true, 0x0a000001u},
        // A space ends the address; nothing else does.
        {"10.0.0.1 junk", true, 0x0a000001u}, {"10.1 ", true, 0x0a000001u}, {"10.0.0.1\tjunk", false, 0},
        // Refused; no part's value wraps round (2^64 + 1).
        {"", false, 0}, {" 1.2.3.4", false, 0}, {"garbage", false, 0}, {"localhost", false, 0}, {"1.2.3.x", false, 0},
        {"256.1.1.1", false, 0}, {"1.2.3.256", false, 0}, {"1.2.65536", false, 0}, {"1.16777216", false, 0},
        {"4294967296", false, 0}, {"0x100000000", false, 0}, {"077777777777", false, 0}, {"18446744073709551617", false, 0},
        {"1.2.3.4.5", false, 0}, {"1.2.3.4.", false, 0}, {"1..2", false, 0}, {".1", false, 0},
        {"08", false, 0}, {"0x", false, 0}, {"0x.1", false, 0}, {"-1", false, 0}, {"+1", false, 0},
    };
    for (const auto& c : cases) {
        in_addr_t address = 0x5a5a5a5au;
        EXPECT_EQ(winParseInetAddress(c.text, &address), c.read) << '"' << c.text << '"';
        EXPECT_EQ(address, c.read ? htonl(c.hostOrder) : 0x5a5a5a5au) << '"' << c.text << '"';
        EXPECT_EQ(winInetAddr(c.text), c.read ? htonl(c.hostOrder) : INADDR_NONE) << '"' << c.text << '"';
    }
    EXPECT_EQ(winInetAddr(nullptr), INADDR_NONE);
    EXPECT_EQ(INADDR_NONE, 0xffffffffu);
}

TEST(Winsock, InetNtoa)
{
    const struct {
        uint32_t hostOrder;
        const char* text;
    } cases[] = {
        {0x00000000u, "0.0.0.0"},
        {0x7f000001u, "127.0.0.1"},
        {0xffffffffu, "255.255.255.255"},
        {0xc0a80afeu, "192.168.10.254"},
        {0x0a000001u, "10.0.0.1"},
    };
    for (const auto& c : cases) {
        in_addr address;
        address.s_addr = htonl(c.hostOrder);
        EXPECT_STREQ(inet_ntoa(address), c.text);
    }
}

TEST(Winsock, ByteOrder)
{
    const unsigned short port = htons(0x1234);
    const unsigned char* portBytes = reinterpret_cast<const unsigned char*>(&port);
    EXPECT_EQ(portBytes[0], 0x12);
    EXPECT_EQ(portBytes[1], 0x34);

    const unsigned char wire[4] = {0x01, 0x02, 0x03, 0x04};
    uint32_t networkOrder;
    std::memcpy(&networkOrder, wire, sizeof networkOrder);
    EXPECT_EQ(ntohl(networkOrder), 0x01020304u);
}

TEST(Winsock, GetHostByNameLocalhost)
{
    const hostent* entry = gethostbyname("localhost");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->h_addrtype, AF_INET);
    ASSERT_EQ(entry->h_length, 4);
    ASSERT_NE(entry->h_addr_list[0], nullptr);
    EXPECT_EQ(static_cast<unsigned char>(entry->h_addr_list[0][0]), 127);
}

TEST(Winsock, GetHostByNameOfADottedAddress)
{
    const hostent* entry = gethostbyname("127.0.0.9");
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->h_length, 4);
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    EXPECT_STREQ(inet_ntoa(address), "127.0.0.9");
}

TEST(Winsock, GetHostName)
{
    char name[256];
    std::memset(name, 'x', sizeof name);
    ASSERT_EQ(gethostname(name, static_cast<int>(sizeof name)), 0);
    const size_t length = strnlen(name, sizeof name);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, sizeof name);
}

}  // namespace

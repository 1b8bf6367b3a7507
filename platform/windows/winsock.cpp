// Winsock 2 under the platform layer's socket interface (platform/winsock.h).
#include "platform/winsock.h"


#include <cerrno>
#include <cstdint>

#include "platform/windows/socket_errors.h"

namespace {

// Winsock's control code that turns the report of an ICMP port-unreachable
// on a UDP socket on or off (mstcpip.h, which mingw's headers lack here).
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

int64_t monotonicMicroseconds()
{
    static const int64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<int64_t>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency);
}

// Microseconds of a timeout, capped at about 30 years (as good as unlimited),
// so the sum cannot overflow; -1 for a negative one.
int64_t microsecondsOf(const timeval& timeout)
{
    if (timeout.tv_sec < 0 || timeout.tv_usec < 0)
        return -1;
    const int64_t seconds = timeout.tv_sec > 1000000000 ? 1000000000 : timeout.tv_sec;
    return seconds * 1000000 + timeout.tv_usec;
}

timeval timevalOf(int64_t microseconds)
{
    if (microseconds < 0)
        microseconds = 0;
    timeval wait;
    wait.tv_sec = static_cast<long>(microseconds / 1000000);
    wait.tv_usec = static_cast<long>(microseconds % 1000000);
    return wait;
}

}  // namespace

bool winSocketsStart()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void winSocketsStop() { WSACleanup(); }

int winRecvfrom(SOCKET sock, char* buffer, int length, int flags, sockaddr* from, int* fromLength)
{
    if (length < 0 || (fromLength != nullptr && *fromLength < 0)) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    // A datagram larger than the buffer fills it and fails with WSAEMSGSIZE:
    // the rest is lost, and EMSGSIZE says so.
    const int received = ::recvfrom(sock, buffer, length, flags, from, fromLength);
    if (received == SOCKET_ERROR)
        errnoFromWinsock();
    return received;
}

int winSendto(SOCKET sock, const void* data, size_t length, const sockaddr* to, int toLength)
{
    const int sent = ::sendto(sock, static_cast<const char*>(data), static_cast<int>(length), 0, to, toLength);
    if (sent == SOCKET_ERROR)
        errnoFromWinsock();
    return sent;
}

int winBind(SOCKET sock, const sockaddr* address, int addressLength)
{
    const int result = ::bind(sock, address, addressLength);
    if (result == SOCKET_ERROR)
        errnoFromWinsock();
    return result;
}

int winSetBroadcast(SOCKET sock)
{
    const BOOL allow = TRUE;
    const int result = setsockopt(sock, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allow), sizeof allow);
    if (result == SOCKET_ERROR)
        errnoFromWinsock();
    return result;
}

SOCKET winUdpSocket(int family)
{
    SOCKET sock = WSASocketW(family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (sock == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL)  // a system before the flag
        sock = WSASocketW(family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0);
    if (sock == INVALID_SOCKET) {
        errnoFromWinsock();
        return INVALID_SOCKET;
    }
    // Without this, an ICMP port-unreachable for an earlier datagram makes the
    // next receive fail (WSAECONNRESET) and would end a wait for the reply.
    BOOL report = FALSE;
    DWORD returned = 0;
    // IPv6 only, as the contract says (Windows' default, said all the same).
    const DWORD v6Only = 1;
    if (WSAIoctl(sock, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr) != 0 ||
        (family == AF_INET6 && setsockopt(sock, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6Only),
                                          sizeof v6Only) != 0)) {
        errnoFromWinsock();
        const int error = errno;
        ::closesocket(sock);
        errno = error;
        return INVALID_SOCKET;
    }
    return sock;
}

int winRecvfromWithin(SOCKET sock, char* buffer, int length, sockaddr* from, int* fromLength,
                      const timeval* timeout)
{
    // The wait is select's, then the receive: wine ignores a socket's
    // receive timeout, and select's ends on time on every Windows.
    const int64_t asked = timeout != nullptr ? microsecondsOf(*timeout) : -1;
    if (asked < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const int64_t deadline = monotonicMicroseconds() + asked;
    for (;;) {
        fd_set ready;
        ready.fd_count = 1;
        ready.fd_array[0] = sock;
        timeval wait = timevalOf(deadline - monotonicMicroseconds());
        const int selected = ::select(0, &ready, nullptr, nullptr, &wait);
        if (selected == SOCKET_ERROR) {
            errnoFromWinsock();
            return SOCKET_ERROR;
        }
        if (selected > 0)
            return winRecvfrom(sock, buffer, length, 0, from, fromLength);
        if (monotonicMicroseconds() >= deadline) {
            errno = ETIMEDOUT;
            return SOCKET_ERROR;
        }
        // select ended before its time (its clock counts whole milliseconds): wait on.
    }
}

hostent* winGethostbyname(const char* name)
{
    // Winsock answers the empty name with the local host.
    hostent* entry = ::gethostbyname(name != nullptr ? name : "");
    if (entry == nullptr)
        errnoFromWinsock();
    return entry;
}

int winSelect(int /*socketLimit*/, WinFdSet* readSet, WinFdSet* writeSet, WinFdSet* exceptSet,
              const timeval* timeout)
{
    WinFdSet* const sets[] = {readSet, writeSet, exceptSet};
    UINT watched = 0;
    for (WinFdSet* set : sets) {
        if (set == nullptr)
            continue;
        if (set->fd_count > WIN_FD_SETSIZE) {
            errno = EINVAL;
            return SOCKET_ERROR;
        }
        watched += set->fd_count;
    }
    const int64_t asked = timeout != nullptr ? microsecondsOf(*timeout) : 0;
    if (watched == 0 || asked < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const int64_t deadline = monotonicMicroseconds() + asked;
    // select leaves only the ready sockets in each set; a wait that ended
    // early is begun again with the sets as they were.
    WinFdSet copies[3];
    for (;;) {
        WinFdSet* given[3];
        for (int s = 0; s < 3; ++s) {
            given[s] = sets[s] != nullptr ? &copies[s] : nullptr;
            if (sets[s] != nullptr)
                copies[s] = *sets[s];
        }
        timeval wait;
        if (timeout != nullptr)
            wait = timevalOf(deadline - monotonicMicroseconds());
        const int ready = ::select(0, given[0], given[1], given[2], timeout != nullptr ? &wait : nullptr);
        if (ready == SOCKET_ERROR) {
            errnoFromWinsock();
            return SOCKET_ERROR;
        }
        if (ready == 0 && timeout != nullptr && monotonicMicroseconds() < deadline)
            continue;
        for (int s = 0; s < 3; ++s) {
            if (sets[s] != nullptr)
                *sets[s] = copies[s];
        }
        return ready;
    }
}

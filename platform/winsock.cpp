#include "platform/winsock.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/hex_digits.h"

namespace {

// The watched sockets of all three sets, one poll entry per set membership.
constexpr int kSetCount = 3;
constexpr int kMaxEntries = kSetCount * WIN_FD_SETSIZE;

int64_t monotonicMicroseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The receive timeout of every socket of winUdpSocket, and the most the
// kernel may let it run late: its timer counts whole ticks of its clock
// (at worst 10 ms apart) and ends a timeout of under 63 ticks at most two
// ticks late. While more than both are left, a receive that blocks cannot
// end after the deadline.
constexpr int64_t kReceiveSliceMicroseconds = 50000;
constexpr int64_t kSliceLatenessMicroseconds = 25000;

// How long to ask the kernel to wait when `microseconds` are left. It may
// end a wait of t as much as t/1000 after t (its slack for poll and select,
// at least the thread's timer slack, 50 us): 1 ms late at 1 s. So the wait
// asks for that much less, and what is left when it ends early is waited
// anew, a wait of at most a thousandth of the first.
timespec slackFreeWait(int64_t microseconds)
{
    const int64_t asked = microseconds <= 0 ? 0 : microseconds - microseconds / 1000;
    timespec wait;
    wait.tv_sec = static_cast<time_t>(asked / 1000000);
    wait.tv_nsec = static_cast<long>(asked % 1000000) * 1000;
    return wait;
}

UINT countOf(const WinFdSet* set)
{
    // A count beyond the array (a set filled by hand) is never read past.
    return set->fd_count > WIN_FD_SETSIZE ? WIN_FD_SETSIZE : set->fd_count;
}

// One part of an address text from *p, read up to the first character that is
// no digit of its base; *p moves past it. False when it has no digits. A value
// beyond 32 bits reads as 2^32, which no part's range holds.
bool readAddressPart(const char** p, uint64_t* value)
{
    const char* s = *p;
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    } else if (s[0] == '0') {
        base = 8;
    }
    const char* const digits = s;
    uint64_t read = 0;
    for (;; ++s) {
        const int digit = hexDigitValue(*s);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            break;
        read = read * base + static_cast<unsigned>(digit);
        if (read > UINT32_MAX)
            read = uint64_t{UINT32_MAX} + 1;
    }
    *p = s;
    *value = read;
    return s != digits;
}

}  // namespace

int closesocket(SOCKET sock)
{
    return close(sock) == 0 ? 0 : SOCKET_ERROR;
}

int recvfrom(SOCKET sock, char* buffer, int length, int flags, sockaddr* from, int* fromLength)
{
    if (length < 0 || (fromLength != nullptr && *fromLength < 0)) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    socklen_t addressLength = fromLength != nullptr ? static_cast<socklen_t>(*fromLength) : 0;
    // MSG_TRUNC makes the call answer the datagram's real length.
    const ssize_t received = ::recvfrom(sock, static_cast<void*>(buffer), static_cast<size_t>(length),
                                        flags | MSG_TRUNC, fromLength != nullptr ? from : nullptr,
                                        fromLength != nullptr ? &addressLength : nullptr);
    if (received < 0) {
        // A blocking receive ends with "try again" only when its receive
        // timeout ran out.
        if ((flags & MSG_DONTWAIT) == 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            errno = ETIMEDOUT;
        return SOCKET_ERROR;
    }
    if (fromLength != nullptr)
        *fromLength = static_cast<int>(addressLength);
    if (received > length) {
        errno = EMSGSIZE;
        return SOCKET_ERROR;
    }
    return static_cast<int>(received);
}

SOCKET winUdpSocket(int family)
{
    const int sock = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return INVALID_SOCKET;
    const timeval slice = {0, static_cast<suseconds_t>(kReceiveSliceMicroseconds)};
    const int v6Only = 1;
    if (setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) != 0 ||
        (family == AF_INET6 && setsockopt(sock, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0)) {
        const int error = errno;
        close(sock);
        errno = error;
        return INVALID_SOCKET;
    }
    return sock;
}

int winRecvfromWithin(SOCKET sock, char* buffer, int length, sockaddr* from, int* fromLength,
                      const timeval* timeout)
{
    if (timeout == nullptr || timeout->tv_sec < 0 || timeout->tv_usec < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const int64_t seconds = timeout->tv_sec > 1000000000 ? 1000000000 : timeout->tv_sec;
    const int64_t microseconds = timeout->tv_usec > 1000000000 ? 1000000000 : timeout->tv_usec;
    const int64_t asked = seconds * 1000000 + microseconds;
    const int64_t deadline = monotonicMicroseconds() + asked;
    for (int64_t left = asked;; left = deadline - monotonicMicroseconds()) {
        if (left > kReceiveSliceMicroseconds + kSliceLatenessMicroseconds) {
            const int received = recvfrom(sock, buffer, length, 0, from, fromLength);
            if (received != SOCKET_ERROR || (errno != ETIMEDOUT && errno != EINTR))
                return received;
            continue;  // the slice ran out, or a signal came
        }
        pollfd entry = {sock, POLLIN, 0};
        const timespec wait = slackFreeWait(left);
        const int ready = ppoll(&entry, 1, &wait, nullptr);
        if (ready < 0 && errno != EINTR)
            return SOCKET_ERROR;
        if (ready > 0) {
            if (entry.revents & POLLNVAL) {
                errno = EBADF;
                return SOCKET_ERROR;
            }
            // Without waiting: a datagram the poll saw may be gone (a bad
            // checksum), and then the time left is waited on.
            const int received = recvfrom(sock, buffer, length, MSG_DONTWAIT, from, fromLength);
            if (received != SOCKET_ERROR || (errno != EAGAIN && errno != EWOULDBLOCK))
                return received;
        }
        if (ready == 0 && monotonicMicroseconds() >= deadline) {
            errno = ETIMEDOUT;
            return SOCKET_ERROR;
        }
    }
}

int winSockaddrOf(const Endpoint& endpoint, sockaddr_storage* out)
{
    std::memset(out, 0, sizeof *out);
    if (endpoint.family == EndpointIPv4) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(out);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(endpoint.port);
        std::memcpy(&v4->sin_addr, endpoint.address, EndpointIPv4Length);
        return sizeof *v4;
    }
    if (endpoint.family == EndpointIPv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(endpoint.port);
        std::memcpy(&v6->sin6_addr, endpoint.address, EndpointIPv6Length);
        v6->sin6_scope_id = endpoint.scopeId;
        return sizeof *v6;
    }
    return 0;
}

bool winEndpointOf(const sockaddr* address, int length, Endpoint* out)
{
    std::memset(out, 0, sizeof *out);
    if (address == nullptr || length < static_cast<int>(sizeof(sa_family_t)))
        return false;
    if (address->sa_family == AF_INET && length >= static_cast<int>(sizeof(sockaddr_in))) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        out->family = EndpointIPv4;
        out->port = ntohs(v4->sin_port);
        std::memcpy(out->address, &v4->sin_addr, EndpointIPv4Length);
        return true;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<int>(sizeof(sockaddr_in6))) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        out->family = EndpointIPv6;
        out->port = ntohs(v6->sin6_port);
        std::memcpy(out->address, &v6->sin6_addr, EndpointIPv6Length);
        out->scopeId = v6->sin6_scope_id;
        return true;
    }
    return false;
}

bool winLocalEndpoint(SOCKET sock, Endpoint* out)
{
    sockaddr_storage local;
    std::memset(&local, 0, sizeof local);
    socklen_t length = sizeof local;
    if (getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        std::memset(out, 0, sizeof *out);
        return false;
    }
    return winEndpointOf(reinterpret_cast<const sockaddr*>(&local), static_cast<int>(length), out);
}

int winSocketFamily(const Endpoint& endpoint)
{
    return endpoint.family == EndpointIPv6 ? AF_INET6 : AF_INET;
}

void winAddressText(const Endpoint& endpoint, char* out, int size)
{
    if (endpoint.family == EndpointNone ||
        inet_ntop(winSocketFamily(endpoint), endpoint.address, out, static_cast<socklen_t>(size)) == nullptr)
        std::snprintf(out, static_cast<size_t>(size), "?");
}

hostent* winGethostbyname(const char* name)
{
    char local[256] = {0};
    if (name == nullptr || name[0] == '\0') {
        if (gethostname(local, sizeof local - 1) != 0)
            return nullptr;
        name = local;
    }
    return gethostbyname(name);
}

void winFdZero(WinFdSet* set)
{
    if (set != nullptr)
        set->fd_count = 0;
}

void winFdSet(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr || __WSAFDIsSet(sock, set))
        return;
    if (set->fd_count < WIN_FD_SETSIZE)
        set->fd_array[set->fd_count++] = sock;
}

void winFdClr(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr)
        return;
    const UINT count = countOf(set);
    UINT kept = 0;
    for (UINT i = 0; i < count; ++i) {
        if (set->fd_array[i] != sock)
            set->fd_array[kept++] = set->fd_array[i];
    }
    set->fd_count = kept;
}

int __WSAFDIsSet(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr)
        return 0;
    const UINT count = countOf(set);
    for (UINT i = 0; i < count; ++i) {
        if (set->fd_array[i] == sock)
            return 1;
    }
    return 0;
}

int winSelect(int /*socketLimit*/, WinFdSet* readSet, WinFdSet* writeSet, WinFdSet* exceptSet,
              const timeval* timeout)
{
    WinFdSet* const sets[kSetCount] = {readSet, writeSet, exceptSet};
    const short wanted[kSetCount] = {POLLIN, POLLOUT, POLLPRI};

    pollfd entries[kMaxEntries];
    nfds_t entryCount = 0;
    for (int s = 0; s < kSetCount; ++s) {
        if (sets[s] == nullptr)
            continue;
        if (sets[s]->fd_count > WIN_FD_SETSIZE) {
            errno = EINVAL;
            return SOCKET_ERROR;
        }
        for (UINT i = 0; i < sets[s]->fd_count; ++i) {
            if (sets[s]->fd_array[i] < 0) {
                errno = EBADF;
                return SOCKET_ERROR;
            }
            entries[entryCount].fd = sets[s]->fd_array[i];
            entries[entryCount].events = wanted[s];
            entries[entryCount].revents = 0;
            ++entryCount;
        }
    }
    if (entryCount == 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }

    int64_t deadline = 0;
    if (timeout != nullptr) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0) {
            errno = EINVAL;
            return SOCKET_ERROR;
        }
        // Beyond about 30 years the wait is as good as unlimited; the cap
        // keeps the microsecond sum from overflowing.
        const int64_t seconds = timeout->tv_sec > 1000000000 ? 1000000000 : timeout->tv_sec;
        const int64_t microseconds = timeout->tv_usec > 1000000000 ? 1000000000 : timeout->tv_usec;
        deadline = monotonicMicroseconds() + seconds * 1000000 + microseconds;
    }

    int polled;
    for (;;) {
        timespec wait;
        if (timeout != nullptr)
            wait = slackFreeWait(deadline - monotonicMicroseconds());
        polled = ppoll(entries, entryCount, timeout != nullptr ? &wait : nullptr, nullptr);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0 && timeout != nullptr && monotonicMicroseconds() < deadline)
            continue;  // ended early by design (see slackFreeWait)
        break;
    }
    if (polled < 0)
        return SOCKET_ERROR;

    for (nfds_t e = 0; e < entryCount; ++e) {
        if (entries[e].revents & POLLNVAL) {
            errno = EBADF;
            return SOCKET_ERROR;
        }
    }

    // Keep only the ready sockets in each set, in their order. An error or
    // hang-up counts as ready in whichever set the socket was watched, so the
    // caller's next call on it reports the condition instead of waiting.
    int ready = 0;
    nfds_t e = 0;
    for (int s = 0; s < kSetCount; ++s) {
        if (sets[s] == nullptr)
            continue;
        const UINT count = sets[s]->fd_count;
        UINT kept = 0;
        for (UINT i = 0; i < count; ++i, ++e) {
            if (entries[e].revents != 0)
                sets[s]->fd_array[kept++] = entries[e].fd;
        }
        sets[s]->fd_count = kept;
        ready += static_cast<int>(kept);
    }
    return ready;
}

bool winParseInetAddress(const char* text, in_addr_t* address)
{
    if (text == nullptr)
        return false;
    constexpr int kMaxParts = 4;
    // The largest value of the last part, by the number of parts.
    constexpr uint64_t kLastPartLimit[kMaxParts] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    uint64_t parts[kMaxParts];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == kMaxParts || !readAddressPart(&p, &parts[count]))
            return false;
        ++count;
        if (*p != '.')
            break;
        ++p;
    }
    if (*p != '\0' && *p != ' ')
        return false;
    uint32_t hostOrder = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF)
            return false;
        hostOrder |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
    }
    if (parts[count - 1] > kLastPartLimit[count - 1])
        return false;
    *address = htonl(hostOrder | static_cast<uint32_t>(parts[count - 1]));
    return true;
}

in_addr_t winInetAddr(const char* text)
{
    in_addr_t address;
    return winParseInetAddress(text, &address) ? address : INADDR_NONE;
}

#include "platform/winsock.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstdint>


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

}  // namespace

int closesocket(SOCKET sock)
{
    return close(sock) == 0 ? 0 : SOCKET_ERROR;
}

int winRecvfrom(SOCKET sock, char* buffer, int length, int flags, sockaddr* from, int* fromLength)
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

bool winSocketsStart() { return true; }

void winSocketsStop() {}

int winSendto(SOCKET sock, const void* data, size_t length, const sockaddr* to, int toLength)
{
    return sendto(sock, data, length, 0, to, static_cast<socklen_t>(toLength)) < 0 ? SOCKET_ERROR
                                                                                   : static_cast<int>(length);
}

int winBind(SOCKET sock, const sockaddr* address, int addressLength)
{
    return bind(sock, address, static_cast<socklen_t>(addressLength)) == 0 ? 0 : SOCKET_ERROR;
}

int winSetBroadcast(SOCKET sock)
{
    const int allow = 1;
    return setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &allow, sizeof allow) == 0 ? 0 : SOCKET_ERROR;
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
            const int received = winRecvfrom(sock, buffer, length, 0, from, fromLength);
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
            const int received = winRecvfrom(sock, buffer, length, MSG_DONTWAIT, from, fromLength);
            if (received != SOCKET_ERROR || (errno != EAGAIN && errno != EWOULDBLOCK))
                return received;
        }
        if (ready == 0 && monotonicMicroseconds() >= deadline) {
            errno = ETIMEDOUT;
            return SOCKET_ERROR;
        }
    }
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

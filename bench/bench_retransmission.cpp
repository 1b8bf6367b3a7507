// How late the first retransmission of a synchronous get leaves, for
// timeouts of 100 ms, 300 ms and 1 s: the engine waits with one session open,
// a peer on loopback (a thread of this program) lets the first transmission
// go unanswered and answers the second. Lateness is the time between the
// two arrivals at the peer (the kernel's receive time stamps) less the
// timeout; the jitter is 0 (the random
// source is replaced). The engine's clock reads whole milliseconds and an
// expiry counts as passed only when the clock reads later, so a
// retransmission on time is 0 to 1 ms late, 0.5 ms on average.
//
// Each iteration is one get; its manual time is its lateness. Every
// lateness is also kept, and the program ends with the median, the smallest
// and the largest of each timeout over all repetitions. Run with
// --benchmark_enable_random_interleaving=true so that the timeouts take
// turns.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "platform/runtime.h"
#include "snmp/codec/message.h"
#include "snmp/snmp.h"
#include "snmp/transport/sync_request.h"

namespace {

const uint32_t SysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const char Community[] = "public";

int noJitter() { return 0; }

// The silent-then-answering peer: a UDP socket on 127.0.0.1.
struct Peer {
    int sock = -1;
    uint16_t port = 0;

    Peer()
    {
        sock = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (sock < 0 || bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
        const timeval patience = {10, 0};  // a lost datagram fails the run instead of hanging it
        setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        const int on = 1;
        setsockopt(sock, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    ~Peer()
    {
        if (sock >= 0)
            close(sock);
    }

    // One datagram into packet and its sender; answers its length, or -1.
    // *at: when the kernel took it in (SO_TIMESTAMPNS), in microseconds, so
    // that how soon this thread wakes up does not count.
    ssize_t receive(uint8_t* packet, sockaddr_in* from, socklen_t* fromLength, int64_t* at)
    {
        iovec buffer = {packet, SnmpPacketSize};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message{};
        message.msg_name = from;
        message.msg_namelen = sizeof *from;
        message.msg_iov = &buffer;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = recvmsg(sock, &message, 0);
        *fromLength = message.msg_namelen;
        *at = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp;
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                *at = static_cast<int64_t>(stamp.tv_sec) * 1000000 + stamp.tv_nsec / 1000;
            }
        }
        return *at < 0 ? -1 : length;
    }

    // Receives two transmissions, answers the second (the request turned
    // into a Response of the same id) and answers the microseconds between
    // their arrivals; -1 when one did not come.
    int64_t dropFirstAnswerSecond()
    {
        uint8_t packet[SnmpPacketSize];
        sockaddr_in from{};
        socklen_t fromLength = 0;
        int64_t first = 0;
        int64_t second = 0;
        if (receive(packet, &from, &fromLength, &first) <= 0)
            return -1;
        const ssize_t length = receive(packet, &from, &fromLength, &second);
        if (length <= 0)
            return -1;
        int32_t remaining = static_cast<int32_t>(length);
        uint8_t community[SnmpCommunityCapacity];
        int32_t communityLength = SnmpCommunityCapacity;
        int32_t version = 0;
        uint8_t* pdu = const_cast<uint8_t*>(decodeMessageHeader(packet, &remaining, community, &communityLength, &version));
        if (pdu == nullptr)
            return -1;
        *pdu = static_cast<uint8_t>(PduResponse);
        sendto(sock, packet, static_cast<size_t>(length), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        return second - first;
    }
};

Peer& peer()
{
    static Peer instance;
    return instance;
}

// Lateness in microseconds of every get, by timeout in milliseconds.
std::map<int64_t, std::vector<int64_t>>& samples()
{
    static std::map<int64_t, std::vector<int64_t>> all;
    return all;
}

void FirstRetransmissionLateness(benchmark::State& state)
{
    const int64_t timeoutMilliseconds = state.range(0);
    const RandomSource previous = setRandomSource(noJitter);
    // Each get starts at a random point of a millisecond: a get that
    // follows the last one's retransmission would start just after the clock
    // turned, and always find most of its first millisecond gone.
    std::minstd_rand phase(static_cast<uint32_t>(timeoutMilliseconds));
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(phase() % 1000));
        SnmpSession settings{};
        settings.peerName = "127.0.0.1";
        settings.remotePort = peer().port;
        settings.community = reinterpret_cast<const uint8_t*>(Community);
        settings.communityLength = static_cast<int32_t>(sizeof Community - 1);
        settings.retries = 2;
        settings.timeout = static_cast<int32_t>(timeoutMilliseconds * 1000);
        syncInstall(&settings);
        SnmpSession* session = openSession(&settings);
        int64_t between = -1;
        std::thread answering([&between]() { between = peer().dropFirstAnswerSecond(); });
        SnmpPdu* request = createPdu(PduGetRequest);
        addNullVar(request, SysName, 9);
        SnmpPdu* response = nullptr;
        const int32_t status = session != nullptr ? syncRequest(session, request, &response) : 1;
        answering.join();
        freePdu(response);
        closeSession(session);
        if (status != 0 || between < 0) {
            state.SkipWithError("no retransmission, or no answer to it");
            break;
        }
        const int64_t late = between - timeoutMilliseconds * 1000;
        samples()[timeoutMilliseconds].push_back(late);
        state.SetIterationTime(static_cast<double>(std::max<int64_t>(late, 0)) / 1e6);
    }
    setRandomSource(previous);
}

}  // namespace

BENCHMARK(FirstRetransmissionLateness)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (peer().port == 0) {
        std::fprintf(stderr, "no loopback socket for the peer\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    for (auto& entry : samples()) {
        std::vector<int64_t>& late = entry.second;
        std::sort(late.begin(), late.end());
        const size_t n = late.size();
        const double median = n % 2 == 1 ? static_cast<double>(late[n / 2])
                                         : (static_cast<double>(late[n / 2 - 1]) + static_cast<double>(late[n / 2])) / 2;
        std::printf("timeout %5lld ms: first retransmission late by %.3f ms (median of %zu; %.3f to %.3f)\n",
                    static_cast<long long>(entry.first), median / 1000.0, n, static_cast<double>(late.front()) / 1000.0,
                    static_cast<double>(late.back()) / 1000.0);
    }
    benchmark::Shutdown();
    return 0;
}

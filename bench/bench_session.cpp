// One synchronous get round trip through the engine (open a session, send,
// wait, receive, close) against the project's test agent, and in the same run
// the limit of this machine: the same request octets sent and answered over
// one persistent UDP socket (sendto, then a blocking recvfrom).
//
// The agent runs as a separate process (build/bin/snmp-test-agent, or the
// program named by VANTOR_AGENT_BIN), and both processes are pinned to one
// core (the first this program may use, or VANTOR_BENCH_CPU): a wake-up
// across cores costs tens of microseconds in this virtual machine and would
// swamp the module's own cost. With --in-process the agent serves from a
// thread of this program instead (on the same core), for comparison.
//
// A third benchmark shows what keeping the socket saves: the system calls of a
// round trip when every session has a socket of its own (socket, bind,
// sendto, poll, recvfrom, close), with no engine work between them.
//
// A fourth, the script's snmpgetEx through the dispatcher, is the figure a
// user sees; a fifth, the ping-pong with a poll before each receive, what
// a wait for readiness adds to the limit. At the end the program prints the medians (or, without
// repetitions, the single runs) and the ratios; the goal is a script get
// within 1.15 times the ping-pong. Run with
// --benchmark_enable_random_interleaving=true so that the repetitions of all
// five take turns.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/host_value.h"
#include "script/dispatcher.h"
#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/sync_request.h"
#include "tests/support/host_values.h"
#include "tests/support/wire.h"
#include "tools/agent/test_agent.h"

extern char** environ;

namespace {

const uint32_t SysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const char Community[] = "public";
// Request ids of the engine during the run stay three octets wide (the
// counter starts here), and the ping-pong sends one of the same width, so
// every exchange carries the same number of octets.
const int32_t FirstRequestId = 0x10000;
const int32_t PingPongRequestId = FirstRequestId;

// The agent the benchmarks talk to.
struct AgentPeer {
    uint16_t port = 0;
    pid_t pid = -1;                                 // separate process
    std::unique_ptr<testagent::TestAgent> inProcess;  // or a thread of ours

    ~AgentPeer() { stop(); }
    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
        }
        if (inProcess)
            inProcess->stop();
        inProcess.reset();
    }
};

AgentPeer& agentPeer()
{
    static AgentPeer peer;
    return peer;
}

std::string agentBinary()
{
    if (const char* given = std::getenv("VANTOR_AGENT_BIN"))
        return given;
    char self[PATH_MAX] = {0};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./bench_session");
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/snmp-test-agent";
}

// Pins this process (and so every child it starts later) to one core.
int pinToOneCore()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return -1;
    int cpu = -1;
    if (const char* given = std::getenv("VANTOR_BENCH_CPU"))
        cpu = std::atoi(given);
    else
        for (int i = 0; i < CPU_SETSIZE && cpu < 0; ++i)
            if (CPU_ISSET(i, &allowed))
                cpu = i;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
}

bool startAgentProcess(AgentPeer& peer)
{
    const std::string binary = agentBinary();
    int out[2];
    if (pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<std::string> words = {binary, "--port", "0", "--community", Community};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const int rc = posix_spawn(&peer.pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", binary.c_str(), std::strerror(rc));
        close(out[0]);
        peer.pid = -1;
        return false;
    }
    // "port N" once it listens.
    char line[64] = {0};
    size_t used = 0;
    while (used < sizeof line - 1) {
        const ssize_t n = read(out[0], line + used, 1);
        if (n <= 0 || line[used] == '\n')
            break;
        ++used;
    }
    close(out[0]);
    unsigned port = 0;
    if (std::sscanf(line, "port %u", &port) != 1 || port == 0 || port > 65535) {
        std::fprintf(stderr, "%s did not tell its port\n", binary.c_str());
        peer.stop();
        return false;
    }
    peer.port = static_cast<uint16_t>(port);
    return true;
}

bool startAgentThread(AgentPeer& peer)
{
    testagent::AgentConfig config;
    config.communities = {Community};
    config.memoryLog = false;
    peer.inProcess.reset(new testagent::TestAgent(config));
    std::string error;
    if (!peer.inProcess->start(&error)) {
        std::fprintf(stderr, "in-process agent: %s\n", error.c_str());
        return false;
    }
    peer.port = peer.inProcess->port();
    return true;
}

sockaddr_in agentAddress()
{
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    agent.sin_port = htons(agentPeer().port);
    return agent;
}

SnmpPdu* sysNameRequest()
{
    SnmpPdu* pdu = createPdu(PduGetRequest);
    addNullVar(pdu, SysName, 9);
    return pdu;
}

SnmpSession settingsFor(uint16_t port)
{
    SnmpSession settings{};
    settings.peerName = "127.0.0.1";
    settings.remotePort = port;
    settings.community = reinterpret_cast<const uint8_t*>(Community);
    settings.communityLength = static_cast<int32_t>(sizeof Community - 1);
    settings.retries = 3;
    settings.timeout = 500000;
    return settings;
}

// What the round trip sends: the request as the engine encodes it.
std::vector<uint8_t> requestOctets(int32_t requestId)
{
    SnmpSession settings = settingsFor(agentPeer().port);
    SnmpPdu* pdu = sysNameRequest();
    pdu->requestId = requestId;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    return encodeAndFree(settings, pdu);
}

void SyncGetRoundTrip(benchmark::State& state)
{
    const uint16_t port = agentPeer().port;
    int64_t failures = 0;
    for (auto _ : state) {
        SnmpSession settings = settingsFor(port);
        syncInstall(&settings);
        SnmpSession* session = openSession(&settings);
        SnmpPdu* response = nullptr;
        if (session == nullptr || syncRequest(session, sysNameRequest(), &response) != 0 || response == nullptr ||
            response->variables == nullptr)
            ++failures;
        benchmark::DoNotOptimize(response);
        freePdu(response);
        closeSession(session);
    }
    if (failures != 0)
        state.SkipWithError("a round trip failed");
    state.counters["octets"] = static_cast<double>(requestOctets(libraryState().lastRequestId).size());
    if (libraryState().lastRequestId > 0x7FFFFF)  // a fourth octet from here on
        libraryState().lastRequestId = FirstRequestId;
}

// snmpgetEx(peer, port, 0, "public", "system.5.0") as a script calls it: the
// arguments, the OID text, the session, the exchange and the value for the host.
void ScriptGetRoundTrip(benchmark::State& state)
{
    std::vector<HostValue> args = {stringArg("127.0.0.1"), numberArg(agentPeer().port), numberArg(0),
                                   stringArg(Community), stringArg("system.5.0")};
    args.resize(16);
    for (auto _ : state) {
        const HostValue result = ScriptDispatcher(args.data(), ScriptIdGetEx);
        if (result.type != HostTypeString) {
            state.SkipWithError("no value from the agent");
            break;
        }
    }
    if (libraryState().lastRequestId > 0x7FFFFF)
        libraryState().lastRequestId = FirstRequestId;
}

// The same request octets over one persistent socket: sendto, then a
// blocking recvfrom. Nothing less can exchange the two datagrams. Polled: a
// poll before each receive, what a wait that asks the system for readiness
// and then receives (two system calls) costs against a receive that waits.
void pingPong(benchmark::State& state, bool polled)
{
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    const timeval patience = {2, 0};  // a lost datagram fails the run instead of hanging it
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const sockaddr_in agent = agentAddress();
    const std::vector<uint8_t> request = requestOctets(PingPongRequestId);
    std::vector<uint8_t> reply(SnmpPacketSize);
    int64_t failures = 0;
    for (auto _ : state) {
        if (sendto(sock, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&agent), sizeof agent) < 0)
            ++failures;
        pollfd ready = {sock, POLLIN, 0};
        if (polled && poll(&ready, 1, 2000) != 1)
            ++failures;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        if (recvfrom(sock, reply.data(), reply.size(), polled ? MSG_DONTWAIT : 0, reinterpret_cast<sockaddr*>(&from),
                     &fromLength) <= 0)
            ++failures;
        benchmark::DoNotOptimize(reply.data());
    }
    close(sock);
    if (failures != 0)
        state.SkipWithError("a ping-pong failed");
    state.counters["octets"] = static_cast<double>(request.size());
}
void RawUdpPingPong(benchmark::State& state) { pingPong(state, false); }
void RawUdpPingPongPolled(benchmark::State& state) { pingPong(state, true); }

// What a round trip costs when every session has a socket of its own, bound
// to a port of the system's choice, waited on with a poll and closed at the
// end: the system calls alone, with no engine work in between.
void RawUdpSocketPerCall(benchmark::State& state)
{
    const sockaddr_in agent = agentAddress();
    const std::vector<uint8_t> request = requestOctets(PingPongRequestId);
    std::vector<uint8_t> reply(SnmpPacketSize);
    int64_t failures = 0;
    for (auto _ : state) {
        const int sock = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            ++failures;
        if (sendto(sock, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&agent), sizeof agent) < 0)
            ++failures;
        pollfd ready = {sock, POLLIN, 0};
        if (poll(&ready, 1, 500) != 1)
            ++failures;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        if (recvfrom(sock, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength) <= 0)
            ++failures;
        benchmark::DoNotOptimize(reply.data());
        close(sock);
    }
    if (failures != 0)
        state.SkipWithError("an exchange failed");
    state.counters["octets"] = static_cast<double>(request.size());
}

// Collects the medians (or, without repetitions, the plain runs) of both
// benchmarks to print their ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.function_name;
            // In nanoseconds, whatever unit the run reports in.
            const double nanoseconds = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = nanoseconds;
            else if (run.run_type == Run::RT_Iteration)
                singles_[name].push_back(nanoseconds);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Nanoseconds per round trip, or a negative number when missing.
    double figure(const std::string& name) const
    {
        const auto median = medians_.find(name);
        if (median != medians_.end())
            return median->second;
        const auto single = singles_.find(name);
        if (single == singles_.end() || single->second.empty())
            return -1;
        std::vector<double> values = single->second;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

private:
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> singles_;
};

}  // namespace

BENCHMARK(RawUdpPingPong)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(SyncGetRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ScriptGetRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawUdpSocketPerCall)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawUdpPingPongPolled)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv)
{
    bool inProcess = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--in-process") == 0)
            inProcess = true;
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data()))
        return 1;

    const int cpu = pinToOneCore();
    AgentPeer& peer = agentPeer();
    if (!(inProcess ? startAgentThread(peer) : startAgentProcess(peer)))
        return 1;
    std::printf("agent: %s on port %u; pinned to cpu %d\n", inProcess ? "in-process thread" : "separate process",
                peer.port, cpu);
    std::fflush(stdout);

    libraryState().lastRequestId = FirstRequestId - 1;
    libraryState().requestIdsStarted = true;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    peer.stop();

    const double roundTrip = reporter.figure("SyncGetRoundTrip");
    const double pingPong = reporter.figure("RawUdpPingPong");
    const double socketPerCall = reporter.figure("RawUdpSocketPerCall");
    const double scriptGet = reporter.figure("ScriptGetRoundTrip");
    const double polled = reporter.figure("RawUdpPingPongPolled");
    if (scriptGet > 0 && pingPong > 0)
        std::printf("script get %.2f us, ratio %.3f to the ping-pong (goal <= 1.15)\n", scriptGet / 1000.0,
                    scriptGet / pingPong);
    if (roundTrip > 0 && pingPong > 0)
        std::printf("round trip %.2f us, ping-pong %.2f us, ratio %.3f\n", roundTrip / 1000.0,
                    pingPong / 1000.0, roundTrip / pingPong);
    if (socketPerCall > 0 && pingPong > 0)
        std::printf("a socket per call, as before sockets were kept: %.2f us (ratio %.3f to the ping-pong)\n",
                    socketPerCall / 1000.0, socketPerCall / pingPong);
    if (polled > 0 && pingPong > 0)
        std::printf("ping-pong with a poll before each receive: %.2f us (ratio %.3f to the ping-pong)\n",
                    polled / 1000.0, polled / pingPong);
    benchmark::Shutdown();
    return 0;
}

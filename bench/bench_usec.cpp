// The cost of the user-based security mode: localising a pass phrase (1 MiB
// of MD5), the digest of a typical message, and a whole user-based get as a
// script makes it (open with discovery, key localisation, get, close) against
// a get in SNMPv1 and SNMPv2c to the same in-process test agent.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/host_value.h"
#include "script/dispatcher.h"
#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usec/digest.h"
#include "snmp/security/usec/key_cache.h"
#include "snmp/security/usec/keys.h"
#include "tests/support/host_values.h"
#include "tests/support/wire.h"
#include "tools/agent/test_agent.h"
#include "tools/agent/usec.h"

namespace {

const uint8_t Phrase[] = "maplesyrup";
const uint8_t EngineIdOctets[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};

// Cold: the kept intermediate keys are wiped before every localisation, so
// each one hashes its mebibyte; warm: the phrase's intermediate key is kept.
void passwordToKeyBench(benchmark::State& state)
{
    const bool cold = state.range(0) == 0;
    uint8_t key[16];
    for (auto _ : state) {
        if (cold)
            wipeIntermediateKeys();
        passwordToKey(Phrase, 10, EngineIdOctets, key);
        benchmark::DoNotOptimize(key);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1048576);
}
BENCHMARK(passwordToKeyBench)->ArgName("warm")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// An authenticated message as the module sends it: a get of sysDescr.0
// (range 1) or a response carrying ten system-group strings (range 10).
std::vector<uint8_t> typicalMessage(int bindings)
{
    SnmpSession session{};
    session.version = SnmpVersionUsec;
    session.securityFlags = SecurityAuth | SecurityReportable;
    std::memcpy(session.agentId, EngineIdOctets, 12);
    session.agentBoots = 1;
    session.userNameLength = 4;
    std::memcpy(session.userName, "user", 4);
    session.maxMessageSize = 1450;
    passwordToKey(Phrase, 10, session.agentId, session.authKey);
    SnmpPdu* pdu = createPdu(bindings == 1 ? PduGetRequest : PduResponse);
    pdu->requestId = 1234;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    for (int i = 0; i < bindings; ++i) {
        const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, static_cast<uint32_t>(i + 1), 0};
        VarBind* var = addNullVar(pdu, name, 9);
        if (bindings > 1) {
            static const char text[] = "a typical sysDescr-like value";
            var->type = ASN_OCTET_STR;
            var->value = static_cast<uint8_t*>(std::calloc(1, sizeof text - 1));
            std::memcpy(var->value, text, sizeof text - 1);
            var->valueLength = sizeof text - 1;
        }
    }
    return encodeAndFree(session, pdu);
}

void messageDigestBench(benchmark::State& state)
{
    const std::vector<uint8_t> message = typicalMessage(static_cast<int>(state.range(0)));
    if (message.empty()) {
        state.SkipWithError("the message did not encode");
        return;
    }
    uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t digest[16];
    for (auto _ : state) {
        messageDigest(message.data(), static_cast<int32_t>(message.size()), key, digest);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    state.counters["octets"] = static_cast<double>(message.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
}
BENCHMARK(messageDigestBench)->Arg(1)->Arg(10);

// One in-process agent for the script-call benchmarks, serving on its own
// thread: SNMPv1/SNMPv2c community "public", user "joe" with the pass phrase,
// user "plain" without a key.
struct BenchAgent {
    std::unique_ptr<testagent::UsecAgent> usec;
    std::unique_ptr<testagent::TestAgent> agent;
    std::string hexKey;

    BenchAgent()
    {
        testagent::UsecConfig config;
        testagent::UsecUser joe;
        testagent::UsecUser plain;
        testagent::parseUsecUser("joe:maplesyrup", config.engineId, &joe, nullptr);
        testagent::parseUsecUser("plain", config.engineId, &plain, nullptr);
        config.users = {joe, plain};
        static const char digits[] = "0123456789abcdef";
        hexKey = "0x";
        for (uint8_t b : joe.key) {
            hexKey += digits[b >> 4];
            hexKey += digits[b & 15];
        }
        usec = std::make_unique<testagent::UsecAgent>(config);
        testagent::AgentConfig agentConfig;
        agentConfig.memoryLog = false;
        agentConfig.hook = usec->hook();
        agent = std::make_unique<testagent::TestAgent>(agentConfig);
        agent->start();
    }
    ~BenchAgent() { agent->stop(); }
};

BenchAgent& benchAgent()
{
    static BenchAgent instance;
    return instance;
}

// snmpgetEx(peer, port, 0, community, "system.5.0", 2000, 2) as a script calls it.
void scriptGet(benchmark::State& state, const std::string& communityKind)
{
    BenchAgent& target = benchAgent();
    std::string community = communityKind;
    if (communityKind == "hexkey")
        community = "/joe/" + target.hexKey;
    // "cold:" forgets the kept intermediate keys before every call, as before they were kept.
    const bool cold = community.rfind("cold:", 0) == 0;
    if (cold)
        community = community.substr(5);
    std::vector<HostValue> args = {stringArg("127.0.0.1"), numberArg(target.agent->port()), numberArg(0),
                                   stringArg(community),   stringArg("system.5.0"),
                                   numberArg(2000),        numberArg(2)};
    args.resize(16);
    for (auto _ : state) {
        if (cold)
            wipeIntermediateKeys();
        const HostValue result = ScriptDispatcher(args.data(), ScriptIdGetEx);
        if (result.type != HostTypeString || std::strcmp(result.text.GetString(), "test-agent") != 0) {
            state.SkipWithError("no value from the agent");
            break;
        }
    }
}
BENCHMARK_CAPTURE(scriptGet, v1, std::string("public"))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scriptGet, v2c, std::string("+public"))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scriptGet, usec_no_auth, std::string("/plain"))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scriptGet, usec_hex_key, std::string("hexkey"))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scriptGet, usec_pass_phrase, std::string("/joe/maplesyrup"))
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scriptGet, usec_pass_phrase_cold, std::string("cold:/joe/maplesyrup"))
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

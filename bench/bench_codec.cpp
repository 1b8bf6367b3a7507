// The message codec's cost: encoding the smallest usual request and decoding
// a typical response. The program counts every heap allocation (malloc,
// calloc, realloc, and so operator new) so that each benchmark reports
// allocations per iteration; encoding must show none.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "tests/support/wire.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOR_BENCH_NO_COUNT 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VANTOR_BENCH_NO_COUNT 1
#endif

namespace {
std::atomic<uint64_t> allocations{0};
}

#ifndef VANTOR_BENCH_NO_COUNT
// glibc's own entry points behind malloc; this program's definitions take
// precedence over the library's for every caller in the process.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

void* malloc(size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
}
#endif

namespace {

const uint32_t sysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};

template <typename T>
void setValue(VarBind* var, uint8_t type, const T& value, int32_t length = sizeof(T))
{
    var->type = type;
    var->value = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(length)));
    std::memcpy(var->value, &value, static_cast<size_t>(length));
    var->valueLength = length;
}

// A Response of ten bindings of mixed types, as an agent's walk of the
// interface table and system group returns them.
std::vector<uint8_t> responseOfTenBindings(const SnmpSession& session)
{
    SnmpPdu* pdu = createPdu(PduResponse);
    pdu->requestId = 0x1234;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    uint32_t name[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 0, 1};
    auto next = [&](uint32_t column) {
        name[9] = column;
        return addNullVar(pdu, name, 11);
    };
    setValue(next(1), ASN_INTEGER, int32_t{1});
    const char descr[] = "GigabitEthernet0/1 uplink to core";
    setValue(next(2), ASN_OCTET_STR, descr, sizeof descr - 1);
    setValue(next(5), ASN_GAUGE, uint32_t{1000000000});
    setValue(next(9), ASN_TIMETICKS, uint32_t{123456789});
    setValue(next(10), ASN_COUNTER, uint32_t{0xF1234567});
    setValue(next(11), ASN_COUNTER, uint32_t{8123456});
    setValue(next(12), ASN_COUNTER64, Counter64{0x12, 0x3456789A});
    setValue(next(13), ASN_COUNTER64, Counter64{0, 77});
    const uint32_t type[] = {1, 3, 6, 1, 4, 1, 9, 1, 1208};
    setValue(next(22), ASN_OBJECT_ID, type, sizeof type);
    const uint32_t address = htonl(0x0A000001);
    setValue(next(23), ASN_IPADDRESS, address);

    return encodeAndFree(session, pdu);
}

SnmpSession communitySession(int32_t version)
{
    static const uint8_t community[] = {'p', 'u', 'b', 'l', 'i', 'c'};
    SnmpSession session{};
    session.version = version;
    session.community = community;
    session.communityLength = sizeof community;
    return session;
}

void reportAllocations(benchmark::State& state, uint64_t count)
{
#ifndef VANTOR_BENCH_NO_COUNT
    state.counters["allocs/iter"] = static_cast<double>(count) / static_cast<double>(state.iterations());
#else
    (void)state;
    (void)count;
#endif
}

void BM_EncodeWorkedGetRequest(benchmark::State& state)
{
    const SnmpSession session = communitySession(SnmpVersion1);
    SnmpPdu* pdu = createPdu(PduGetRequest);
    pdu->requestId = 1;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    addNullVar(pdu, sysUpTime, 9);
    uint8_t packet[SnmpPacketSize];
    // Counted around the call itself: the benchmark library may allocate
    // between iterations.
    uint64_t during = 0;
    for (auto _ : state) {
        int32_t length = sizeof packet;
        const uint64_t before = allocations.load(std::memory_order_relaxed);
        const int32_t result = encodeMessage(&session, pdu, packet, &length, 0);
        during += allocations.load(std::memory_order_relaxed) - before;
        if (result != 0 || length != 44) {
            state.SkipWithError("encoding failed");
            break;
        }
        benchmark::DoNotOptimize(packet);
        benchmark::ClobberMemory();
    }
    reportAllocations(state, during);
    if (during != 0)
        state.SkipWithError("encoding allocated memory");
    freePdu(pdu);
}
BENCHMARK(BM_EncodeWorkedGetRequest);

void BM_DecodeResponseOfTenBindings(benchmark::State& state)
{
    SnmpSession session = communitySession(SnmpVersion2c);
    std::vector<uint8_t> message = responseOfTenBindings(session);
    state.counters["octets"] = static_cast<double>(message.size());
    uint64_t during = 0;
    for (auto _ : state) {
        // As the session layer does it: a zeroed record per datagram, released
        // after the callback.
        const uint64_t start = allocations.load(std::memory_order_relaxed);
        auto* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
        const int32_t result = decodeMessage(&session, pdu, message.data(), static_cast<int32_t>(message.size()));
        during += allocations.load(std::memory_order_relaxed) - start;
        if (result != 0) {
            state.SkipWithError("decoding failed");
            freePdu(pdu);
            break;
        }
        benchmark::DoNotOptimize(pdu->variables);
        freePdu(pdu);
    }
    reportAllocations(state, during);
}
BENCHMARK(BM_DecodeResponseOfTenBindings);

// For comparison: the same response encoded (no allocation either).
void BM_EncodeResponseOfTenBindings(benchmark::State& state)
{
    const SnmpSession session = communitySession(SnmpVersion2c);
    std::vector<uint8_t> message = responseOfTenBindings(session);
    auto* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
    decodeMessage(nullptr, pdu, message.data(), static_cast<int32_t>(message.size()));
    uint8_t packet[SnmpPacketSize];
    uint64_t during = 0;
    for (auto _ : state) {
        int32_t length = sizeof packet;
        const uint64_t before = allocations.load(std::memory_order_relaxed);
        const int32_t result = encodeMessage(&session, pdu, packet, &length, 0);
        during += allocations.load(std::memory_order_relaxed) - before;
        if (result != 0) {
            state.SkipWithError("encoding failed");
            break;
        }
        benchmark::DoNotOptimize(packet);
        benchmark::ClobberMemory();
    }
    reportAllocations(state, during);
    if (during != 0)
        state.SkipWithError("encoding allocated memory");
    freePdu(pdu);
}
BENCHMARK(BM_EncodeResponseOfTenBindings);

}  // namespace

BENCHMARK_MAIN();

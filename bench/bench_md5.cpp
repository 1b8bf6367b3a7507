// Throughput of the module's MD5 against OpenSSL's in the same run, for
// message-sized inputs (64 B, 1 KiB) and bulk input (64 KiB, 1 MiB, the size
// the password-to-key derivation digests).
#include "snmp/security/common/md5.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#if VANTOR_HAVE_OPENSSL
// The low-level interface is deprecated in OpenSSL 3 but is its fastest
// path (no method fetch, no context allocation): the fairest comparison.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/md5.h>
#endif

namespace {

std::vector<unsigned char> makeInput(size_t bytes)
{
    std::vector<unsigned char> data(bytes);
    for (size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<unsigned char>(i * 131 + 7);
    return data;
}

void moduleMd5(benchmark::State& state)
{
    const std::vector<unsigned char> input = makeInput(static_cast<size_t>(state.range(0)));
    unsigned char digest[kMd5DigestSize];
    for (auto _ : state) {
        Md5Context context;
        MD5Init(&context);
        MD5Update(&context, input.data(), static_cast<uint32_t>(input.size()));
        MD5Final(digest, &context);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(moduleMd5)->Arg(64)->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024);

#if VANTOR_HAVE_OPENSSL
void opensslMd5(benchmark::State& state)
{
    const std::vector<unsigned char> input = makeInput(static_cast<size_t>(state.range(0)));
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        MD5_CTX context;
        MD5_Init(&context);
        MD5_Update(&context, input.data(), input.size());
        MD5_Final(digest, &context);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(opensslMd5)->Arg(64)->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024);

// The interface OpenSSL 3 recommends, with one reused context: what an
// application would usually call.
void opensslEvpMd5(benchmark::State& state)
{
    const std::vector<unsigned char> input = makeInput(static_cast<size_t>(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const EVP_MD* md5 = EVP_md5();
    for (auto _ : state) {
        EVP_DigestInit_ex(context, md5, nullptr);
        EVP_DigestUpdate(context, input.data(), input.size());
        EVP_DigestFinal_ex(context, digest, &digestLength);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    EVP_MD_CTX_free(context);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(opensslEvpMd5)->Arg(64)->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024);
#endif

}  // namespace

BENCHMARK_MAIN();

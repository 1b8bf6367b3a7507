#include "snmp/base/allocation.h"

#include <cstdint>
#include <cstring>

namespace {

// Out of line: the compiler turns a memset right behind a malloc back into calloc.
__attribute__((noinline)) void zeroFill(void* block, size_t octets) { std::memset(block, 0, octets); }

// calloc's zero-filled block by malloc and memset: glibc serves malloc from
// its per-thread cache, calloc never, and a walk step makes a dozen of these.
void* zeroedBlock(size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    void* block = std::malloc(count * size);
    if (block != nullptr)
        zeroFill(block, count * size);
    return block;
}

}  // namespace

std::atomic<EngineAllocator> engineAllocator{&zeroedBlock};

EngineAllocator setEngineAllocator(EngineAllocator replacement)
{
    return engineAllocator.exchange(replacement != nullptr ? replacement : &zeroedBlock);
}

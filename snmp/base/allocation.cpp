#include "snmp/base/allocation.h"

#include <atomic>
#include <cstdlib>

namespace {

void* zeroFilled(size_t count, size_t size)
{
    return std::calloc(count > 0 ? count : 1, size > 0 ? size : 1);
}

std::atomic<EngineAllocator> allocator{zeroFilled};

}  // namespace

void* engineAlloc(size_t count, size_t size)
{
    return allocator.load()(count, size);
}

void engineFree(void* block)
{
    std::free(block);
}

EngineAllocator setEngineAllocator(EngineAllocator replacement)
{
    return allocator.exchange(replacement != nullptr ? replacement : zeroFilled);
}

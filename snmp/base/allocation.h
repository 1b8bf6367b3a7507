// Every block the engine allocates comes from engineAlloc and goes back with
// engineFree, so that a test can make any one allocation fail and see the
// engine fail cleanly.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>

// An allocator: count * size zero-filled octets, or null.
typedef void* (*EngineAllocator)(size_t count, size_t size);

// Installs an allocator and answers the one it replaces; null restores the
// default (zero-filled blocks from malloc). Blocks are always released with free.
EngineAllocator setEngineAllocator(EngineAllocator allocator);

// The allocator in use (read on every allocation, so kept where it inlines).
extern std::atomic<EngineAllocator> engineAllocator;

// count * size zero-filled octets (at least one), or null.
inline void* engineAlloc(size_t count, size_t size)
{
    return engineAllocator.load(std::memory_order_relaxed)(count > 0 ? count : 1, size > 0 ? size : 1);
}

// Releases a block from engineAlloc; null is accepted.
inline void engineFree(void* block) { std::free(block); }

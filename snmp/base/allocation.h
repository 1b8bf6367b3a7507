// Every block the engine allocates comes from engineAlloc and goes back with
// engineFree, so that a test can make any one allocation fail and see the
// engine fail cleanly.
#pragma once

#include <cstddef>

// count * size zero-filled octets (at least one), or null.
void* engineAlloc(size_t count, size_t size);
// Releases a block from engineAlloc; null is accepted.
void engineFree(void* block);

// An allocator: count * size zero-filled octets, or null.
typedef void* (*EngineAllocator)(size_t count, size_t size);
// Installs an allocator and answers the one it replaces; null restores the
// default (calloc). Blocks are always released with free.
EngineAllocator setEngineAllocator(EngineAllocator allocator);

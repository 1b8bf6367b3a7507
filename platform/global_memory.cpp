#include "platform/global_memory.h"

#include <cstdlib>
#include <cstring>

namespace {

struct GlobalBlock {
    SIZE_T size;
    UINT lockCount;
    UINT flags;
    // Keeps the data suitably aligned for any use a caller makes of it.
    alignas(std::max_align_t) unsigned char data[1];
};

GlobalBlock* blockOf(HGLOBAL handle) { return static_cast<GlobalBlock*>(handle); }

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    const SIZE_T header = offsetof(GlobalBlock, data);
    if (bytes > SIZE_MAX - header - 1)
        return nullptr;
    // One spare zero byte behind the data: a text block stays terminated even
    // when its owner forgot to count the terminator.
    void* memory = std::calloc(1, header + bytes + 1);
    if (memory == nullptr)
        return nullptr;
    GlobalBlock* block = static_cast<GlobalBlock*>(memory);
    block->size = bytes;
    block->flags = flags;
    return block;
}

void* GlobalLock(HGLOBAL handle)
{
    if (handle == nullptr)
        return nullptr;
    GlobalBlock* block = blockOf(handle);
    ++block->lockCount;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle)
{
    if (handle == nullptr)
        return FALSE;
    GlobalBlock* block = blockOf(handle);
    if (block->lockCount > 0)
        --block->lockCount;
    return block->lockCount > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL handle)
{
    return handle == nullptr ? 0 : blockOf(handle)->size;
}

HGLOBAL GlobalFree(HGLOBAL handle)
{
    std::free(handle);
    return nullptr;
}

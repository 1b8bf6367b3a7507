#include "classlib/shared_ownership.h"

#include <new>

bool joinOwnership(SharedOwnership*& source, SharedOwnership*& target)
{
    if (source == nullptr) {
        source = new (std::nothrow) SharedOwnership{{1}, {false}};
        if (source == nullptr)
            return false;
    }
    source->holders.fetch_add(1, std::memory_order_relaxed);
    target = source;
    return true;
}

bool leaveOwnership(SharedOwnership*& share)
{
    SharedOwnership* record = share;
    share = nullptr;
    if (record == nullptr)
        return true;
    if (record->holders.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return false;
    const bool release = !record->handedOver.load(std::memory_order_relaxed);
    delete record;
    return release;
}

void handOverOwnership(SharedOwnership*& share)
{
    if (share != nullptr)
        share->handedOver.store(true, std::memory_order_relaxed);
    leaveOwnership(share);
}

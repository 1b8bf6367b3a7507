#include "platform/critical_section.h"

#include <atomic>
#include <mutex>
#include <new>
#include <thread>

struct CriticalSectionLock {
    std::recursive_mutex mutex;
    // Written only by the holder; read by anyone to tell whether the caller holds it.
    std::atomic<std::thread::id> owner{};
    int depth = 0;  // entries of the holder; touched only by the holder
};

namespace {

bool heldByCaller(const CriticalSectionLock* lock)
{
    return lock->owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void markEntered(CriticalSectionLock* lock)
{
    if (lock->depth++ == 0)
        lock->owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    if (section != nullptr)
        section->lock = new (std::nothrow) CriticalSectionLock;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    if (section == nullptr || section->lock == nullptr)
        return;
    CriticalSectionLock* lock = section->lock;
    section->lock = nullptr;
    if (!lock->mutex.try_lock())
        return;  // another thread holds it: lose the lock rather than pull it away
    // The caller holds it now, perhaps on top of its own earlier entries: let go of all.
    const int depth = heldByCaller(lock) ? lock->depth : 0;
    for (int i = 0; i <= depth; ++i)
        lock->mutex.unlock();
    delete lock;
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (section == nullptr || section->lock == nullptr)
        return;
    section->lock->mutex.lock();
    markEntered(section->lock);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (section == nullptr || section->lock == nullptr)
        return FALSE;
    if (!section->lock->mutex.try_lock())
        return FALSE;
    markEntered(section->lock);
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    if (section == nullptr || section->lock == nullptr)
        return;
    CriticalSectionLock* lock = section->lock;
    if (!heldByCaller(lock))
        return;
    if (--lock->depth == 0)
        lock->owner.store(std::thread::id(), std::memory_order_relaxed);
    lock->mutex.unlock();
}

int CriticalSectionDepth(LPCRITICAL_SECTION section)
{
    if (section == nullptr || section->lock == nullptr || !heldByCaller(section->lock))
        return 0;
    return section->lock->depth;
}

bool CriticalSectionSame(const CRITICAL_SECTION& a, const CRITICAL_SECTION& b) { return a.lock == b.lock; }

// On Windows the critical sections are kernel32's; only the look at a lock's
// depth is the platform layer's own.
#include "platform/critical_section.h"

int CriticalSectionDepth(LPCRITICAL_SECTION section)
{
    if (section == nullptr)
        return 0;
    const DWORD owner = static_cast<DWORD>(reinterpret_cast<uintptr_t>(section->OwningThread));
    return owner == GetCurrentThreadId() ? static_cast<int>(section->RecursionCount) : 0;
}

bool CriticalSectionSame(const CRITICAL_SECTION& a, const CRITICAL_SECTION& b) { return &a == &b; }

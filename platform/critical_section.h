// Critical sections: the platform's recursive in-process locks.
//
// A CRITICAL_SECTION names a lock made by InitializeCriticalSection and
// destroyed by DeleteCriticalSection. As on the platform, the thread that
// holds a section may enter it again; it must leave it as often as it entered
// before another thread gets in.
//
// Copying the record copies the name of the lock, not the lock: every copy
// enters and leaves the same lock, and only one of them may be deleted (the
// others must then no longer be used). CZEL_CHMS keeps count of such copies.
//
// On Windows these are kernel32's own; what follows is the stand-in's.
// Unlike the platform, the stand-in forgives the misuses that would otherwise
// corrupt memory or the lock's state:
//  - entering, leaving or deleting a section that was never initialised
//    (zero-filled) or is already deleted does nothing;
//  - leaving a section that the calling thread does not hold does nothing;
//  - deleting a section that the calling thread holds releases it first;
//    deleting one that another thread holds leaves the lock allocated (it is
//    lost rather than destroyed under its holder).
// Deleting a section that another thread is waiting to enter stays an error of
// the caller, as on the platform.
#pragma once

#include "platform/win_types.h"

#ifndef _WIN32
struct CriticalSectionLock;

struct CRITICAL_SECTION {
    CriticalSectionLock* lock;  // null before initialisation and after deletion
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

// Makes a new lock. Should memory run out the section stays null, and entering
// it then does not exclude anyone; nothing else goes wrong.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
// Waits until the calling thread holds the section (at once if it holds it already).
void EnterCriticalSection(LPCRITICAL_SECTION section);
// Enters without waiting: TRUE when the calling thread now holds the section.
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
#endif

// How often the calling thread has entered the section without leaving it
// (0 when another thread or nobody holds it). Not a platform function: the
// tests and diagnostics look at a lock's state through it.
int CriticalSectionDepth(LPCRITICAL_SECTION section);
// Whether the two records name one lock: the stand-in's copies all do; a
// Windows section is its record, and a copy of it is not the same lock.
bool CriticalSectionSame(const CRITICAL_SECTION& a, const CRITICAL_SECTION& b);

// Global memory handles.
//
// A handle designates a block record that holds the size and lock count in
// front of the data, so a handle made by one library (the host's MakeHandle)
// can be sized, locked and freed by another (the module, the runner).
#pragma once

#include "platform/win_types.h"

// On Windows: kernel32's own.
#ifndef _WIN32

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// Null when the memory cannot be had. The data is always zero-filled.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Address of the data, or null for a null handle.
void* GlobalLock(HGLOBAL handle);
// FALSE once the lock count is back to zero (as the platform answers).
BOOL GlobalUnlock(HGLOBAL handle);
// Size given at allocation; 0 for a null handle.
SIZE_T GlobalSize(HGLOBAL handle);
// Null on success; a null handle is accepted and answers null.
HGLOBAL GlobalFree(HGLOBAL handle);
#endif

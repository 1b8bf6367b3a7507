// What the module imports from the host's class library (Vantor.dll).
//
// The host owns these; the stand-in library libvantor supplies them with the
// behaviour documented here. Text handles are movable global memory blocks
// (platform/global_memory.h) holding a zero-terminated copy of the text.
#pragma once

#include "platform/global_memory.h"
#include "platform/host_string.h"
#include "platform/win_types.h"

#ifndef VANTOR_API
#define VANTOR_API PLATFORM_EXPORT
#endif

// SplitField, UnTab, InsertEx and the STR_ text tests.
#include "host/string_helpers.h"

// A new handle holding a copy of the text and its terminator; null for a null text
// or when memory runs out. The receiver of the handle owns it.
VANTOR_API HGLOBAL MakeHandle(const char* text);
// A new handle holding a copy of length bytes (no terminator is counted; one spare
// zero byte follows the block all the same).
VANTOR_API HGLOBAL MakeHandle(const void* data, DWORD length);
// A new handle with a copy of the other's content; null for a null handle.
VANTOR_API HGLOBAL CopyHandle(HGLOBAL handle);
// The handle's content as text, up to its first zero byte or its size; empty for null.
VANTOR_API CString GetHandleStr(HGLOBAL handle);
// Address of the handle's content; null for null.
VANTOR_API void* GetHandleData(HGLOBAL handle);

// The host's binary buffer. The 13-byte header is laid out without gaps and the
// bytes follow it directly; the host allocates header and bytes as one block.
#pragma pack(push, 1)
class VANTOR_API BinData {
public:
    BYTE m_state;     // 0: the buffer counts as empty
    DWORD m_maxLen;   // bytes the block has room for behind the header
    DWORD m_hostWord; // the host's own
    DWORD m_length;   // bytes in use

    // Address of the bytes behind the header.
    void* GetData();

    // Members that every module built against this header carries and exports
    // itself (the module defines them; the host library does not call them).
    // True when the state flag is 0.
    bool IsEmpty();
    // Records a new maximum length; a negative one is refused and changes
    // nothing. It does not reallocate: the caller answers for the room.
    void SetMaxLen(int maxLen);
    // The maximum length (INT_MAX for a larger recorded value).
    int GetMaxLen();
    // Bytes in use.
    DWORD GetLength();
};
#pragma pack(pop)
static_assert(sizeof(BinData) == 13, "BinData header must be 13 bytes without gaps");

// Allocates a BinData with room for maxLen bytes, holding a copy of the given bytes.
// The host's own helper; the module never calls it. Free with FreeBinData.
VANTOR_API BinData* MakeBinData(const void* bytes, DWORD length, DWORD maxLen);
VANTOR_API void FreeBinData(BinData* data);

// What the module keeps of its host and how it speaks to it: the context, the
// messages to the host's window, and the two binary-variable services obtained
// from it with message 1124.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostapi/host_value.h"
#include "platform/win_types.h"
#include "platform/window_messages.h"

class BinData;

// The host's context record; the module reads only the window handle, which
// stands behind four 32-bit words of the host's own.
struct HostContext {
    uint32_t hostWords[4];
    HWND window;
};
static_assert(offsetof(HostContext, window) == 16, "the window handle is the host context's fifth word");

// Host messages (WM_USER + n).
enum : UINT {
    HostMsgServices = WM_USER + 100,     // 1124: wParam 32 lookup, 33 accessor
    HostMsgNotice = WM_USER + 103,       // 1127: text handle, flag byte
    HostMsgError = WM_USER + 104,        // 1128: text handle, detail handle or 0
    HostMsgInvalidValue = WM_USER + 105, // 1129: text handle, 0
};
enum : WPARAM {
    HostServiceBinLookup = 32,
    HostServiceBinAccess = 33,
};

// The host's binary-variable lookup: given the address of a HostValue's extra
// word, the variable's index, negative when there is none.
typedef int32_t (*BinLookupService)(const uint32_t* extraWord);
// The host's binary-buffer accessor: given an index, the variable's buffer.
typedef BinData* (*BinAccessService)(intptr_t index);

struct HostServices {
    HostContext* context = nullptr;
    BinLookupService binLookup = nullptr;
    BinAccessService binAccess = nullptr;
};

HostServices& hostServices();

// Sends a message to the host window; 0 when there is no context or window.
LRESULT sendHostMessage(UINT message, WPARAM wParam, LPARAM lParam);

// The three reports. Each text goes over as a handle from MakeHandle, which the
// host then owns; nothing is made when nothing can be delivered.
void reportNotice(const char* text, BYTE flag);             // 1127
void reportError(const char* text, const char* detail);     // 1128; detail may be null
void reportInvalidValue(const char* text);                   // 1129

// The binary variable a HostValue names, or null when the host has no such
// variable or did not supply its services.
BinData* lookupBinaryVariable(const HostValue& value);

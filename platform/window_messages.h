// Window handles and synchronous message delivery.
//
// A window is a record holding its procedure; SendMessageA calls that
// procedure on the caller's thread and hands back its answer, as the
// platform does for a window owned by the calling thread.
#pragma once

#include "platform/win_types.h"

// On Windows: user32's own, and a window is a real one (the host's, or a
// test's message-only window).
#ifndef _WIN32

struct WindowRecord;
typedef WindowRecord* HWND;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WindowRecord {
    WNDPROC procedure;
    void* userData;  // whatever the window's owner wants to reach from its procedure
};

// Answers 0 when there is no window or it has no procedure.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#endif

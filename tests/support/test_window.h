// A window for tests whose messages go to a procedure of the test's own: on
// Windows a real message-only window, elsewhere the stand-in's record.
#pragma once

#include "platform/window_messages.h"

typedef LRESULT (*TestProcedure)(void* userData, UINT message, WPARAM wParam, LPARAM lParam);

class TestWindow {
public:
    TestWindow(TestProcedure procedure, void* userData) : procedure_(procedure), userData_(userData)
    {
#ifdef _WIN32
        static const ATOM windowClass = [] {
            WNDCLASSA description = {};
            description.lpfnWndProc = &TestWindow::dispatch;
            description.lpszClassName = "VantorTestWindow";
            return RegisterClassA(&description);
        }();
        handle_ = CreateWindowExA(0, MAKEINTATOM(windowClass), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
        SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
#else
        record_.procedure = &TestWindow::dispatch;
        record_.userData = this;
        handle_ = &record_;
#endif
    }
    ~TestWindow()
    {
#ifdef _WIN32
        DestroyWindow(handle_);
#endif
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return handle_; }

private:
#ifdef _WIN32
    static LRESULT CALLBACK dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr || message < WM_USER)
            return DefWindowProcA(window, message, wParam, lParam);
        return self->procedure_(self->userData_, message, wParam, lParam);
    }
#else
    static LRESULT dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<TestWindow*>(window->userData);
        return self->procedure_(self->userData_, message, wParam, lParam);
    }
    WindowRecord record_{};
#endif
    TestProcedure procedure_;
    void* userData_;
    HWND handle_ = nullptr;
};

#include "platform/window_messages.h"

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window == nullptr || window->procedure == nullptr)
        return 0;
    return window->procedure(window, message, wParam, lParam);
}

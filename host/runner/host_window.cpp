// The runner's window procedure: the host side of the module's messages.
#include <cstdio>

#include <lua.hpp>

#include "host/runner/runner.h"

namespace {

const UINT MsgServices = WM_USER + 100;
const UINT MsgNotice = WM_USER + 103;
const UINT MsgError = WM_USER + 104;
const UINT MsgInvalidValue = WM_USER + 105;

// Reads a text handle and releases it: once sent, the handle is the host's.
std::string takeHandleText(HGLOBAL handle)
{
    if (handle == nullptr)
        return std::string();
    CString text = GetHandleStr(handle);
    GlobalFree(handle);
    return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

void deliverReport(HostWindow& window, UINT message, const std::string& text, const std::string* detail)
{
    const int id = static_cast<int>(message);
    if (window.lua != nullptr && window.messageHandlerRef >= 0) {
        lua_State* L = window.lua;
        lua_rawgeti(L, LUA_REGISTRYINDEX, window.messageHandlerRef);
        lua_pushinteger(L, id);
        lua_pushlstring(L, text.data(), text.size());
        if (detail != nullptr)
            lua_pushlstring(L, detail->data(), detail->size());
        else
            lua_pushnil(L);
        // Errors must not unwind through the module's frames: keep the first
        // one and raise it once the module call has returned.
        if (lua_pcall(L, 3, 0, 0) != LUA_OK) {
            if (window.pendingError.empty()) {
                const char* reason = lua_tostring(L, -1);
                window.pendingError = reason != nullptr ? reason : "error in message handler";
            }
            lua_pop(L, 1);
        }
        return;
    }
    if (detail != nullptr)
        std::fprintf(stderr, "message %d: %s (%s)\n", id, text.c_str(), detail->c_str());
    else
        std::fprintf(stderr, "message %d: %s\n", id, text.c_str());
    std::fflush(stderr);
}

LRESULT hostWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostWindow& window = *static_cast<HostWindow*>(hwnd->userData);
    switch (message) {
    case MsgServices:
        if (wParam == 32)
            return reinterpret_cast<LRESULT>(&binaryVariableLookup);
        if (wParam == 33)
            return reinterpret_cast<LRESULT>(&binaryVariableAccess);
        return 0;
    case MsgNotice:
    case MsgInvalidValue: {
        const std::string text = takeHandleText(reinterpret_cast<HGLOBAL>(wParam));
        deliverReport(window, message, text, nullptr);
        return 0;
    }
    case MsgError: {
        const std::string text = takeHandleText(reinterpret_cast<HGLOBAL>(wParam));
        if (lParam != 0) {
            const std::string detail = takeHandleText(reinterpret_cast<HGLOBAL>(lParam));
            deliverReport(window, message, text, &detail);
        } else {
            deliverReport(window, message, text, nullptr);
        }
        return 0;
    }
    default:
        return 0;
    }
}

}  // namespace

void initHostWindow(HostWindow& window, lua_State* lua)
{
    window.record.procedure = &hostWindowProcedure;
    window.record.userData = &window;
    window.context = HostContext{};
    window.context.window = &window.record;
    window.lua = lua;
}

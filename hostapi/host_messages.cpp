#include "hostapi/host_messages.h"

#include "host/vantor_host.h"

HostServices& hostServices()
{
    static HostServices services;
    return services;
}

LRESULT sendHostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HostContext* context = hostServices().context;
    if (context == nullptr || context->window == nullptr)
        return 0;
    return SendMessageA(context->window, message, wParam, lParam);
}

namespace {

bool hostWindowPresent()
{
    const HostContext* context = hostServices().context;
    return context != nullptr && context->window != nullptr;
}

}  // namespace

void reportNotice(const char* text, BYTE flag)
{
    if (!hostWindowPresent())
        return;
    HGLOBAL handle = MakeHandle(text);
    sendHostMessage(HostMsgNotice, reinterpret_cast<WPARAM>(handle), static_cast<LPARAM>(flag));
}

void reportError(const char* text, const char* detail)
{
    if (!hostWindowPresent())
        return;
    HGLOBAL handle = MakeHandle(text);
    HGLOBAL detailHandle = detail != nullptr ? MakeHandle(detail) : nullptr;
    sendHostMessage(HostMsgError, reinterpret_cast<WPARAM>(handle), reinterpret_cast<LPARAM>(detailHandle));
}

void reportInvalidValue(const char* text)
{
    if (!hostWindowPresent())
        return;
    HGLOBAL handle = MakeHandle(text);
    sendHostMessage(HostMsgInvalidValue, reinterpret_cast<WPARAM>(handle), 0);
}

BinData* lookupBinaryVariable(const HostValue& value)
{
    const HostServices& services = hostServices();
    if (services.binLookup == nullptr || services.binAccess == nullptr)
        return nullptr;
    const int32_t index = services.binLookup(&value.extra);
    if (index < 0)
        return nullptr;
    return services.binAccess(index);
}

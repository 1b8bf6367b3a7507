#include <dlfcn.h>

#include "platform/extension_module.h"

HINSTANCE moduleInstanceOf(const void* address)
{
    Dl_info info;
    if (dladdr(address, &info) == 0)
        return nullptr;
    return info.dli_fbase;
}

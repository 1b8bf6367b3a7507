// Process attach and detach: the module registers with the platform class
// library when it is loaded and unregisters when it is unloaded.
#include <dlfcn.h>

#include <new>

#include "platform/extension_module.h"

namespace {

AFX_EXTENSION_MODULE moduleState = {FALSE, nullptr};
CDynLinkLibrary* dynLinkLibrary = nullptr;

HINSTANCE ownInstance()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ownInstance), &info) == 0)
        return nullptr;
    return info.dli_fbase;
}

__attribute__((constructor)) void processAttach()
{
    if (AfxInitExtensionModule(moduleState, ownInstance()))
        dynLinkLibrary = new (std::nothrow) CDynLinkLibrary(moduleState);
}

__attribute__((destructor)) void processDetach()
{
    delete dynLinkLibrary;
    dynLinkLibrary = nullptr;
    AfxTermExtensionModule(moduleState);
}

}  // namespace

// Process attach and detach: the module registers with the platform class
// library when it is loaded and unregisters when it is unloaded; on Windows it
// also starts and stops Winsock for its sockets.
#include <new>

#include "platform/extension_module.h"
#include "platform/winsock.h"

namespace {

AFX_EXTENSION_MODULE moduleState = {FALSE, nullptr};
CDynLinkLibrary* dynLinkLibrary = nullptr;

bool processAttach(HINSTANCE instance)
{
    if (!winSocketsStart())
        return false;
    if (AfxInitExtensionModule(moduleState, instance))
        dynLinkLibrary = new (std::nothrow) CDynLinkLibrary(moduleState);
    return true;
}

void processDetach()
{
    delete dynLinkLibrary;
    dynLinkLibrary = nullptr;
    AfxTermExtensionModule(moduleState);
    winSocketsStop();
}

}  // namespace

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
        return processAttach(instance) ? TRUE : FALSE;
    if (reason == DLL_PROCESS_DETACH)
        processDetach();
    return TRUE;
}
#else
namespace {

__attribute__((constructor)) void loaded() { processAttach(moduleInstanceOf(reinterpret_cast<const void*>(&loaded))); }

__attribute__((destructor)) void unloaded() { processDetach(); }

}  // namespace
#endif

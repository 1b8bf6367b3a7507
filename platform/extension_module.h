// Registration of an extension module with the platform class library.
//
// The real library keeps a chain of extension modules for resource and class
// lookups; nothing of the sort exists here, so the stand-in only records that
// a module attached and detached, which is all the module relies on.
#pragma once

#include "platform/win_types.h"

struct AFX_EXTENSION_MODULE {
    BOOL initialized;
    HINSTANCE module;
};

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE module);
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state);

// Links an initialised extension module into the class library's chain.
class CDynLinkLibrary {
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);
    ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

private:
    AFX_EXTENSION_MODULE* m_state;
    CDynLinkLibrary* m_next;
};

// Number of extension modules currently linked into the chain.
int AfxExtensionModuleCount();

// The instance handle of the loaded module that holds the address (on Windows
// the module's DllMain is handed its own); null when none does.
HINSTANCE moduleInstanceOf(const void* address);

#include "platform/extension_module.h"

namespace {
CDynLinkLibrary* chainHead = nullptr;
int chainCount = 0;
}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE module)
{
    state.initialized = TRUE;
    state.module = module;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state)
{
    state.initialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state) : m_state(&state), m_next(chainHead)
{
    chainHead = this;
    ++chainCount;
}

CDynLinkLibrary::~CDynLinkLibrary()
{
    CDynLinkLibrary** link = &chainHead;
    while (*link != nullptr && *link != this)
        link = &(*link)->m_next;
    if (*link == this) {
        *link = m_next;
        --chainCount;
    }
    (void)m_state;
}

int AfxExtensionModuleCount() { return chainCount; }

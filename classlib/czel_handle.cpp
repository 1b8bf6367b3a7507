// CZEL_Handle: an owned global memory handle. How assignment shares a handle
// without freeing it twice is told in classlib/class_library.h.
#include "classlib/class_library.h"
#include "classlib/shared_ownership.h"

namespace {

// Lets go of the handle; frees it when this was its last holder. A free
// function rather than a member, so that it is not exported with the class.
void releaseHandle(HGLOBAL& handle, SharedOwnership*& share)
{
    if (handle != nullptr && leaveOwnership(share))
        GlobalFree(handle);
    handle = nullptr;
    share = nullptr;
}

}  // namespace

CZEL_Handle::CZEL_Handle() : m_hHandle(nullptr), m_share(nullptr) {}

CZEL_Handle::CZEL_Handle(const CZEL_Handle& other) : m_hHandle(CopyHandle(other.m_hHandle)), m_share(nullptr) {}

CZEL_Handle::CZEL_Handle(const char* text) : m_hHandle(MakeHandle(text)), m_share(nullptr) {}

CZEL_Handle::CZEL_Handle(const void* data, DWORD length) : m_hHandle(MakeHandle(data, length)), m_share(nullptr) {}

CZEL_Handle::~CZEL_Handle() { releaseHandle(m_hHandle, m_share); }

BOOL CZEL_Handle::Attach(HGLOBAL handle)
{
    if (m_hHandle != nullptr)
        return FALSE;
    m_hHandle = handle;
    m_share = nullptr;
    return TRUE;
}

HGLOBAL CZEL_Handle::Detach()
{
    HGLOBAL handle = m_hHandle;
    handOverOwnership(m_share);
    m_hHandle = nullptr;
    return handle;
}

CZEL_Handle::operator HGLOBAL() { return m_hHandle; }

CZEL_Handle::operator CString() { return GetHandleStr(m_hHandle); }

void* CZEL_Handle::GetData() { return GetHandleData(m_hHandle); }

DWORD CZEL_Handle::GetDataLength()
{
    const SIZE_T size = GlobalSize(m_hHandle);
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

CZEL_Handle& CZEL_Handle::operator=(const CZEL_Handle& other)
{
    // Already holding the same block (self-assignment among them): nothing to do.
    if (m_hHandle == other.m_hHandle)
        return *this;
    SharedOwnership* joined = nullptr;
    if (other.m_hHandle != nullptr && !joinOwnership(other.m_share, joined))
        return *this;  // no memory to count a second holder: keep the own handle
    releaseHandle(m_hHandle, m_share);
    m_hHandle = other.m_hHandle;
    m_share = joined;
    return *this;
}

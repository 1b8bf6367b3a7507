#include "host/vantor_host.h"

#include <cstring>

HGLOBAL MakeHandle(const char* text)
{
    if (text == nullptr)
        return nullptr;
    return MakeHandle(text, static_cast<DWORD>(std::strlen(text) + 1));
}

HGLOBAL MakeHandle(const void* data, DWORD length)
{
    HGLOBAL handle = GlobalAlloc(GHND, length);
    if (handle == nullptr)
        return nullptr;
    if (length > 0 && data != nullptr) {
        std::memcpy(GlobalLock(handle), data, length);
        GlobalUnlock(handle);
    }
    return handle;
}

HGLOBAL CopyHandle(HGLOBAL handle)
{
    if (handle == nullptr)
        return nullptr;
    const SIZE_T size = GlobalSize(handle);
    HGLOBAL copy = GlobalAlloc(GHND, size);
    if (copy == nullptr)
        return nullptr;
    std::memcpy(GlobalLock(copy), GlobalLock(handle), size);
    GlobalUnlock(handle);
    GlobalUnlock(copy);
    return copy;
}

CString GetHandleStr(HGLOBAL handle)
{
    if (handle == nullptr)
        return CString();
    const char* text = static_cast<const char*>(GlobalLock(handle));
    const SIZE_T size = GlobalSize(handle);
    SIZE_T length = 0;
    while (length < size && text[length] != 0)
        ++length;
    CString result(text, static_cast<int>(length));
    GlobalUnlock(handle);
    return result;
}

void* GetHandleData(HGLOBAL handle)
{
    if (handle == nullptr)
        return nullptr;
    // The block never moves here, so the address stays good without a held lock.
    void* data = GlobalLock(handle);
    GlobalUnlock(handle);
    return data;
}

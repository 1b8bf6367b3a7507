#include "host/vantor_host.h"

#include <cstdlib>
#include <cstring>

void* BinData::GetData()
{
    return reinterpret_cast<unsigned char*>(this) + sizeof(BinData);
}

BinData* MakeBinData(const void* bytes, DWORD length, DWORD maxLen)
{
    if (maxLen < length)
        maxLen = length;
    void* block = std::calloc(1, sizeof(BinData) + static_cast<size_t>(maxLen) + 1);
    if (block == nullptr)
        return nullptr;
    BinData* data = static_cast<BinData*>(block);
    data->m_state = 1;
    data->m_maxLen = maxLen;
    data->m_length = length;
    if (length > 0 && bytes != nullptr)
        std::memcpy(data->GetData(), bytes, length);
    return data;
}

void FreeBinData(BinData* data) { std::free(data); }

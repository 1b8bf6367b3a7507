// The members of the host's BinData that the module carries and exports.
#include <climits>

#include "host/vantor_host.h"

bool BinData::IsEmpty() { return m_state == 0; }

void BinData::SetMaxLen(int maxLen)
{
    if (maxLen >= 0)
        m_maxLen = static_cast<DWORD>(maxLen);
}

int BinData::GetMaxLen() { return m_maxLen > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(m_maxLen); }

DWORD BinData::GetLength() { return m_length; }

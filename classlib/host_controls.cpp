// Members of the host's controls, sockets and settings file that the module
// carries and exports: plain reads of what the host stored.
#include "classlib/class_library.h"

DWORD CColorStatic::GetTextColor() { return m_textColor; }

DWORD CColorStatic::GetBkColor() { return m_bkColor; }

DWORD CColorStatic::GetBkMode() { return m_bkMode; }

int CZEL_ServerSocket::GetClientCount() { return m_clientCount; }

CString CZEL_IniFile::GetFileName() { return m_fileName; }

void CZEL_UserSocket::ShowWelcome() {}

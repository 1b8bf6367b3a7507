// What the tests ask of a socket beyond the platform's interface: whether it
// is still open, whether a child process would inherit it, and a wait until
// it has something to read.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "platform/winsock.h"

inline bool socketOpen(SOCKET sock)
{
    int type = 0;
    socklen_t length = sizeof type;
    return getsockopt(sock, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0;
}

inline bool socketInherited(SOCKET sock)
{
#ifdef _WIN32
    DWORD flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(sock), &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
#else
    return (fcntl(sock, F_GETFD) & FD_CLOEXEC) == 0;
#endif
}

// True when a datagram (or an error) waits on the socket within the time.
inline bool readableWithin(SOCKET sock, int milliseconds)
{
    WinFdSet set;
    winFdZero(&set);
    winFdSet(sock, &set);
    const timeval wait = {milliseconds / 1000, milliseconds % 1000 * 1000};
    return winSelect(0, &set, nullptr, nullptr, &wait) == 1;
}

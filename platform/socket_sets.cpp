// The socket sets of select, kept as Winsock keeps them (a count and an
// array), the same on every platform.
#include "platform/winsock.h"

namespace {

UINT countOf(const WinFdSet* set)
{
    // A count beyond the array (a set filled by hand) is never read past.
    return set->fd_count > WIN_FD_SETSIZE ? WIN_FD_SETSIZE : set->fd_count;
}

}  // namespace

void winFdZero(WinFdSet* set)
{
    if (set != nullptr)
        set->fd_count = 0;
}

void winFdSet(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr || __WSAFDIsSet(sock, set))
        return;
    if (set->fd_count < WIN_FD_SETSIZE)
        set->fd_array[set->fd_count++] = sock;
}

void winFdClr(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr)
        return;
    const UINT count = countOf(set);
    UINT kept = 0;
    for (UINT i = 0; i < count; ++i) {
        if (set->fd_array[i] != sock)
            set->fd_array[kept++] = set->fd_array[i];
    }
    set->fd_count = kept;
}

// Winsock has its own.
#ifndef _WIN32
int __WSAFDIsSet(SOCKET sock, WinFdSet* set)
{
    if (set == nullptr)
        return 0;
    const UINT count = countOf(set);
    for (UINT i = 0; i < count; ++i) {
        if (set->fd_array[i] == sock)
            return 1;
    }
    return 0;
}
#endif

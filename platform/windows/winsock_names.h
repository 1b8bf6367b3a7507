// The names of platform/winsock.h that Winsock 2 has itself: on Windows they
// are Winsock's own (SOCKET is pointer-sized there).
#pragma once

#include "platform/win_types.h"

#include <ws2tcpip.h>

// An IPv4 address in network order, as the BSD headers name it.
typedef ULONG in_addr_t;

// Winsock's fd_set is the set: a count and at most FD_SETSIZE (64) sockets.
typedef fd_set WinFdSet;
#define WIN_FD_SETSIZE FD_SETSIZE

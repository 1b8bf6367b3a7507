#include "platform/windows/socket_errors.h"

#include <cerrno>

#include "platform/win_types.h"

namespace {

struct ErrorPair {
    int winsock;
    int error;
};

const ErrorPair kErrors[] = {
    {WSAEINTR, EINTR},
    {WSAEBADF, EBADF},
    {WSAEACCES, EACCES},
    {WSAEFAULT, EFAULT},
    {WSAEINVAL, EINVAL},
    {WSAEMFILE, EMFILE},
    {WSAEWOULDBLOCK, EWOULDBLOCK},
    {WSAEINPROGRESS, EINPROGRESS},
    {WSAENOTSOCK, EBADF},
    {WSAEDESTADDRREQ, EDESTADDRREQ},
    {WSAEMSGSIZE, EMSGSIZE},
    {WSAEPROTOTYPE, EPROTOTYPE},
    {WSAENOPROTOOPT, ENOPROTOOPT},
    {WSAEPROTONOSUPPORT, EPROTONOSUPPORT},
    {WSAEOPNOTSUPP, EOPNOTSUPP},
    {WSAEAFNOSUPPORT, EAFNOSUPPORT},
    {WSAEADDRINUSE, EADDRINUSE},
    {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
    {WSAENETDOWN, ENETDOWN},
    {WSAENETUNREACH, ENETUNREACH},
    {WSAENETRESET, ENETRESET},
    {WSAECONNABORTED, ECONNABORTED},
    {WSAECONNRESET, ECONNRESET},
    {WSAENOBUFS, ENOBUFS},
    {WSAENOTCONN, ENOTCONN},
    {WSAETIMEDOUT, ETIMEDOUT},
    {WSAECONNREFUSED, ECONNREFUSED},
    {WSAEHOSTUNREACH, EHOSTUNREACH},
};

}  // namespace

int errnoOfWinsock(int winsockError)
{
    for (const ErrorPair& pair : kErrors) {
        if (pair.winsock == winsockError)
            return pair.error;
    }
    return EIO;
}

int winsockErrorOf(int error)
{
    for (const ErrorPair& pair : kErrors) {
        // EBADF answers for two; the first (a bad handle) is the one named.
        if (pair.error == error)
            return pair.winsock;
    }
    return 0;
}

void errnoFromWinsock() { errno = errnoOfWinsock(WSAGetLastError()); }

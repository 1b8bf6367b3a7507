// Winsock names over BSD sockets.
//
// Where POSIX already has the name with a compatible shape, the POSIX call is
// the one used: socket, bind, sendto, setsockopt, gethostname, inet_ntoa,
// htons, ntohl (SOCKET is a plain descriptor here, so they take it as it is;
// the int lengths Winsock passes convert to socklen_t/size_t). So are the
// IPv6 names of Winsock 2 (ws2tcpip.h, Windows Vista and later), whose shapes
// are POSIX's: sockaddr_in6, sockaddr_storage (SOCKADDR_STORAGE),
// getaddrinfo and freeaddrinfo over addrinfo (ADDRINFOA), inet_pton and
// inet_ntop.
// Added: the SOCKET type and its constants, closesocket, a recvfrom that takes
// Winsock's int* address length and reports a datagram larger than the buffer
// as Winsock does, Winsock's inet_addr (the C library's reads other texts, so
// its name is poisoned below), Winsock's gethostbyname (which knows the empty
// name), and Winsock's select with its own read set.
//
// The set type: a count and at most 64 sockets, as Winsock has it, under
// names that do not meet <sys/select.h>'s fd_set. Its select is built on
// poll, so any descriptor number is safe, also those at or above glibc's
// FD_SETSIZE (1024) that a busy host process hands out; the set's capacity of
// 64 is about the number of sockets, not their numbers.
//
// Errors are reported the POSIX way, in errno, so the runtime's error report
// (runtimeReportError) describes them.
//
// On Windows the names Winsock has are Winsock's own (platform/windows/
// winsock_names.h); the functions below keep their contracts there, over
// Winsock 2 (platform/windows/winsock.cpp), errors copied into errno too.
#pragma once

#include "platform/endpoint.h"

#ifdef _WIN32
#include "platform/windows/winsock_names.h"
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/endpoint.h"
#include "platform/win_types.h"

// The C library's inet_addr reads texts Winsock's refuses ("0x" as 0.0.0.0,
// "1.2.3.4\tx"): every caller takes winInetAddr.
#pragma GCC poison inet_addr

typedef int SOCKET;
typedef addrinfo ADDRINFOA;
typedef sockaddr_storage SOCKADDR_STORAGE;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

// Capacity of a WinFdSet (Winsock's FD_SETSIZE).
#define WIN_FD_SETSIZE 64

struct WinFdSet {
    UINT fd_count;                     // sockets in fd_array
    SOCKET fd_array[WIN_FD_SETSIZE];
};

// Closes the socket: 0, or SOCKET_ERROR with errno set.
int closesocket(SOCKET sock);
#endif

// Starts and stops the system's sockets for the module (Winsock's WSAStartup
// and WSACleanup, from the module's load and unload; nothing to do elsewhere).
bool winSocketsStart();
void winSocketsStop();

// sendto, bind and the broadcast permission (SO_BROADCAST on) with errno set
// on failure, as the engine reads it: 0 (or the octets sent), or SOCKET_ERROR.
int winSendto(SOCKET sock, const void* data, size_t length, const sockaddr* to, int toLength);
int winBind(SOCKET sock, const sockaddr* address, int addressLength);
int winSetBroadcast(SOCKET sock);

// Winsock's recvfrom, whose address length is an int. On return *fromLength
// holds the length of the source address. Byte count, or SOCKET_ERROR.
// A negative length or *fromLength is refused (EINVAL). A datagram larger
// than the buffer fills the buffer and fails with EMSGSIZE (Winsock's
// WSAEMSGSIZE): the rest of it is lost, and a part must not pass for the whole.
// A receive timeout that expires fails with ETIMEDOUT (WSAETIMEDOUT); with
// MSG_DONTWAIT, nothing to read fails with EWOULDBLOCK (WSAEWOULDBLOCK).
int winRecvfrom(SOCKET sock, char* buffer, int length, int flags, sockaddr* from, int* fromLength);

// A UDP socket of the family (AF_INET or AF_INET6) that child processes do
// not inherit (the platform's WSASocket with WSA_FLAG_NO_HANDLE_INHERIT).
// INVALID_SOCKET with errno set on failure. An AF_INET6 socket speaks IPv6
// only (IPV6_V6ONLY, Windows' default): IPv4 datagrams never reach it as
// IPv4-mapped addresses. Here it also has a receive timeout of 50 ms
// (SO_RCVTIMEO), which winRecvfromWithin relies on: no receive on it blocks
// for longer.
SOCKET winUdpSocket(int family);

// The socket family (AF_INET, AF_INET6) of an endpoint's family; AF_INET
// without one.
int winSocketFamily(const Endpoint& endpoint);

// recvfrom on a socket of winUdpSocket that waits at most *timeout for a
// datagram ({0, 0}: takes one only if it is there). The byte count, or
// SOCKET_ERROR with errno: ETIMEDOUT (WSAETIMEDOUT) when the time ran out,
// which is once it has passed, never before, and here at most about 50
// microseconds after (the system's timer slack), however long it is;
// EINVAL for a null or negative timeout; otherwise as recvfrom. A signal
// does not end the wait.
//
// Here, while more than 75 ms are left, the wait is the receive itself, ended
// by the socket's 50 ms receive timeout (the kernel may let that run late by
// a few of its clock ticks, never 25 ms): one system call when a datagram
// comes, as a blocking receive. Only the last stretch is waited with a poll,
// whose end is exact. A Windows implementation waits with select and then
// receives: wine ignores a socket's receive timeout.
int winRecvfromWithin(SOCKET sock, char* buffer, int length, sockaddr* from, int* fromLength,
                      const timeval* timeout);

// Reads an IPv4 address text as Winsock's inet_addr reads it: one to four
// parts separated by '.', each decimal, octal (a leading 0) or hexadecimal
// (0x or 0X); with fewer than four, the last part fills the remaining octets
// (a: 32 bits; a.b: 8.24 bits; a.b.c: 8.8.16 bits). A part beyond its range,
// an empty part (0x without digits too), a character no digit of the part's
// base, more than four parts, the empty text and null are refused.
// What follows a space is ignored ("10.0.0.1 junk" is 10.0.0.1): Winsock's
// reading is the 4.2BSD routine's, which ends the address at white space, and
// its documentation refuses a text that "does not contain a legitimate
// Internet address", not one that holds more. Only the space ends it here:
// tabs and line ends, which the documentation never names, are refused.
// True and the address in network order in *address, or false.
bool winParseInetAddress(const char* text, in_addr_t* address);

// Winsock's inet_addr over winParseInetAddress: the address in network order,
// INADDR_NONE for a refused text, which is also the all-ones address
// (255.255.255.255, 0xffffffff, ...): callers that must tell them apart parse.
in_addr_t winInetAddr(const char* text);

// Winsock's gethostbyname: the empty name (or null) is the local host, as
// Winsock answers it; any other name as the system resolves it. Null when the
// name is not known.
hostent* winGethostbyname(const char* name);

// The socket address of an endpoint in *out (a sockaddr_in or sockaddr_in6,
// the rest zero) and its length; 0 for an endpoint without a family.
int winSockaddrOf(const Endpoint& endpoint, sockaddr_storage* out);

// The endpoint of a socket address `length` octets long (as recvfrom or
// getsockname answer it). False, *out zero-filled, for another family or a
// length too short for its family.
bool winEndpointOf(const sockaddr* address, int length, Endpoint* out);

// The address the socket is bound to, as an endpoint; false (*out zero-filled)
// when the system cannot say.
bool winLocalEndpoint(SOCKET sock, Endpoint* out);

// The endpoint's address as text ("127.0.0.1", "::1"), "?" without a family.
// size must be at least 2; 46 holds any address (INET6_ADDRSTRLEN).
void winAddressText(const Endpoint& endpoint, char* out, int size);

// FD_ZERO: empties the set.
void winFdZero(WinFdSet* set);
// FD_SET: adds the socket unless it is already there or the set holds 64
// sockets (then it is not added, as with Winsock).
void winFdSet(SOCKET sock, WinFdSet* set);
// FD_CLR: removes the socket, keeping the order of the others.
void winFdClr(SOCKET sock, WinFdSet* set);
// FD_ISSET: non-zero when the socket is in the set (Winsock's own on Windows).
#ifndef _WIN32
int __WSAFDIsSet(SOCKET sock, WinFdSet* set);
#endif
inline int winFdIsSet(SOCKET sock, WinFdSet* set) { return __WSAFDIsSet(sock, set); }

// Winsock's select. socketLimit is ignored, as by Winsock (every listed
// socket is watched whatever its number). Any set may be null. A null timeout
// waits without limit; {0, 0} only polls. A wait that runs out ends once its
// time has passed, never before, and here at most about 50 microseconds
// after (the system's timer slack), however long it is, so that a caller
// waiting for a deadline is woken on time.
//
// Result: the number of ready sockets over all three sets (a socket ready in
// two sets counts twice); each set then holds only its ready sockets, in
// their former order; 0 when the time ran out, with every set emptied.
// SOCKET_ERROR with errno set, the sets unchanged, when:
//   - no set holds a socket (EINVAL; Winsock refuses such a call too, and
//     with a null timeout it would otherwise wait for ever),
//   - a set's count is above 64 or the timeout is negative (EINVAL),
//   - a listed socket is not an open descriptor (EBADF).
// A signal that interrupts the wait does not end it: Winsock's select knows
// no signals, so the wait goes on for the time that is left.
//
// Readable means data (or an error or hang-up that the next receive will
// report) is waiting; writable, that a send would not block (or would fail
// at once); exceptional, out-of-band data, an error or a hang-up.
int winSelect(int socketLimit, WinFdSet* readSet, WinFdSet* writeSet, WinFdSet* exceptSet,
              const timeval* timeout);

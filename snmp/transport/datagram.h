// Datagrams in and out of a session's socket, and their dump: with the dump
// on (setDatagramDump), every datagram the engine sends or receives is
// written to the diagnostics' standard error in hexadecimal, with its
// direction, length and peer, as Net-SNMP's tools write it with -d.
#pragma once

#include <cstdint>

#include "platform/winsock.h"

// Sends one datagram from the socket. A destination the platform refuses as
// a broadcast (EACCES) gets the socket's broadcast permission and the
// datagram once more; *broadcast then says that it went out as one. 0, or -1
// with errno set.
int sendDatagram(SOCKET socket, const uint8_t* packet, int32_t length, const Endpoint& to, bool* broadcast);

// Reads one datagram of at most SnmpPacketSize octets and its sender: the
// octets read, or -1 (errno says why).
int readDatagram(SOCKET socket, uint8_t* packet, Endpoint* from);

// The same, waiting at most `wait` for the datagram (winRecvfromWithin): -1
// with errno ETIMEDOUT when none came in time.
int readDatagramWithin(SOCKET socket, uint8_t* packet, Endpoint* from, const timeval& wait);

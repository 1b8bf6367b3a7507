#include "snmp/transport/datagram.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/winsock.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/message.h"
#include "snmp/snmp.h"

namespace {

std::atomic<bool> dumping{false};

// "[address]:port" of an endpoint.
void writeEndpoint(const Endpoint& endpoint, char* out, size_t size)
{
    char address[48];
    winAddressText(endpoint, address, sizeof address);
    std::snprintf(out, size, "[%s]:%u", address, static_cast<unsigned>(endpoint.port));
}

// The heading line, then 16 octets a line: decimal offset, the octets in
// groups of four, and their printable characters.
void dump(const char* heading, SOCKET socket, const Endpoint& peer, const uint8_t* octets, int32_t length)
{
    Endpoint local;
    winLocalEndpoint(socket, &local);
    char remoteText[64];
    char localText[64];
    writeEndpoint(peer, remoteText, sizeof remoteText);
    writeEndpoint(local, localText, sizeof localText);
    diagnose("\n%s %d %s UDP: %s->%s\n", heading, length, heading[0] == 'S' ? "bytes to" : "byte packet from",
             remoteText, localText);
    for (int32_t offset = 0; offset < length; offset += 16) {
        char line[96];
        int used = std::snprintf(line, sizeof line, "%04d:", offset);
        for (int32_t i = 0; i < 16; ++i) {
            const char* gap = i % 4 == 0 ? "  " : " ";
            if (i == 0)
                gap = " ";
            if (offset + i < length)
                used += std::snprintf(line + used, sizeof line - used, "%s%02X", gap, octets[offset + i]);
            else
                used += std::snprintf(line + used, sizeof line - used, "%s  ", gap);
        }
        used += std::snprintf(line + used, sizeof line - used, "    ");
        for (int32_t i = 0; i < 16 && offset + i < length; ++i) {
            const uint8_t c = octets[offset + i];
            line[used++] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        }
        line[used] = 0;
        diagnose("%s\n", line);
    }
}

}  // namespace

void setDatagramDump(bool on) { dumping.store(on, std::memory_order_relaxed); }

int sendDatagram(SOCKET socket, const uint8_t* packet, int32_t length, const Endpoint& to, bool* broadcast)
{
    if (dumping.load(std::memory_order_relaxed))
        dump("Sending", socket, to, packet, length);
    *broadcast = false;
    sockaddr_storage destination;
    const int addressLength = winSockaddrOf(to, &destination);
    const sockaddr* address = reinterpret_cast<const sockaddr*>(&destination);
    if (winSendto(socket, packet, static_cast<size_t>(length), address, addressLength) >= 0)
        return 0;
    if (errno != EACCES)
        return -1;
    if (winSetBroadcast(socket) != 0) {
        errno = EACCES;
        return -1;
    }
    if (winSendto(socket, packet, static_cast<size_t>(length), address, addressLength) < 0)
        return -1;
    *broadcast = true;
    return 0;
}

namespace {

int readDatagramWaiting(SOCKET socket, uint8_t* packet, Endpoint* from, const timeval* wait)
{
    sockaddr_storage source;
    std::memset(&source, 0, sizeof source);
    int fromLength = sizeof source;
    char* const buffer = reinterpret_cast<char*>(packet);
    sockaddr* const sender = reinterpret_cast<sockaddr*>(&source);
    const int received = wait == nullptr ? winRecvfrom(socket, buffer, SnmpPacketSize, 0, sender, &fromLength)
                                         : winRecvfromWithin(socket, buffer, SnmpPacketSize, sender, &fromLength, wait);
    winEndpointOf(sender, fromLength, from);  // leaves errno as it is
    if (received >= 0 && dumping.load(std::memory_order_relaxed)) {
        const int error = errno;
        dump("Received", socket, *from, packet, received);
        errno = error;
    }
    return received;
}

}  // namespace

int readDatagram(SOCKET socket, uint8_t* packet, Endpoint* from)
{
    return readDatagramWaiting(socket, packet, from, nullptr);
}

int readDatagramWithin(SOCKET socket, uint8_t* packet, Endpoint* from, const timeval& wait)
{
    return readDatagramWaiting(socket, packet, from, &wait);
}

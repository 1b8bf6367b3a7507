// A UDP peer on 127.0.0.1 (or ::1) for the tests: it receives what the
// engine sends and answers from the same socket.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

#include "platform/winsock.h"
#include "snmp/codec/message.h"

// The loopback address of the family (127.0.0.1, ::1) and the port, as the engine keeps an address.
inline Endpoint loopbackEndpoint(uint16_t port, uint8_t family = EndpointIPv4)
{
    Endpoint endpoint = {};
    endpoint.family = family;
    endpoint.address[0] = family == EndpointIPv4 ? 127 : 0;
    endpoint.address[family == EndpointIPv4 ? 3 : 15] = 1;
    endpoint.port = port;
    return endpoint;
}

// A UDP socket bound to the family's loopback address at a port of the
// system's choice, which *port receives.
inline int boundLoopbackSocket(uint16_t* port, uint8_t family = EndpointIPv4)
{
    const Endpoint loopback = loopbackEndpoint(0, family);
    const int sock = socket(winSocketFamily(loopback), SOCK_DGRAM, 0);
    sockaddr_storage address;
    bind(sock, reinterpret_cast<sockaddr*>(&address), winSockaddrOf(loopback, &address));
    Endpoint bound;
    winLocalEndpoint(sock, &bound);
    *port = bound.port;
    return sock;
}

// A UDP socket on 127.0.0.1 (or ::1) that receives what the engine sends and answers.
class LoopbackPeer {
public:
    explicit LoopbackPeer(uint8_t family = EndpointIPv4) : sock_(boundLoopbackSocket(&port_, family)) {}
    ~LoopbackPeer() { closesocket(sock_); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t port() const { return port_; }

    // One datagram, or an empty vector when none came within the time.
    std::vector<uint8_t> receive(int timeoutMs = 2000)
    {
        pollfd p{sock_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        std::vector<uint8_t> data(SnmpPacketSize + 100);
        socklen_t length = sizeof last_;
        const ssize_t n = recvfrom(sock_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&last_), &length);
        data.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return data;
    }

    // Datagrams waiting right now, read without blocking.
    int drain()
    {
        int count = 0;
        while (!receive(0).empty())
            ++count;
        return count;
    }

    void reply(const std::vector<uint8_t>& data)
    {
        sendto(sock_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&last_), sizeof last_);
    }

private:
    uint16_t port_ = 0;  // before sock_: the socket's creation sets it
    int sock_ = -1;
    sockaddr_storage last_{};
};

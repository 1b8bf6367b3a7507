// A UDP peer on 127.0.0.1 for the tests: it receives what the engine sends
// and answers from the same socket.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

#include "platform/winsock.h"
#include "snmp/codec/message.h"

// A UDP socket bound to 127.0.0.1 at a port of the system's choice, which
// *port receives.
inline int boundLoopbackSocket(uint16_t* port)
{
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return sock;
}

// 127.0.0.1 and the port, as the engine keeps an address.
inline Endpoint loopbackEndpoint(uint16_t port)
{
    Endpoint endpoint = {};
    endpoint.family = EndpointIPv4;
    endpoint.address[0] = 127;
    endpoint.address[3] = 1;
    endpoint.port = port;
    return endpoint;
}

// A UDP socket on 127.0.0.1 that receives what the engine sends and answers.
class LoopbackPeer {
public:
    LoopbackPeer() : sock_(boundLoopbackSocket(&port_)) {}
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
    sockaddr_in last_{};
};

// A UDP peer on 127.0.0.1 (or ::1) for the tests: it receives what the
// engine sends and answers from the same socket.
#pragma once

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
inline SOCKET boundLoopbackSocket(uint16_t* port, uint8_t family = EndpointIPv4)
{
    const Endpoint loopback = loopbackEndpoint(0, family);
    const SOCKET sock = winUdpSocket(winSocketFamily(loopback));
    sockaddr_storage address;
    winBind(sock, reinterpret_cast<sockaddr*>(&address), winSockaddrOf(loopback, &address));
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
        std::vector<uint8_t> data(SnmpPacketSize + 100);
        lastLength_ = sizeof last_;
        const timeval wait = {timeoutMs / 1000, timeoutMs % 1000 * 1000};
        const int n = winRecvfromWithin(sock_, reinterpret_cast<char*>(data.data()), static_cast<int>(data.size()),
                                        reinterpret_cast<sockaddr*>(&last_), &lastLength_, &wait);
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
        winSendto(sock_, data.data(), data.size(), reinterpret_cast<const sockaddr*>(&last_), lastLength_);
    }

private:
    uint16_t port_ = 0;  // before sock_: the socket's creation sets it
    SOCKET sock_ = INVALID_SOCKET;
    sockaddr_storage last_{};
    int lastLength_ = sizeof last_;  // of the last sender's address
};

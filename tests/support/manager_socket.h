// A manager's socket on loopback, for the tests that talk to an agent
// datagram by datagram.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/loopback_peer.h"

class ManagerSocket {
public:
    // How long a reply may take, and how long to wait to see that none comes.
    static constexpr int ReplyWaitMs = 5000;

    ManagerSocket() : fd_(boundLoopbackSocket(&port_)) {}
    ~ManagerSocket() { closesocket(fd_); }
    ManagerSocket(const ManagerSocket&) = delete;
    ManagerSocket& operator=(const ManagerSocket&) = delete;

    uint16_t port() const { return port_; }

    void send(uint16_t agentPort, const std::vector<uint8_t>& data) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(agentPort);
        ASSERT_EQ(winSendto(fd_, data.data(), data.size(), reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<int>(data.size()));
    }

    // One datagram (whole, whatever its size), or none within the time.
    std::optional<std::vector<uint8_t>> receive(int timeoutMs = ReplyWaitMs) const
    {
        std::vector<uint8_t> data(65536);
        const timeval wait = {timeoutMs / 1000, timeoutMs % 1000 * 1000};
        const int n = winRecvfromWithin(fd_, reinterpret_cast<char*>(data.data()), static_cast<int>(data.size()),
                                        nullptr, nullptr, &wait);
        if (n < 0)
            return std::nullopt;
        data.resize(static_cast<size_t>(n));
        return data;
    }

private:
    uint16_t port_ = 0;  // before fd_: the socket's creation sets it
    SOCKET fd_ = INVALID_SOCKET;
};

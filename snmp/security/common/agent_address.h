// An agent's address and port as they stand in a sockaddr_in (network
// order): the key of what the engine keeps per agent between calls.
#pragma once

#include <cstdint>

struct AgentAddress {
    uint32_t address;
    uint16_t port;
};

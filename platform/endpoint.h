// A UDP endpoint of either address family as the engine keeps it: no system
// type in it, so the engine's records do not depend on a platform's socket
// headers. Only the platform converts it to and from socket addresses
// (winSockaddrOf, winEndpointOf in platform/winsock.h).
#pragma once

#include <cstdint>

// Address families of an endpoint (the module's own numbers: AF_INET6 is not
// the same number on every platform).
constexpr uint8_t EndpointNone = 0;  // no address (a zero-filled record)
constexpr uint8_t EndpointIPv4 = 4;
constexpr uint8_t EndpointIPv6 = 6;

// Octets of the address of each family.
constexpr int EndpointIPv4Length = 4;
constexpr int EndpointIPv6Length = 16;

struct Endpoint {
    uint8_t family;        // EndpointNone, EndpointIPv4 or EndpointIPv6
    uint8_t address[16];   // network order; IPv4 in the first four, the rest zero
    uint16_t port;         // host order
    uint32_t scopeId;      // IPv6: the interface of a scoped (link-local) address; else 0
};

// The octets of the endpoint's address: 4, 16, or 0 without a family.
inline int endpointAddressLength(const Endpoint& e)
{
    return e.family == EndpointIPv4 ? EndpointIPv4Length : e.family == EndpointIPv6 ? EndpointIPv6Length : 0;
}

// The same family, address, port and scope. An IPv4 endpoint is never the
// same as an IPv6 one, not even as the IPv4-mapped form of its address.
inline bool sameEndpoint(const Endpoint& a, const Endpoint& b)
{
    if (a.family != b.family || a.port != b.port || a.scopeId != b.scopeId)
        return false;
    const int length = endpointAddressLength(a);
    for (int i = 0; i < length; ++i) {
        if (a.address[i] != b.address[i])
            return false;
    }
    return true;
}

// No family, or the all-zero address of its family (0.0.0.0, ::): nowhere to send to.
inline bool endpointUnspecified(const Endpoint& e)
{
    const int length = endpointAddressLength(e);
    for (int i = 0; i < length; ++i) {
        if (e.address[i] != 0)
            return false;
    }
    return true;
}

// Endpoints to and from the system's socket addresses, the same on every
// platform (Winsock keeps the BSD shapes).
#include <cstdio>
#include <cstring>

#include "platform/winsock.h"

int winSockaddrOf(const Endpoint& endpoint, sockaddr_storage* out)
{
    std::memset(out, 0, sizeof *out);
    if (endpoint.family == EndpointIPv4) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(out);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(endpoint.port);
        std::memcpy(&v4->sin_addr, endpoint.address, EndpointIPv4Length);
        return sizeof *v4;
    }
    if (endpoint.family == EndpointIPv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(endpoint.port);
        std::memcpy(&v6->sin6_addr, endpoint.address, EndpointIPv6Length);
        v6->sin6_scope_id = endpoint.scopeId;
        return sizeof *v6;
    }
    return 0;
}

bool winEndpointOf(const sockaddr* address, int length, Endpoint* out)
{
    std::memset(out, 0, sizeof *out);
    if (address == nullptr || length < static_cast<int>(sizeof address->sa_family))
        return false;
    if (address->sa_family == AF_INET && length >= static_cast<int>(sizeof(sockaddr_in))) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        out->family = EndpointIPv4;
        out->port = ntohs(v4->sin_port);
        std::memcpy(out->address, &v4->sin_addr, EndpointIPv4Length);
        return true;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<int>(sizeof(sockaddr_in6))) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        out->family = EndpointIPv6;
        out->port = ntohs(v6->sin6_port);
        std::memcpy(out->address, &v6->sin6_addr, EndpointIPv6Length);
        out->scopeId = v6->sin6_scope_id;
        return true;
    }
    return false;
}

bool winLocalEndpoint(SOCKET sock, Endpoint* out)
{
    sockaddr_storage local;
    std::memset(&local, 0, sizeof local);
    socklen_t length = sizeof local;
    if (getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        std::memset(out, 0, sizeof *out);
        return false;
    }
    return winEndpointOf(reinterpret_cast<const sockaddr*>(&local), static_cast<int>(length), out);
}

int winSocketFamily(const Endpoint& endpoint)
{
    return endpoint.family == EndpointIPv6 ? AF_INET6 : AF_INET;
}

void winAddressText(const Endpoint& endpoint, char* out, int size)
{
    if (endpoint.family == EndpointNone ||
        inet_ntop(winSocketFamily(endpoint), endpoint.address, out, static_cast<socklen_t>(size)) == nullptr)
        std::snprintf(out, static_cast<size_t>(size), "?");
}

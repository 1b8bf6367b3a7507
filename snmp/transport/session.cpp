#include "snmp/transport/session.h"

#include <cerrno>
#include <cstring>

#include "platform/runtime.h"
#include "platform/winsock.h"
#include "snmp/base/allocation.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/message.h"
#include "snmp/codec/pdu.h"
#include "snmp/security/common/community_form.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/security/usm/usm_session.h"
#include "snmp/transport/datagram.h"
#include "snmp/transport/engine_records.h"

namespace {

const uint16_t DefaultPort = 161;
const int32_t DefaultRetries = 6;
const int32_t DefaultTimeout = 300000;
const int32_t DefaultMaxMessageSize = 1389;
const uint8_t DefaultCommunity[] = {'k', 'o', 'l', 'b', 'u', 'r'};
const uint32_t DefaultEnterprise[] = {1, 3, 6, 1, 4, 1, 3, 1, 1};

// The community octets the settings select, with their length: the default
// community for none, the text after a leading "+" (which selects SNMPv2c) otherwise.
const uint8_t* selectedCommunity(const SnmpSession* settings, int32_t* length, bool* v2c)
{
    *length = settings->community != nullptr && settings->communityLength > 0 ? settings->communityLength : 0;
    if (*length == 0) {
        *length = sizeof DefaultCommunity;
        return DefaultCommunity;
    }
    return afterVersionPrefix(settings->community, length, v2c);
}

// An open session's records in one block: the list entry, the transport, the
// engine's copy of the settings, then its peer name and its community octets,
// each with a terminator (the security string is read as text). A script call
// opens and closes a session: one allocation and one release.
struct SessionBlock {
    SessionSlot slot;
    SessionTransport transport;
    SnmpSession session;
};

// Undoes a half-done open. The session list holds the slot already, so the
// close cannot fail.
SnmpSession* abortOpen(SnmpSession* session)
{
    closeSession(session);
    return nullptr;
}

// The peer's endpoint from its name: an IPv4 text as Winsock's inet_addr
// reads it; an IPv6 literal, bare or in brackets ("::1", "[::1]", a scoped
// one with its "%zone"); otherwise a host name as the system resolves it (the
// empty name is the local host): its first IPv4 address when it has one, so
// that a name reached over IPv4 so far stays so, else its first IPv6 one.
// Ports are the session's, never part of the name: "[::1]:161" is refused.
bool resolvePeer(const char* name, uint16_t port, Endpoint* peer)
{
    *peer = Endpoint{};
    const in_addr_t address = winInetAddr(name);
    if (address != INADDR_NONE) {
        peer->family = EndpointIPv4;
        std::memcpy(peer->address, &address, EndpointIPv4Length);
        peer->port = port;
        return true;
    }
    char host[256];
    const size_t length = std::strlen(name);
    const bool bracketed = length >= 2 && name[0] == '[' && name[length - 1] == ']';
    if (bracketed) {
        if (length - 2 >= sizeof host)
            return false;
        std::memcpy(host, name + 1, length - 2);
        host[length - 2] = '\0';
        name = host;
    } else if (length == 0) {
        if (gethostname(host, sizeof host) != 0)
            return false;
        host[sizeof host - 1] = '\0';
        name = host;
    }
    addrinfo hints = {};
    hints.ai_family = bracketed ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = bracketed ? AI_NUMERICHOST : 0;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return false;
    const addrinfo* taken = nullptr;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            taken = entry;
            break;
        }
        if (entry->ai_family == AF_INET6 && taken == nullptr)
            taken = entry;
    }
    const bool resolved = taken != nullptr && winEndpointOf(taken->ai_addr, static_cast<int>(taken->ai_addrlen), peer);
    freeaddrinfo(found);
    peer->port = port;
    return resolved;
}

// The next request id: random for the first of a module load, then counting
// up; ids wrap past the largest value but never become 0.
int32_t nextRequestId(LibraryState& library)
{
    uint32_t next;
    if (!library.requestIdsStarted) {
        next = runtimeEntropy() & 0x7FFFFFFFu;
        library.requestIdsStarted = true;
    } else {
        next = static_cast<uint32_t>(library.lastRequestId) + 1u;
    }
    if (next == 0)
        next = 1;
    library.lastRequestId = static_cast<int32_t>(next);
    return library.lastRequestId;
}

// Gives the transport the kept socket, when one is kept and the call asks for
// any local port or for the one it holds; read empty first when a call left
// it with replies that may still have come. False when it is not given.
bool takeKeptSocket(SessionTransport* transport, uint16_t localPort)
{
    KeptSocket& kept = keptSocketOf(transport->peerAddress);
    if (!kept.held || (localPort != 0 && localPort != kept.port))
        return false;
    kept.held = false;
    transport->socket = kept.socket;
    transport->boundPort = kept.port;
    transport->keepable = true;
    if (kept.unanswered) {
        uint8_t scratch[SnmpPacketSize];
        for (;;) {
            WinFdSet ready;
            winFdZero(&ready);
            winFdSet(transport->socket, &ready);
            const timeval now = {0, 0};
            if (winSelect(0, &ready, nullptr, nullptr, &now) <= 0)
                break;
            Endpoint from;
            readDatagram(transport->socket, scratch, &from);
        }
    }
    return true;
}

// Keeps a closing session's socket for the next session when it may be kept
// and none is kept yet.
bool keepSocket(const SessionTransport* transport)
{
    KeptSocket& kept = keptSocketOf(transport->peerAddress);
    if (!transport->keepable || kept.held)
        return false;
    kept.held = true;
    kept.socket = transport->socket;
    kept.unanswered = transport->unanswered || transport->pending != nullptr;
    kept.port = transport->boundPort;
    return true;
}

// The port the system chose for a socket bound to port 0; 0 (never kept)
// when it cannot say.
uint16_t boundPortOf(SOCKET socket)
{
    Endpoint local;
    return winLocalEndpoint(socket, &local) ? local.port : 0;
}

// Closes the kept socket when the module is unloaded.
struct KeptSocketRelease {
    ~KeptSocketRelease() { releaseKeptSockets(); }
} keptSocketRelease;

}  // namespace

void releaseKeptSockets()
{
    for (KeptSocket& kept : libraryState().kept) {
        if (kept.held)
            closesocket(kept.socket);
        kept.held = false;
    }
}

const char* errorText(int32_t code)
{
    switch (code) {
    case SnmpErrBadLocalPort: return "Invalid local port";
    case SnmpErrUnknownHost: return "Unknown host";
    case SnmpErrUnknownSession: return "Unknown session";
    default: return "Unknown Error";
    }
}

SnmpSession* openSessionTransport(const SnmpSession* settings)
{
    LibraryState& library = libraryState();
    if (settings == nullptr) {
        library.lastError = SnmpErrGeneric;
        return nullptr;
    }
    int32_t communityLength = 0;
    bool v2c = false;
    const uint8_t* communitySource = selectedCommunity(settings, &communityLength, &v2c);
    const size_t nameSize = settings->peerName != nullptr ? std::strlen(settings->peerName) + 1 : 0;
    auto* block = static_cast<SessionBlock*>(
        engineAlloc(1, sizeof(SessionBlock) + nameSize + static_cast<size_t>(communityLength) + 1));
    if (block == nullptr) {
        library.lastError = SnmpErrGeneric;
        return nullptr;
    }
    SessionSlot* slot = &block->slot;
    SessionTransport* transport = &block->transport;
    SnmpSession* session = &block->session;
    std::memcpy(session, settings, sizeof(SnmpSession));
    session->usm = nullptr;  // only the engine makes one
    transport->socket = INVALID_SOCKET;
    slot->session = session;
    slot->transport = transport;
    slot->next = library.sessions;
    library.sessions = slot;

    auto* octets = reinterpret_cast<char*>(block + 1);
    if (settings->peerName != nullptr) {
        std::memcpy(octets, settings->peerName, nameSize);
        session->peerName = octets;
        octets += nameSize;
    }
    if (session->retries == -1)
        session->retries = DefaultRetries;
    if (session->timeout == -1)
        session->timeout = DefaultTimeout;
    if (session->maxMessageSize == 0)
        session->maxMessageSize = DefaultMaxMessageSize;
    if (v2c)
        session->version = SnmpVersion2c;
    auto* community = reinterpret_cast<uint8_t*>(octets);
    if (communityLength > 0)
        std::memcpy(community, communitySource, static_cast<size_t>(communityLength));
    session->community = community;
    session->communityLength = communityLength;

    if (session->peerName != nullptr &&
        !resolvePeer(session->peerName, session->remotePort != 0 ? session->remotePort : DefaultPort,
                     &transport->peerAddress)) {
        diagnose("unknown host: %s\n", session->peerName);
        library.lastError = SnmpErrUnknownHost;
        return abortOpen(session);
    }

    // The socket, and the local port bound, are of the peer's family.
    const bool reused = takeKeptSocket(transport, session->localPort);
    if (!reused) {
        transport->socket = winUdpSocket(winSocketFamily(transport->peerAddress));
        if (transport->socket == INVALID_SOCKET) {
            diagnoseSystemError("socket");
            library.lastError = SnmpErrGeneric;
            return abortOpen(session);
        }
        transport->keepable = session->localPort == 0;
    }

    Endpoint any = {};
    any.family = transport->peerAddress.family == EndpointIPv6 ? EndpointIPv6 : EndpointIPv4;
    any.port = session->localPort;
    sockaddr_storage local;
    const int localLength = winSockaddrOf(any, &local);
    if (!reused && winBind(transport->socket, reinterpret_cast<const sockaddr*>(&local), localLength) != 0) {
        diagnoseSystemError("bind");
        library.lastError = SnmpErrBadLocalPort;
        return abortOpen(session);
    }
    if (!reused && transport->keepable) {
        transport->boundPort = boundPortOf(transport->socket);
        transport->keepable = transport->boundPort != 0;
    }
    return session;
}

int32_t closeSession(SnmpSession* session)
{
    LibraryState& library = libraryState();
    SessionSlot** link = &library.sessions;
    while (*link != nullptr && (*link)->session != session)
        link = &(*link)->next;
    SessionSlot* slot = *link;
    if (slot == nullptr) {
        library.lastError = SnmpErrUnknownSession;
        return 0;
    }
    *link = slot->next;

    releaseUsmSession(slot->session->usm);
    if (slot->transport->socket != INVALID_SOCKET && !keepSocket(slot->transport))
        closesocket(slot->transport->socket);
    releasePendingList(slot->transport->pending);
    engineFree(slot);  // the whole SessionBlock: its first member
    return 1;
}

int32_t sendPdu(SnmpSession* session, SnmpPdu* pdu)
{
    LibraryState& library = libraryState();
    SessionSlot* slot = findSessionSlot(session);
    if (pdu == nullptr) {
        library.lastError = SnmpErrGeneric;
        return 0;
    }
    if (slot == nullptr) {
        library.lastError = SnmpErrUnknownSession;
        return 0;
    }

    switch (pdu->command) {
    case PduGetRequest:
    case PduGetNextRequest:
    case PduResponse:
    case PduSetRequest:
    case PduGetBulkRequest:
    case PduInform:
    case PduV2Trap:
        if (pdu->requestId == 0)
            pdu->requestId = nextRequestId(library);
        if (pdu->errorStatus == -1)
            pdu->errorStatus = 0;
        if (pdu->errorIndex == -1)
            pdu->errorIndex = 0;
        break;
    default:
        pdu->requestId = 1;
        if (pdu->enterpriseLength == 0) {
            if (!copyEnterprise(pdu, DefaultEnterprise,
                                static_cast<int32_t>(sizeof DefaultEnterprise / sizeof DefaultEnterprise[0]))) {
                diagnose("Out of memory!\n");
                library.lastError = SnmpErrGeneric;
                return 0;
            }
        }
        break;
    }

    SessionTransport* transport = slot->transport;
    if (endpointUnspecified(pdu->peerAddress)) {
        pdu->peerAddress = transport->peerAddress;
        if (endpointUnspecified(pdu->peerAddress)) {
            diagnose("No remote IP address specified\n");
            library.lastError = SnmpErrUnknownHost;
            return 0;
        }
    }

    uint8_t packet[SnmpPacketSize];
    int32_t length = SnmpPacketSize;
    if (encodeMessage(session, pdu, packet, &length, 0) < 0) {
        diagnose("Error building packet\n");
        library.lastError = SnmpErrGeneric;
        return 0;
    }

    TimeOfDay sentAt;
    timeOfDay(&sentAt);
    bool broadcast = false;
    if (sendDatagram(transport->socket, packet, length, pdu->peerAddress, &broadcast) != 0) {
        diagnoseSystemError("sendto");
        library.lastError = SnmpErrGeneric;
        return 0;
    }
    if (broadcast)
        transport->keepable = false;  // a later call must meet the refusal that marks a broadcast

    if (isRequestCommand(pdu->command)) {
        auto* entry = static_cast<PendingRequest*>(engineAlloc(1, sizeof(PendingRequest)));
        if (entry == nullptr) {
            diagnose("Out of memory!\n");
            library.lastError = SnmpErrGeneric;
            return 0;
        }
        entry->requestId = pdu->requestId;
        entry->sendCount = 1;
        entry->timeout = session->timeout;
        entry->sentAt = sentAt;
        entry->expiresAt = addMicroseconds(sentAt, session->timeout);
        entry->pdu = pdu;
        entry->anySender = broadcast;
        entry->next = transport->pending;
        transport->pending = entry;
    }
    return pdu->requestId;
}

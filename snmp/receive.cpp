#include "snmp/receive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/runtime.h"
#include "snmp/message.h"
#include "snmp/session.h"

namespace {

// The receive check lets unauthenticated Reports through (an agent reports its
// refusals that way). In a session that authenticates, such a Report would end
// the wait with whatever bindings a forger put in it, so it counts only when
// it is authenticated too.
bool protectedEnough(const SnmpSession* session, const SnmpPdu* pdu)
{
    if ((session->securityFlags & SecurityAuth) == 0)
        return true;
    return (pdu->security.qoS & SecurityAuth) != 0;
}

// The version and community a received message carries.
struct Envelope {
    int32_t version;
    int32_t communityLength;
    uint8_t community[SnmpCommunityCapacity];
};

bool sameSender(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// Whether the reply can come from the one the request was sent to: the
// address and port it went to (anyone, for a broadcast), the session's
// version, and for the community-based versions the session's community.
// Whoever else can reach the manager's port must not answer in the agent's
// place.
bool fromTheAsked(const SnmpSession* session, const PendingRequest* entry, const SnmpPdu* reply,
                  const Envelope& envelope)
{
    if (!entry->anySender && !sameSender(reply->peerAddress, entry->pdu->peerAddress)) {
        char address[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &reply->peerAddress.sin_addr, address, sizeof address);
        std::fprintf(stderr, "Reply from another sender (%s:%u)\n", address,
                     static_cast<unsigned>(ntohs(reply->peerAddress.sin_port)));
        return false;
    }
    if (envelope.version != session->version ||
        (session->version != SnmpVersionUsec &&
         (envelope.communityLength != session->communityLength ||
          std::memcmp(envelope.community, session->community, static_cast<size_t>(envelope.communityLength)) != 0))) {
        std::fprintf(stderr, "Reply with another version or community\n");
        return false;
    }
    return true;
}

void dispatchReceived(SnmpSession* session, SessionTransport* transport, SnmpPdu* pdu, const Envelope& envelope)
{
    if (session->callback == nullptr)
        return;
    switch (pdu->command) {
    case PduResponse:
    case PduReport:
        for (PendingRequest* entry = transport->pending; entry != nullptr;) {
            PendingRequest* next = entry->next;
            if (entry->requestId == pdu->requestId) {
                if (!fromTheAsked(session, entry, pdu, envelope))
                    break;
                if (session->callback(SnmpOpReceived, session, entry->requestId, pdu, session->callbackArg) == 1) {
                    removePending(transport, entry);
                    break;
                }
            }
            entry = next;
        }
        break;
    case PduGetRequest:
    case PduGetNextRequest:
    case PduSetRequest:
    case PduTrap:
    case PduGetBulkRequest:
        session->callback(SnmpOpReceived, session, pdu->requestId, pdu, session->callbackArg);
        break;
    default:
        break;
    }
}

// Jitter of a retransmission: 0 to 499 ms from the runtime's random source.
int64_t jitterMicroseconds()
{
    int r = runtimeRand() % 500;
    if (r < 0)
        r += 500;
    return static_cast<int64_t>(r) * 1000;
}

void retransmit(SnmpSession* session, SessionTransport* transport, PendingRequest* entry)
{
    ++entry->sendCount;
    uint8_t packet[SnmpPacketSize];
    int32_t length = SnmpPacketSize;
    const bool encoded = encodeMessage(session, entry->pdu, packet, &length, 0) >= 0;
    if (!encoded)
        std::fprintf(stderr, "Error building packet\n");
    timeOfDay(&entry->sentAt);
    bool broadcast = false;
    if (encoded && sendDatagram(transport->socket, packet, length, entry->pdu->peerAddress, &broadcast) != 0)
        runtimeReportError("sendto");
    entry->expiresAt = addMicroseconds(entry->sentAt, static_cast<int64_t>(entry->timeout) + jitterMicroseconds());
}

}  // namespace

void readSockets(WinFdSet* readSet)
{
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next) {
        SessionTransport* transport = slot->transport;
        if (transport->socket == -1 || !__WSAFDIsSet(transport->socket, readSet))
            continue;
        uint8_t packet[SnmpPacketSize];
        sockaddr_in from;
        int fromLength = sizeof from;
        std::memset(&from, 0, sizeof from);
        const int received = recvfrom(transport->socket, reinterpret_cast<char*>(packet), SnmpPacketSize, 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            runtimeReportError("recvfrom");
            return;
        }
        SnmpPdu* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
        if (pdu == nullptr) {
            std::fprintf(stderr, "Out of memory!\n");
            libraryState().lastError = SnmpErrGeneric;
            return;
        }
        pdu->peerAddress = from;
        Envelope envelope;
        envelope.communityLength = SnmpCommunityCapacity;
        int32_t headerRemaining = received;
        const bool framed = decodeMessageHeader(packet, &headerRemaining, envelope.community,
                                                &envelope.communityLength, &envelope.version) != nullptr;
        const int32_t verdict = framed ? decodeMessage(slot->session, pdu, packet, received) : -1;
        if (verdict < 0) {
            std::fprintf(stderr, "Mangled packet\n");
            freePdu(pdu);
            return;
        }
        if (slot->acceptedOnly && (verdict != 0 || !protectedEnough(slot->session, pdu))) {
            // Forged, stale or foreign: the awaited request goes on waiting
            // for a genuine reply or times out.
            freePdu(pdu);
            continue;
        }
        dispatchReceived(slot->session, transport, pdu, envelope);
        freePdu(pdu);
    }
}

int32_t prepareWait(int32_t* socketLimit, WinFdSet* readSet, timeval* wait, int32_t* block)
{
    int32_t count = 0;
    bool anyPending = false;
    TimeOfDay earliest = {0, 0};
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next) {
        const int32_t sock = slot->transport->socket;
        if (sock != -1) {
            if (*socketLimit < sock + 1)
                *socketLimit = sock + 1;
            winFdSet(sock, readSet);
        }
        ++count;
        for (const PendingRequest* entry = slot->transport->pending; entry != nullptr; entry = entry->next) {
            if (!anyPending || isEarlier(entry->expiresAt, earliest))
                earliest = entry->expiresAt;
            anyPending = true;
        }
    }
    if (!anyPending)
        return count;

    TimeOfDay now;
    timeOfDay(&now);
    int64_t left = (static_cast<int64_t>(earliest.seconds) - now.seconds) * 1000000 +
                   (static_cast<int64_t>(earliest.microseconds) - now.microseconds);
    if (left < 0)
        left = 0;
    const int64_t current = static_cast<int64_t>(wait->tv_sec) * 1000000 + wait->tv_usec;
    if (*block == 1 || left < current) {
        wait->tv_sec = static_cast<time_t>(left / 1000000);
        wait->tv_usec = static_cast<suseconds_t>(left % 1000000);
        *block = 0;
    }
    return count;
}

void processTimeouts()
{
    TimeOfDay now;
    timeOfDay(&now);
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next) {
        SnmpSession* session = slot->session;
        SessionTransport* transport = slot->transport;
        for (PendingRequest* entry = transport->pending; entry != nullptr;) {
            PendingRequest* next = entry->next;
            if (isEarlier(entry->expiresAt, now)) {
                if (entry->sendCount < session->retries) {
                    retransmit(session, transport, entry);
                } else {
                    if (session->callback != nullptr)
                        session->callback(SnmpOpTimedOut, session, entry->pdu->requestId, entry->pdu,
                                          session->callbackArg);
                    removePending(transport, entry);
                }
            }
            entry = next;
        }
    }
}

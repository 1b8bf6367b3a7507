#include "snmp/transport/receive.h"

#include <cerrno>
#include <cstring>

#include "platform/winsock.h"
#include "snmp/base/allocation.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/message.h"
#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usm/usm_message.h"
#include "snmp/transport/datagram.h"
#include "snmp/transport/engine_records.h"

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

// Whether the reply can come from the one the request was sent to: the
// address and port it went to (anyone, for a broadcast), the session's
// version, and for the community-based versions the session's community.
// Whoever else can reach the manager's port must not answer in the agent's
// place.
bool fromTheAsked(const SnmpSession* session, const PendingRequest* entry, const SnmpPdu* reply,
                  const Envelope& envelope)
{
    if (!entry->anySender && !sameEndpoint(reply->peerAddress, entry->pdu->peerAddress)) {
        char address[48];
        winAddressText(reply->peerAddress, address, sizeof address);
        diagnose("Reply from another sender (%s:%u)\n", address, static_cast<unsigned>(reply->peerAddress.port));
        return false;
    }
    if (envelope.version != session->version ||
        (session->version != SnmpVersionUsec && session->version != SnmpVersion3 &&
         (envelope.communityLength != session->communityLength ||
          std::memcmp(envelope.community, session->community, static_cast<size_t>(envelope.communityLength)) != 0))) {
        diagnose("Reply with another version or community\n");
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
    default:
        // A manager is asked nothing: a request, a trap or an inform that
        // carries an awaited id (a reflected copy of the request itself, say)
        // must not end the wait that the genuine reply will end.
        diagnose("PDU 0x%02X dropped: it answers no request\n", static_cast<unsigned>(pdu->command & 0xFF));
        break;
    }
}

}  // namespace

namespace {

// One datagram read from the slot's socket: decoded, checked and handed to
// the callback. False when the round of reads is to stop (a datagram that
// does not decode, no memory).
bool handleDatagram(SessionSlot* slot, const uint8_t* packet, int received, const Endpoint& from)
{
    auto* pdu = static_cast<SnmpPdu*>(engineAlloc(1, sizeof(SnmpPdu)));
    if (pdu == nullptr) {
        diagnose("Out of memory!\n");
        libraryState().lastError = SnmpErrGeneric;
        return false;
    }
    pdu->peerAddress = from;
    pdu->messageLength = received;
    if (sameEndpoint(from, slot->transport->peerAddress))
        slot->transport->peerHeard = true;
    Envelope envelope;
    if (slot->session->version == SnmpVersion3) {
        // Judged whole by the security model: nothing it refuses is seen.
        envelope.version = SnmpVersion3;
        envelope.communityLength = 0;
        const int32_t verdict = receiveUsmMessage(slot->session, pdu, packet, received);
        if (verdict == UsmAccepted)
            dispatchReceived(slot->session, slot->transport, pdu, envelope);
        else if (verdict < 0)
            diagnose("Mangled packet\n");
        freePdu(pdu);
        return verdict >= 0;
    }
    envelope.communityLength = SnmpCommunityCapacity;
    int32_t headerRemaining = received;
    const bool framed = decodeMessageHeader(packet, &headerRemaining, envelope.community, &envelope.communityLength,
                                            &envelope.version) != nullptr;
    const int32_t verdict = framed ? decodeMessage(slot->session, pdu, packet, received) : -1;
    if (verdict < 0) {
        diagnose("Mangled packet\n");
        freePdu(pdu);
        return false;
    }
    if (slot->acceptedOnly && (verdict != 0 || !protectedEnough(slot->session, pdu)) &&
        !(slot->agentRecalled && reportsOutdatedAgent(pdu))) {
        // Forged, stale or foreign: the awaited request goes on waiting
        // for a genuine reply or times out.
        freePdu(pdu);
        return true;
    }
    dispatchReceived(slot->session, slot->transport, pdu, envelope);
    freePdu(pdu);
    return true;
}

// A datagram too long to receive, from the peer of a community-based
// session: what a reply of more than SnmpPacketSize octets looks like. It
// cannot be read, and waiting for it to come again would only run out the
// schedule, so the session's pending requests end at once (their callbacks
// told SnmpOpTooLong). The other modes authenticate their replies: an
// unreadable datagram there proves nothing, and the wait goes on.
void endRequestsAnsweredTooLong(SessionSlot* slot, const Endpoint& from)
{
    SnmpSession* session = slot->session;
    SessionTransport* transport = slot->transport;
    if ((session->version != SnmpVersion1 && session->version != SnmpVersion2c) ||
        !sameEndpoint(from, transport->peerAddress))
        return;
    transport->peerHeard = true;
    transport->unanswered = true;  // a copy of it may still come
    while (transport->pending != nullptr) {
        PendingRequest* entry = transport->pending;
        if (session->callback != nullptr)
            session->callback(SnmpOpTooLong, session, entry->pdu->requestId, entry->pdu, session->callbackArg);
        if (findSessionSlot(session) == nullptr || transport->pending != entry)
            return;
        removePending(transport, entry);
    }
}

// A receive that failed: said, and for a datagram too long, acted on.
void receiveFailed(SessionSlot* slot, const Endpoint& from)
{
    const int error = errno;
    diagnoseSystemError("recvfrom");
    if (error == EMSGSIZE)
        endRequestsAnsweredTooLong(slot, from);
}

}  // namespace

void readSockets(WinFdSet* readSet)
{
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next) {
        SessionTransport* transport = slot->transport;
        if (transport->socket == INVALID_SOCKET || !__WSAFDIsSet(transport->socket, readSet))
            continue;
        uint8_t packet[SnmpPacketSize];
        Endpoint from;
        const int received = readDatagram(transport->socket, packet, &from);
        if (received < 0) {
            receiveFailed(slot, from);
            return;
        }
        if (!handleDatagram(slot, packet, received, from))
            return;
    }
}

int32_t receiveWithin(SessionSlot* slot, const timeval& wait)
{
    uint8_t packet[SnmpPacketSize];
    Endpoint from;
    const int received = readDatagramWithin(slot->transport->socket, packet, &from, wait);
    if (received < 0) {
        if (errno == ETIMEDOUT)
            return 0;
        // A datagram that could not be read (reported, and gone): the wait
        // goes on for the time that is left, unless it was the reply.
        receiveFailed(slot, from);
        return -1;
    }
    handleDatagram(slot, packet, received, from);
    return 1;
}

#include "snmp/transport/retransmission.h"

#include "platform/runtime.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"
#include "snmp/transport/datagram.h"
#include "snmp/transport/engine_records.h"

namespace {

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
        diagnose("Error building packet\n");
    timeOfDay(&entry->sentAt);
    bool broadcast = false;
    if (encoded && sendDatagram(transport->socket, packet, length, entry->pdu->peerAddress, &broadcast) != 0)
        diagnoseSystemError("sendto");
    if (broadcast)
        transport->keepable = false;
    entry->expiresAt = addMicroseconds(entry->sentAt, static_cast<int64_t>(entry->timeout) + jitterMicroseconds());
}

}  // namespace

int32_t prepareWait(int32_t* socketLimit, WinFdSet* readSet, timeval* wait, int32_t* block)
{
    int32_t count = 0;
    bool anyPending = false;
    TimeOfDay earliest = {0, 0};
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next) {
        const SOCKET sock = slot->transport->socket;
        if (sock != INVALID_SOCKET) {
            // Winsock ignores the limit; the number matters to BSD select only.
            const int32_t limit = static_cast<int32_t>(sock) + 1;
            if (*socketLimit < limit)
                *socketLimit = limit;
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

    const int64_t left = microsecondsUntilPassed(earliest);
    const int64_t current = static_cast<int64_t>(wait->tv_sec) * 1000000 + wait->tv_usec;
    if (*block == 1 || left < current) {
        wait->tv_sec = static_cast<time_t>(left / 1000000);
        wait->tv_usec = static_cast<decltype(wait->tv_usec)>(left % 1000000);
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
                    transport->unanswered = true;
                }
            }
            entry = next;
        }
    }
}

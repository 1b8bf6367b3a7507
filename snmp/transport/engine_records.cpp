#include "snmp/transport/engine_records.h"

#include "snmp/base/allocation.h"

LibraryState& libraryState()
{
    static LibraryState state;
    return state;
}

KeptSocket& keptSocketOf(const Endpoint& peer)
{
    return libraryState().kept[peer.family == EndpointIPv6 ? 1 : 0];
}

SessionSlot* findSessionSlot(const SnmpSession* session)
{
    for (SessionSlot* slot = libraryState().sessions; slot != nullptr; slot = slot->next)
        if (slot->session == session)
            return slot;
    return nullptr;
}

void removePending(SessionTransport* transport, PendingRequest* entry)
{
    if (entry == nullptr)
        return;
    if (transport != nullptr) {
        PendingRequest** link = &transport->pending;
        while (*link != nullptr && *link != entry)
            link = &(*link)->next;
        if (*link == entry)
            *link = entry->next;
    }
    freePdu(entry->pdu);
    engineFree(entry);
}

void releasePendingList(PendingRequest* head)
{
    while (head != nullptr) {
        PendingRequest* next = head->next;
        freePdu(head->pdu);
        engineFree(head);
        head = next;
    }
}

// A small fixed table of entries kept per agent address and port, the least
// recently used entry giving way to a new one; wiped when destroyed (at
// module unload). Entry has `AgentAddress at` and `uint64_t lastUse` (0: free).
#pragma once

#include <cstdint>
#include <cstring>

#include "snmp/security/common/agent_address.h"

template <typename Entry, int Slots>
struct AddressTable {
    Entry entries[Slots];
    uint64_t clock;

    ~AddressTable() { wipe(); }

    void wipe()
    {
        std::memset(static_cast<void*>(entries), 0, sizeof entries);
        clock = 0;
    }

    // The address's entry (now the most recently used), or null.
    Entry* find(AgentAddress at)
    {
        for (Entry& entry : entries) {
            if (entry.lastUse != 0 && sameEndpoint(entry.at, at)) {
                entry.lastUse = ++clock;
                return &entry;
            }
        }
        return nullptr;
    }

    // The address's entry, or the least recently used one given to it.
    Entry* claim(AgentAddress at)
    {
        Entry* slot = find(at);
        if (slot == nullptr) {
            slot = &entries[0];
            for (Entry& entry : entries) {
                if (entry.lastUse < slot->lastUse)
                    slot = &entry;
            }
        }
        slot->at = at;
        slot->lastUse = ++clock;
        return slot;
    }

    void drop(AgentAddress at)
    {
        Entry* entry = find(at);
        if (entry != nullptr)
            std::memset(static_cast<void*>(entry), 0, sizeof *entry);
    }

    int count() const
    {
        int used = 0;
        for (const Entry& entry : entries)
            used += entry.lastUse != 0 ? 1 : 0;
        return used;
    }
};

#include "snmp/security/known_engines.h"

#include <cstring>

#include "snmp/security/agent_clock.h"

namespace {

struct Entry {
    AgentAddress at;
    uint8_t engineId[UsmMaxEngineIdLength];
    int32_t engineIdLength;
    int32_t boots;
    int32_t latestTime;
    int32_t timeOffset;
    uint64_t lastUse;  // 0: free
};

struct EngineTable {
    Entry entries[KnownEngineSlots];
    uint64_t clock;

    ~EngineTable() { wipe(); }
    void wipe()
    {
        std::memset(entries, 0, sizeof entries);
        clock = 0;
    }
};

EngineTable& table()
{
    static EngineTable engines = {};
    return engines;
}

Entry* find(AgentAddress at)
{
    for (Entry& entry : table().entries) {
        if (entry.lastUse != 0 && entry.at.address == at.address && entry.at.port == at.port)
            return &entry;
    }
    return nullptr;
}

}  // namespace

bool recallEngine(AgentAddress at, UsmSession* usm)
{
    Entry* entry = find(at);
    if (entry == nullptr)
        return false;
    entry->lastUse = ++table().clock;
    setUsmEngine(usm, entry->engineId, entry->engineIdLength, entry->boots, entry->latestTime);
    usm->timeOffset = entry->timeOffset;
    return true;
}

void rememberEngine(AgentAddress at, const UsmSession* usm)
{
    if (usm->engineIdLength <= 0)
        return;
    EngineTable& engines = table();
    Entry* slot = find(at);
    if (slot == nullptr) {
        slot = &engines.entries[0];
        for (Entry& entry : engines.entries) {
            if (entry.lastUse < slot->lastUse)
                slot = &entry;
        }
    }
    slot->at = at;
    std::memcpy(slot->engineId, usm->engineId, static_cast<size_t>(usm->engineIdLength));
    slot->engineIdLength = usm->engineIdLength;
    slot->boots = usm->boots;
    slot->latestTime = usm->latestTime;
    slot->timeOffset = usm->timeOffset;
    slot->lastUse = ++engines.clock;
}

void forgetEngine(AgentAddress at)
{
    Entry* entry = find(at);
    if (entry != nullptr)
        std::memset(entry, 0, sizeof *entry);
}

void forgetKnownEngines() { table().wipe(); }

int knownEngineCount()
{
    int count = 0;
    for (const Entry& entry : table().entries)
        count += entry.lastUse != 0 ? 1 : 0;
    return count;
}

#include "snmp/security/usm/known_engines.h"

#include <cstring>

#include "snmp/security/common/address_table.h"

namespace {

struct Entry {
    AgentAddress at;
    uint8_t engineId[UsmMaxEngineIdLength];
    int32_t engineIdLength;
    int32_t boots;
    int32_t latestTime;
    int32_t timeOffset;
    bool clockConfirmed;
    uint64_t lastUse;  // 0: free
};

AddressTable<Entry, KnownEngineSlots>& table()
{
    // Destroyed, and so wiped, when the module is unloaded.
    static AddressTable<Entry, KnownEngineSlots> engines = {};
    return engines;
}

}  // namespace

bool recallEngine(AgentAddress at, UsmSession* usm)
{
    Entry* entry = table().find(at);
    if (entry == nullptr)
        return false;
    setUsmEngine(usm, entry->engineId, entry->engineIdLength, entry->boots, entry->latestTime);
    usm->timeOffset = entry->timeOffset;
    usm->clockConfirmed = entry->clockConfirmed;
    return true;
}

void rememberEngine(AgentAddress at, const UsmSession* usm)
{
    if (usm->engineIdLength <= 0)
        return;
    Entry* slot = table().claim(at);
    std::memcpy(slot->engineId, usm->engineId, static_cast<size_t>(usm->engineIdLength));
    slot->engineIdLength = usm->engineIdLength;
    slot->boots = usm->boots;
    slot->latestTime = usm->latestTime;
    slot->timeOffset = usm->timeOffset;
    slot->clockConfirmed = usm->clockConfirmed;
}

void forgetEngine(AgentAddress at) { table().drop(at); }

void forgetKnownEngines() { table().wipe(); }

int knownEngineCount() { return table().count(); }

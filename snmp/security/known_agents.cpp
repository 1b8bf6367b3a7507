#include "snmp/security/known_agents.h"

#include <cstring>

#include "snmp/security/agent_clock.h"

namespace {

struct Entry {
    AgentAddress at;
    uint8_t agentId[sizeof(SnmpSession::agentId)];
    uint32_t boots;
    int32_t timeOffset;  // the agent's clock minus the local clock
    uint64_t lastUse;    // 0: free
};

struct AgentTable {
    Entry entries[KnownAgentSlots];
    uint64_t clock;

    ~AgentTable() { wipe(); }

    void wipe()
    {
        std::memset(entries, 0, sizeof entries);
        clock = 0;
    }
};

AgentTable& table()
{
    // Destroyed, and so wiped, when the module is unloaded.
    static AgentTable agents = {};
    return agents;
}

// The user-based mode's statistics: 1.3.6.1.6.3.6.1.2.n with one instance.
const uint32_t StatisticsPrefix[] = {1, 3, 6, 1, 6, 3, 6, 1, 2};
constexpr int32_t StatisticsPrefixLength = sizeof StatisticsPrefix / sizeof StatisticsPrefix[0];
constexpr uint32_t NotInWindows = 2;
constexpr uint32_t UnknownContexts = 5;

Entry* find(AgentAddress at)
{
    for (Entry& entry : table().entries) {
        if (entry.lastUse != 0 && entry.at.address == at.address && entry.at.port == at.port)
            return &entry;
    }
    return nullptr;
}

}  // namespace

bool recallAgent(AgentAddress at, SnmpSession* session)
{
    Entry* entry = find(at);
    if (entry == nullptr)
        return false;
    entry->lastUse = ++table().clock;
    std::memcpy(session->agentId, entry->agentId, sizeof entry->agentId);
    session->agentBoots = entry->boots;
    session->timeOffset = entry->timeOffset;
    session->agentTime = estimatedAgentTime(session);
    return true;
}

void rememberAgent(AgentAddress at, const SnmpSession* session)
{
    AgentTable& agents = table();
    Entry* slot = find(at);
    if (slot == nullptr) {
        slot = &agents.entries[0];
        for (Entry& entry : agents.entries) {
            if (entry.lastUse < slot->lastUse)
                slot = &entry;
        }
    }
    slot->at = at;
    std::memcpy(slot->agentId, session->agentId, sizeof slot->agentId);
    slot->boots = session->agentBoots;
    slot->timeOffset = session->timeOffset;
    slot->lastUse = ++agents.clock;
}

void forgetAgent(AgentAddress at)
{
    Entry* entry = find(at);
    if (entry != nullptr)
        std::memset(entry, 0, sizeof *entry);
}

void forgetKnownAgents() { table().wipe(); }

bool reportsOutdatedAgent(const SnmpPdu* report)
{
    if (report == nullptr || report->command != PduReport || report->variables == nullptr)
        return false;
    const VarBind* var = report->variables;
    if (var->nameLength != StatisticsPrefixLength + 2 ||
        std::memcmp(var->name, StatisticsPrefix, sizeof StatisticsPrefix) != 0)
        return false;
    const uint32_t counter = var->name[StatisticsPrefixLength];
    return counter == NotInWindows || counter == UnknownContexts;
}

int knownAgentCount()
{
    int count = 0;
    for (const Entry& entry : table().entries)
        count += entry.lastUse != 0 ? 1 : 0;
    return count;
}

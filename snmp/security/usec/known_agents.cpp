#include "snmp/security/usec/known_agents.h"

#include <cstring>

#include "snmp/security/common/address_table.h"
#include "snmp/security/common/agent_clock.h"

namespace {

struct Entry {
    AgentAddress at;
    uint8_t agentId[sizeof(SnmpSession::agentId)];
    uint32_t boots;
    int32_t timeOffset;  // the agent's clock minus the local clock
    uint64_t lastUse;    // 0: free
};

AddressTable<Entry, KnownAgentSlots>& table()
{
    // Destroyed, and so wiped, when the module is unloaded.
    static AddressTable<Entry, KnownAgentSlots> agents = {};
    return agents;
}

// The user-based mode's statistics: 1.3.6.1.6.3.6.1.2.n with one instance.
const uint32_t StatisticsPrefix[] = {1, 3, 6, 1, 6, 3, 6, 1, 2};
constexpr int32_t StatisticsPrefixLength = sizeof StatisticsPrefix / sizeof StatisticsPrefix[0];
constexpr uint32_t NotInWindows = 2;
constexpr uint32_t UnknownContexts = 5;

}  // namespace

bool recallAgent(AgentAddress at, SnmpSession* session)
{
    Entry* entry = table().find(at);
    if (entry == nullptr)
        return false;
    std::memcpy(session->agentId, entry->agentId, sizeof entry->agentId);
    session->agentBoots = entry->boots;
    session->timeOffset = entry->timeOffset;
    session->agentTime = estimatedAgentTime(session);
    return true;
}

void rememberAgent(AgentAddress at, const SnmpSession* session)
{
    Entry* slot = table().claim(at);
    std::memcpy(slot->agentId, session->agentId, sizeof slot->agentId);
    slot->boots = session->agentBoots;
    slot->timeOffset = session->timeOffset;
}

void forgetAgent(AgentAddress at) { table().drop(at); }

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

int knownAgentCount() { return table().count(); }

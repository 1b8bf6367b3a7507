// Agents that refuse GetBulk, kept per address and port beside the known
// agents: a walk's read-ahead asks such an agent with GetNext from then on,
// instead of paying a refusal (or a silence) on every call.
#include "snmp/discovery/discovery.h"
#include "snmp/security/common/address_table.h"
#include "snmp/snmp.h"

namespace {

constexpr int BulkRefusalSlots = 16;

struct Entry {
    AgentAddress at;
    uint64_t lastUse;  // 0: free
};

AddressTable<Entry, BulkRefusalSlots>& table()
{
    // Destroyed, and so wiped, when the module is unloaded.
    static AddressTable<Entry, BulkRefusalSlots> refusals = {};
    return refusals;
}

}  // namespace

bool agentRefusesBulk(const SnmpSession* session)
{
    const AgentAddress at = agentAddressOf(session);
    return at.port != 0 && table().find(at) != nullptr;
}

void rememberBulkRefusal(const SnmpSession* session)
{
    const AgentAddress at = agentAddressOf(session);
    if (at.port != 0)
        table().claim(at);
}

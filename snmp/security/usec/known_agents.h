// Agents of the user-based mode known from earlier calls.
//
// Every user-based call opens its own session, and without this each would
// begin with a discovery round trip. The identifier, boots and clock offset of
// an agent that answered an authenticated request are kept per address and
// port in a small fixed table (the least recently used entry gives way), so
// that the next call to it can skip the discovery. Only what an authenticated
// answer confirmed is written here; the table is wiped when the module
// unloads.
#pragma once

#include <cstdint>

#include "snmp/security/common/agent_address.h"
#include "snmp/snmp.h"

constexpr int KnownAgentSlots = 8;


// True, and the session's agentId, agentBoots, agentTime and timeOffset set,
// when the agent at this address is known.
bool recallAgent(AgentAddress at, SnmpSession* session);
// Keeps the session's view of its agent for the address.
void rememberAgent(AgentAddress at, const SnmpSession* session);
// Drops the address's entry, if any.
void forgetAgent(AgentAddress at);
// Drops every entry.
void forgetKnownAgents();
// Whether a Report names one of the agent's statistics that say the
// identifier or clock the request carried is not the agent's (its unknown
// contexts, which count requests for another agent identifier, or its
// not-in-window count).
bool reportsOutdatedAgent(const SnmpPdu* report);
// Entries in use (for tests).
int knownAgentCount();

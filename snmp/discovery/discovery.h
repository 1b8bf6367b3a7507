// The discovery of the user-based mode: the exchange that learns an agent's
// identifier, boots and time before the first request of a session.
#pragma once

#include <cstdint>

#include "snmp/security/usec/known_agents.h"
#include "snmp/snmp.h"

// Learns the agent's identifier, boots and time with an empty get request
// from the discovery user, over this open session (it installs the
// synchronous callback on it). 0 on success; -1 after saying why on standard
// output ("No Response from PEER").
int32_t discoverAgent(SnmpSession* session);

// Says on standard output why a discovery got no answer (status as
// syncRequest's): "No Response from PEER" or "An error occurred, Quitting".
void reportDiscoveryFailure(const SnmpSession* session, int32_t status);

// Keys an open user-based session for the agent it knows: its security
// string parsed again with the agent's identifier. 0, or -1 when refused.
int32_t keySession(SnmpSession* session);

// The discovery and the keys for what it learned, on an open user-based
// session; from then on only messages its check accepts reach the callback.
// 0, or -1 after saying why.
int32_t learnAgent(SnmpSession* session);

// The address and port a session's requests go to, as the known agents
// table keys them.
AgentAddress agentAddressOf(const SnmpSession* session);

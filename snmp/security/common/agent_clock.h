// The agent's clock as the manager estimates it in the user-based mode: the
// local clock in whole seconds plus the session's offset.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// The local clock in whole seconds, as the agent-time arithmetic uses it.
int32_t localClock();

// The agent's time now, as the session estimates it (wrapping like the
// 32-bit field it travels in).
int32_t estimatedAgentTime(const SnmpSession* session);

// The offset that makes the estimate read agentTime now.
int32_t offsetToAgentTime(int32_t agentTime);

#include "snmp/security/common/agent_clock.h"

#include "platform/runtime.h"

namespace {

int32_t addWrapping(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int32_t localClock() { return static_cast<int32_t>(runtimeTime(nullptr)); }

int32_t estimatedAgentTime(const SnmpSession* session) { return addWrapping(localClock(), session->timeOffset); }

int32_t offsetToAgentTime(int32_t agentTime) { return addWrapping(agentTime, -localClock()); }

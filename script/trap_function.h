// The script function that sends SNMPv1 traps, and its steps.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"
#include "snmp/snmp.h"

void snmptrapEx(const HostValue* args, HostValue& result);

// The local host's IPv4 address in network order, or 0 when it has none.
uint32_t localAddress();

// Builds the trap PDU (empty binding list, uptime time stamp) and sends it on
// the session; true when the datagram went out.
bool sendTrap(SnmpSession* session, uint32_t agentAddress, int32_t genericTrap, int32_t specificTrap,
              const uint32_t* enterprise, int32_t count);

// The discovery of the user-based mode: the exchange that learns an agent's
// identifier, boots and time before the first request of a session.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// Learns the agent's identifier, boots and time with an empty get request
// from the discovery user, over this open session (it installs the
// synchronous callback on it). 0 on success; -1 after saying why on standard
// output ("No Response from PEER").
int32_t discoverAgent(SnmpSession* session);

// SNMPv3 sessions: the engine discovery (RFC 3414 section 4) and the open
// that recalls a known engine or discovers it (syncRequest keeps the known
// engines up to date).
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// Learns the agent's engine identifier (and the boots and time its Report
// names) with the discovery probe over this open session, then makes the
// user's keys for it. 0, or -1 after saying why ("No Response from PEER").
int32_t discoverEngine(SnmpSession* session);

// The SNMPv3 side of an open session: the user read from its community, the
// engine recalled (when the session uses the synchronous request) or
// discovered, the keys made. 0, or -1 after saying why.
int32_t openUsmSession(SnmpSession* session);

// Sessions and sending: the engine's copy of the settings, its UDP socket and
// peer, and the requests it sends. (openSession, in the discovery layer, adds
// what the user-based mode needs on top of openSessionTransport.)
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// Steps of an open that every session takes: the engine's copies of the
// settings and texts (defaults filled in, a "+" community read as SNMPv2c),
// the socket, the peer's address, the bound local port. The session's
// community is the engine's copy from then on. Null when the open failed; the
// last engine error says why.
SnmpSession* openSessionTransport(const SnmpSession* settings);

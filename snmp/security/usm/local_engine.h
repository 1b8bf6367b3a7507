// The module's own SNMPv3 engine: the authoritative one of the traps it sends
// (RFC 3414 3.1: the sender of an unacknowledged notification). The module
// keeps nothing on disk, so each fact is made afresh in every load:
// - the identifier (RFC 3411 SnmpEngineID, enterprise form, format 5 "octets"):
//   0x80 0x00 0x00 0x00 0x05 and the MD5 of the host's name, the same for every
//   load on one machine, so a receiver configured with it once keeps it; a
//   script may set another for the load (setLocalEngineId in snmp/snmp.h);
// - boots: the wall clock's seconds since 2020-01-01 UTC at the first use in
//   the load, so each load counts higher than the one before;
// - time: the seconds since that first use.
// A receiver holding the boots and time of an earlier load accepts a later
// one's: higher boots always pass its time-window check (RFC 3414 3.2 7b).
#pragma once

#include <cstdint>

// The identifier (UsmMaxEngineIdLength octets at most are written); its length.
int32_t localEngineIdentity(uint8_t* engineId);
int32_t localEngineBoots();
int32_t localEngineTime();

// Forgets the load's boots, clock and any identifier a script set: the next
// use begins a new load (for tests).
void restartLocalEngine();

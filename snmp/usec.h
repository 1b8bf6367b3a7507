// The pieces of the user-based security mode that the message codec calls.
#pragma once

#include <cstdint>

#include "snmp/session.h"

// Writes the security parameters octet string of an outgoing version-2
// message for session into out. *length is the capacity of out on entry and
// the octets written on return. A flag other than 0 writes the agent boots and
// time as when authenticating. Returns 0, or -1 when the block cannot be
// built (then encoding the message fails).
int32_t buildUsecParameters(const SnmpSession* session, int32_t flag, uint8_t* out, int32_t* length);

// The keyed digest of a message: the MD5 of the length octets of message
// followed by the 16 key octets, written to the 16 octets at digest. key and
// digest may be the same octets (also inside message): the key is read before
// the digest is written.
void messageDigest(const uint8_t* message, int32_t length, const uint8_t* key, uint8_t* digest);

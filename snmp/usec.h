// The user-based security mode: a community that begins with "/" carries a
// user name, an authentication key, a privacy key and a context selector.
// Messages then travel as version 2 with a parameters octet string in the
// place of the community, authenticated with a keyed MD5 digest. The module
// authenticates but never encrypts.
#pragma once

#include <cstdint>

#include "snmp/pdu.h"
#include "snmp/session.h"

// Results of usecAuthenticate (1 is not used).
constexpr int32_t UsecAccepted = 0;
constexpr int32_t UsecUnsupportedQoS = 2;
constexpr int32_t UsecNotInTimeWindow = 3;
constexpr int32_t UsecUnknownUserName = 4;
constexpr int32_t UsecWrongDigest = 5;
constexpr int32_t UsecUnknownContext = 6;
constexpr int32_t UsecBadParameters = 7;

// parseSecurityString's and checkSecurityString's answer for a string that
// must not open a session.
constexpr int32_t UsecParseRefused = -2;

// Reads the caller's security string (the zero-terminated text still in the
// session's community field) into the session's user, keys and context. 0, or
// UsecParseRefused after printing why, with the session left as it was: an
// empty user, a user over 31 or a context over 72 octets, a key written as
// "0x" without exactly 32 hexadecimal digits.
int32_t parseSecurityString(SnmpSession* session);

// The same checks on a text alone, so that a string that would be refused is
// refused before anything is sent. 0 for a text that is not a security string.
int32_t checkSecurityString(const char* text);

// The 16-byte key for a pass phrase (at least one byte) localised to a
// 12-byte agent identifier: MD5 over 1 MiB of the phrase repeated, then MD5 of
// that digest, the identifier and the digest again.
void passwordToKey(const uint8_t* phrase, int32_t phraseLength, const uint8_t* agentId, uint8_t* key);

// The keyed digest of a message: the MD5 of the length octets of message
// followed by the 16 key octets, written to the 16 octets at digest. key and
// digest may be the same octets (also inside message): the key is read before
// the digest is written.
void messageDigest(const uint8_t* message, int32_t length, const uint8_t* key, uint8_t* digest);

// Writes the security parameters octet string of an outgoing version-2
// message for session into out. *length is the capacity of out on entry and
// the octets written on return. A flag other than 0 writes the agent boots and
// time as when authenticating. Returns 0, or -1 when the block cannot be
// built (then encoding the message fails).
int32_t buildUsecParameters(const SnmpSession* session, int32_t flag, uint8_t* out, int32_t* length);

// Decodes a received parameters string. 0, or UsecBadParameters; the fields
// read before a failed check stay filled in.
int32_t decodeUsecParameters(const uint8_t* parameters, int32_t length, UsecParameters* decoded);

// The hook of a user-based session: checks a received message and keeps the
// session's estimate of the agent's clock. Writes the key over the received
// digest in the message to check it. Never negative.
int32_t usecAuthenticate(uint8_t* message, int32_t messageLength, uint8_t* parameters, int32_t parametersLength,
                         SnmpSession* session, SnmpPdu* pdu);

// Learns the agent's identifier, boots and time with an empty get request.
// 0 on success; -1 after printing why on standard output.
int32_t discoverAgent(SnmpSession* session);

// The security parameters of the user-based mode (RFC 1910): the octet string
// a version-2 message carries in the place of the community.
//
//   offset  octets  field
//   0       1       model, 1
//   1       1       qoS: SecurityAuth, SecurityPriv, SecurityReportable
//   2       12      agent identifier
//   14      4       agent boots, big-endian
//   18      4       agent time, big-endian
//   22      2       the sender's maximum message size, big-endian
//   24      1       user name length n
//   25      n       user name
//   25+n    1       digest length: 16 when authenticated, else 0
//   26+n    0/16    digest
//   ...     rest    context selector
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

constexpr int32_t UsecModelOffset = 0;
constexpr int32_t UsecQoSOffset = 1;
constexpr int32_t UsecAgentIdOffset = 2;
constexpr int32_t UsecBootsOffset = 14;
constexpr int32_t UsecTimeOffset = 18;
constexpr int32_t UsecMaxSizeOffset = 22;
constexpr int32_t UsecUserLengthOffset = 24;
constexpr int32_t UsecUserNameOffset = 25;

// Verdicts on a received message (the receive check, usec_check.h, gives
// them; 1 is not used).
constexpr int32_t UsecAccepted = 0;
constexpr int32_t UsecUnsupportedQoS = 2;
constexpr int32_t UsecNotInTimeWindow = 3;
constexpr int32_t UsecUnknownUserName = 4;
constexpr int32_t UsecWrongDigest = 5;
constexpr int32_t UsecUnknownContext = 6;
constexpr int32_t UsecBadParameters = 7;

// Writes the security parameters octet string of an outgoing version-2
// message for session into out. *length is the capacity of out on entry and
// the octets written on return. A flag other than 0 writes the agent boots and
// time as when authenticating. An authenticating session's key stands in the
// digest field (the signing replaces it). Returns 0, or -1 when the block
// cannot be built (then encoding the message fails).
int32_t buildUsecParameters(const SnmpSession* session, int32_t flag, uint8_t* out, int32_t* length);

// Decodes a received parameters string. 0, or UsecBadParameters; the fields
// read before a failed check stay filled in.
int32_t decodeUsecParameters(const uint8_t* parameters, int32_t length, UsecParameters* decoded);

// UsmSecurityParameters (RFC 3414 section 2.4): the octets SNMPv3 carries in
// msgSecurityParameters. The authentication field is written as zeros and
// signed afterwards over the whole message; on receipt only its place is
// kept, for the digest check.
#pragma once

#include <cstdint>

#include "snmp/security/usm/usm_protocols.h"

struct UsmParameters {
    uint8_t engineId[UsmMaxEngineIdLength];
    int32_t engineIdLength;
    int32_t boots;  // 0 to 2^31 - 1
    int32_t time;   // 0 to 2^31 - 1
    uint8_t user[32];
    int32_t userLength;
    int32_t authLength;  // octets of msgAuthenticationParameters (0: none)
    int32_t authOffset;  // where they lie within the parameters' octets
    uint8_t salt[UsmSaltLength];
    int32_t saltLength;  // 0 or UsmSaltLength
};

// The parameters' octets into out (*length: capacity in, length out), the
// authentication field as authLength zeros at *authOffset. 0, or -1.
int32_t encodeUsmParameters(const UsmParameters& parameters, uint8_t* out, int32_t* length, int32_t* authOffset);

// Reads received parameters. 0, or -1 when they do not decode or a field is
// out of its range (engine identifier over 32 octets, user name over 32,
// negative boots or time, a MAC over 48 octets, a salt that is not 0 or 8).
int32_t decodeUsmParameters(const uint8_t* data, int32_t length, UsmParameters* parameters);

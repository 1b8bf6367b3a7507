// The security string of the user-based mode: a community that begins with
// "/" carries a user name, an authentication key, a privacy key and a context
// selector, separated by "/".
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

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

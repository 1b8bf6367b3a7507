// What a community text says before it is a community: a leading "+" asks
// for SNMPv2c, and the text after it selects the mode (communityKind in
// snmp/snmp.h): a "/" the user-based mode, a "#" with a "/" SNMPv3.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// The text after a leading "+" with its length, and *v2c set; the text
// itself otherwise (*v2c untouched).
const uint8_t* afterVersionPrefix(const uint8_t* text, int32_t* length, bool* v2c = nullptr);

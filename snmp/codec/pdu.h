// The engine's side of the PDU and binding records (snmp/snmp.h declares the
// records and their public operations): what kinds of value a type carries,
// and the one copy of octets every layer uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/snmp.h"

// Whether values of this type are both encoded and decoded as a stored value
// of their own (the number, string and OID types of the binding table).
bool isStoredValueType(uint8_t type);

// NULL and the three exception values: a tag and no content.
bool isNullLikeType(uint8_t type);

// A zero-filled copy of `octets` octets from the engine's allocator, with one
// octet more when octets is 0 (so an empty copy is still present). Null when
// memory runs out.
void* copyOctets(const void* source, size_t octets);

// An owned copy of entries sub-identifiers (null for none, or when memory runs
// out: *failed tells which).
uint32_t* copyOid(const uint32_t* oid, int32_t entries, bool* failed);

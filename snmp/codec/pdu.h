// The engine's side of the PDU and binding records (snmp/snmp.h declares the
// records and their public operations): what kinds of value a type carries,
// and the one copy of octets every layer uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "snmp/base/allocation.h"
#include "snmp/snmp.h"

// Whether values of this type are both encoded and decoded as a stored value
// of their own (the number, string and OID types of the binding table).
bool isStoredValueType(uint8_t type);

// The requests answered with a Response: get, get-next, set, get-bulk, and
// the inform a notification receiver acknowledges.
inline bool isRequestCommand(int32_t command)
{
    return command == PduGetRequest || command == PduGetNextRequest || command == PduSetRequest ||
           command == PduGetBulkRequest || command == PduInform;
}

// NULL and the three exception values: a tag and no content.
inline bool isNullLikeType(uint8_t type)
{
    return type == ASN_NULL || type == ASN_NOSUCHOBJECT || type == ASN_NOSUCHINSTANCE || type == ASN_ENDOFMIBVIEW;
}

// A copy of `octets` octets from the engine's allocator; one zero octet when
// octets is 0 (so an empty copy is still present). Null when memory runs out.
inline void* copyOctets(const void* source, size_t octets)
{
    void* block = engineAlloc(octets > 0 ? octets : 1, 1);
    if (block != nullptr && octets > 0)
        std::memcpy(block, source, octets);
    return block;
}

// An owned copy of entries sub-identifiers (null for none, or when memory runs
// out: *failed tells which).
inline uint32_t* copyOid(const uint32_t* oid, int32_t entries, bool* failed)
{
    *failed = false;
    if (entries <= 0 || oid == nullptr)
        return nullptr;
    auto* copy = static_cast<uint32_t*>(copyOctets(oid, static_cast<size_t>(entries) * sizeof(uint32_t)));
    *failed = copy == nullptr;
    return copy;
}

// A deep copy of the PDU, bindings and enterprise included; null for null or
// when memory runs out (nothing is leaked then).
SnmpPdu* clonePdu(const SnmpPdu* pdu);

// A new record holding what pdu held: its bindings and enterprise move over,
// and pdu is left without them (still to be released). Null, pdu unchanged,
// when memory runs out.
SnmpPdu* takePdu(SnmpPdu* pdu);

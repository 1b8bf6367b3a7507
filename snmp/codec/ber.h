// Reading and writing single BER elements (tag, length, content) in a caller's
// buffer: the subset of ASN.1 BER that SNMP messages use.
//
// Every routine works on a cursor: a position in a byte buffer and a signed
// counter of the octets available from there, passed by pointer. A routine
// returns the position just behind what it read or wrote, or null on failure.
// Parse routines reduce the counter by the whole element they consumed, except
// berParseHeader, which replaces it by the content length. Build routines
// reduce it by the octets written. After a failure the counter has no meaning.
//
// No routine allocates memory or keeps state. Parse routines never read at or
// past position + counter, whatever the octets say.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"  // the tags, Counter64 and the OID limit

// Octets of the minimal length field for a length: 1 below 128, 2 up to 255,
// 3 above.
inline int32_t berLengthFieldSize(uint32_t length)
{
    return length < 0x80 ? 1 : length <= 0xFF ? 2 : 3;
}

// Content octets of the minimal two's complement form of a 32-bit integer:
// leading octets go while the top nine bits are all zeros or all ones.
inline int32_t berSignedContentSize(int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    int32_t octets = 4;
    while (octets > 1 && ((v & 0xFF800000u) == 0 || (v & 0xFF800000u) == 0xFF800000u)) {
        v <<= 8;
        --octets;
    }
    return octets;
}

// Length field at data, of which `available` octets may be read. Short form,
// or 0x81..0x84 followed by 1 to 4 big-endian octets; the indefinite form
// (0x80) and longer fields are refused, as is a field running past `available`.
const uint8_t* berParseLength(const uint8_t* data, int32_t available, uint32_t* length);

// Minimal length field: 1 octet below 128, 81 xx up to 255, 82 hh ll up to
// 65535. Lengths above 65535 are refused (the engine never needs them).
uint8_t* berBuildLength(uint8_t* data, int32_t* remaining, uint32_t length);

// Tag and length of the element at data. Refuses a zero or negative counter,
// a high-tag-number tag (low five bits all ones) and an element that runs past
// the counter. On success the counter becomes the content length and the
// content position is returned.
const uint8_t* berParseHeader(const uint8_t* data, int32_t* remaining, uint8_t* tag);

// Tag and minimal length field.
uint8_t* berBuildHeader(uint8_t* data, int32_t* remaining, uint8_t tag, uint32_t length);

// Tag and a length field always in the three-octet form (tag 82 hh ll), so the
// header is four octets whatever the length. With fewer than four octets of
// room it fails and leaves the counter unchanged.
uint8_t* berBuildSequence(uint8_t* data, int32_t* remaining, uint8_t tag, uint32_t length);

// Integers. `width` is the size of the caller's variable: 4 for the 32-bit
// routines, 8 for Counter64; any other width is refused before anything is
// read or written. The tag is stored but not checked.
//
// Integers are read by value: redundant leading octets (00 before an octet
// whose top bit is clear, FF before one whose top bit is set) are skipped,
// whatever their number. A value that does not fit the type, and an element
// with no content octets, are refused.
//
// Signed: -2^31 to 2^31 - 1.
const uint8_t* berParseInt(const uint8_t* data, int32_t* remaining, uint8_t* tag, int32_t* value, int32_t width);
// Unsigned: 0 to 2^32 - 1. A negative value of at most four significant
// octets is taken as its low 32 bits (41 01 FF reads as 0xFFFFFFFF): agents
// that drop the leading zero octet mean that.
const uint8_t* berParseUnsigned(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint32_t* value, int32_t width);
// Counter64: 0 to 2^64 - 1, negative values of at most eight significant
// octets as their low 64 bits.
const uint8_t* berParseCounter64(const uint8_t* data, int32_t* remaining, uint8_t* tag, Counter64* value, int32_t width);

// Minimal two's complement.
uint8_t* berBuildInt(uint8_t* data, int32_t* remaining, uint8_t tag, const int32_t* value, int32_t width);
// Below 0x80000000 as berBuildInt; otherwise 00 and the four value octets.
uint8_t* berBuildUnsigned(uint8_t* data, int32_t* remaining, uint8_t tag, const uint32_t* value, int32_t width);
// 00 and eight octets when the top bit is set, else minimal octets.
uint8_t* berBuildCounter64(uint8_t* data, int32_t* remaining, uint8_t tag, const Counter64* value, int32_t width);

// Octet string (and every type carried like one). *length is the capacity of
// dest on entry and the number of octets stored on return. No terminator.
const uint8_t* berParseString(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint8_t* dest, int32_t* length);
uint8_t* berBuildString(uint8_t* data, int32_t* remaining, uint8_t tag, const uint8_t* source, int32_t length);

// Object identifier. *count is the capacity of oid in entries on entry (at
// least 2) and the entries stored on return. The first encoded sub-identifier
// v carries two entries: v/40 and v%40 below 80, else 2 and v-80. Refused: more
// sub-identifiers than the capacity holds, a sub-identifier above 32 bits, and
// a content ending inside a sub-identifier. An empty content reads as the
// single entry 0. On failure the array is left untouched.
const uint8_t* berParseOid(const uint8_t* data, int32_t* remaining, uint8_t* tag, uint32_t* oid, int32_t* count);

// Fewer than two entries give the content 00; otherwise entry0*40+entry1 and
// the further entries, base 128. More than SnmpOidCapacity entries, and first
// arcs that one sub-identifier cannot carry, are refused.
uint8_t* berBuildOid(uint8_t* data, int32_t* remaining, uint8_t tag, const uint32_t* oid, int32_t count);

// Tag and zero length: NULL and the exception values.
uint8_t* berBuildNull(uint8_t* data, int32_t* remaining, uint8_t tag);

// Bit string: source[0] is the number of unused bits of the last octet (0..7);
// at least that one octet is needed.
uint8_t* berBuildBitString(uint8_t* data, int32_t* remaining, uint8_t tag, const uint8_t* source, int32_t length);

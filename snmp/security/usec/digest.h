// The keyed digest of the user-based mode: MD5 over the message with the key
// standing in the digest field, followed by the key.
#pragma once

#include <cstdint>

// The MD5 of the length octets of message followed by the 16 key octets,
// written to the 16 octets at digest. key and digest may be the same octets
// (also inside message): the key is read before the digest is written.
void messageDigest(const uint8_t* message, int32_t length, const uint8_t* key, uint8_t* digest);

// Whether the 16 octets at fieldOffset of a received message are its digest
// under key: the digest of the message with the key in that field, computed
// over the pieces around the field, so the message is never written.
// Compared in time independent of where the octets differ.
bool digestMatches(const uint8_t* message, int32_t length, int32_t fieldOffset, const uint8_t* key);

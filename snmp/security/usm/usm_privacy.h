// SNMPv3 privacy: CBC-DES (RFC 3414 section 8) and AES in CFB mode (RFC
// 3826; 192 and 256-bit keys as draft-blumenthal-aes-usm-04) over the scoped PDU, with the salts that make every message's
// IV new: DES's boots and a 32-bit counter, AES's 64-bit counter, both
// started at random and never repeated within a module load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/security/usm/usm_protocols.h"

// The most octets encryption adds (DES pads to a multiple of 8).
constexpr size_t UsmPrivacyPadding = 8;

// Encrypts length octets of in into out (room for length + padding), with
// the localized privacy key and the boots and time the message carries; the
// salt for msgPrivacyParameters to salt. *outLength: the ciphertext's length.
bool usmEncrypt(UsmPriv priv, const uint8_t* key, int32_t boots, int32_t time, const uint8_t* in, size_t length,
                uint8_t* out, size_t* outLength, uint8_t* salt);

// Decrypts a received ciphertext (out has room for length octets). False
// when the ciphertext cannot be one of the protocol (DES: not a multiple of
// 8 octets) or the cipher fails.
bool usmDecrypt(UsmPriv priv, const uint8_t* key, int32_t boots, int32_t time, const uint8_t* salt,
                const uint8_t* in, size_t length, uint8_t* out);

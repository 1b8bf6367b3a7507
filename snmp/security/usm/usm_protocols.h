// The authentication and privacy protocols of SNMPv3's user-based security
// model: their names as Net-SNMP's tools write them, hashes, key and MAC
// lengths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "snmp/snmp.h"

enum class UsmAuth : uint8_t { None, Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };
enum class UsmPriv : uint8_t { None, Des, Aes128, Aes192, Aes256, Aes192C, Aes256C };

// How a localized privacy key shorter than the cipher's key is lengthened
// (AES-192 and AES-256 with a shorter hash); agents follow one or the other.
enum class UsmKeyExtension : uint8_t {
    None,
    Blumenthal,  // draft-blumenthal-aes-usm-04: Kul || H(Kul) ..., Net-SNMP's "AES-256"
    Reeder,      // Kul || localize(passwordToKey(Kul)) ..., Cisco's, Net-SNMP's name "AES-256C"
};

struct UsmAuthProtocol {
    const char* name;    // "MD5", "SHA", "SHA-224", ...
    CryptoHash hash;
    uint8_t keyLength;   // the localized key: the hash's digest length
    uint8_t macLength;   // msgAuthenticationParameters: the HMAC truncated to this
};

struct UsmPrivProtocol {
    const char* name;    // "DES", "AES", "AES-192", "AES-256C", ...
    uint8_t keyLength;   // octets of the localized key the cipher takes (DES: key and pre-IV)
    UsmKeyExtension extension;
    UsmPriv otherExtension;  // the same cipher with the other rule (None without one)
};

// The longest privacy key (AES-256).
constexpr size_t UsmMaxPrivKeyLength = 32;

// The largest localized key (SHA-512) and MAC (its 48 octets).
constexpr size_t UsmMaxKeyLength = 64;
constexpr size_t UsmMaxMacLength = 48;
constexpr size_t UsmMaxEngineIdLength = SnmpMaxEngineIdLength;
// The salt of msgPrivacyParameters.
constexpr size_t UsmSaltLength = 8;

// The protocol's record; null for None.
const UsmAuthProtocol* usmAuthProtocol(UsmAuth auth);
const UsmPrivProtocol* usmPrivProtocol(UsmPriv priv);

// The protocol named by the text (letter case ignored); false for none.
bool findUsmAuth(const char* name, size_t length, UsmAuth* auth);
bool findUsmPriv(const char* name, size_t length, UsmPriv* priv);

// SNMPv3 keys: a pass phrase to the user's key (the protocol's hash over the
// phrase repeated to 1 MiB), and that key localized to one engine (the hash
// of key, engine identifier, key). MD5 is the module's own; the other hashes
// come from the platform. All answer false when the platform's hash fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/security/usm/usm_protocols.h"

// Ku: keyLength octets of the protocol to key. The phrase is not empty.
bool usmPasswordToKey(UsmAuth auth, const uint8_t* phrase, size_t length, uint8_t* key);

// Kul: the key localized to the engine identifier, keyLength octets.
bool usmLocalizeKey(UsmAuth auth, const uint8_t* key, const uint8_t* engineId, size_t engineIdLength,
                    uint8_t* localized);

// A localized privacy key lengthened to length octets (at most
// UsmMaxPrivKeyLength) by the rule, in place: key holds the protocol's
// keyLength octets of Kul and has room for length. Each round appends to the
// whole key so far H(key) (Blumenthal) or the key taken as a pass phrase and
// localized to the engine (Reeder). A key already long enough is kept.
bool usmExtendKey(UsmAuth auth, UsmKeyExtension rule, const uint8_t* engineId, size_t engineIdLength, uint8_t* key,
                  size_t length);

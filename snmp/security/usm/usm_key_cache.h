// SNMPv3 keys kept between calls.
//
// A pass phrase costs its protocol's hash over 1 MiB before it can be
// localized, and every call opens its own session. The user's key of the last
// few phrases (per authentication protocol) is kept in process memory with
// the key it was last localized to, looked up by a digest of the protocol and
// phrase (the phrase itself is not kept), and wiped when the module unloads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/security/usm/usm_string.h"

constexpr int UsmKeySlots = 8;

// The secret's key localized to the engine, for a user of this
// authentication protocol (privacy keys too are derived with it): a "0x" key
// as written, a pass phrase through the kept keys. UsmMaxKeyLength octets are
// written (the protocol's key length of them meaningful). False when the
// platform's hash fails.
bool usmLocalizedKey(UsmAuth auth, const UsmSecret& secret, const uint8_t* engineId, size_t engineIdLength,
                     uint8_t* localized);

// The privacy key of the protocol for a user of the authentication protocol:
// as usmLocalizedKey, and for a cipher key longer than the hash's the
// localized key lengthened by the protocol's rule (kept with it). A "0x" key
// is the cipher's key as written. UsmMaxKeyLength octets are written.
bool usmLocalizedPrivKey(UsmAuth auth, UsmPriv priv, const UsmSecret& secret, const uint8_t* engineId,
                         size_t engineIdLength, uint8_t* key);

// Overwrites every entry with zeros.
void wipeUsmKeys();
// Entries in use (for tests).
int usmKeysKept();

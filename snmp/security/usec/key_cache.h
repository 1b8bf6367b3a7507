// Intermediate keys of pass phrases, kept between calls.
//
// Localising a pass phrase costs 1 MiB of MD5, and every user-based call
// opens its own session and localises its keys again. The first step, the
// digest of the phrase repeated to 1 MiB, does not depend on the agent, so
// the last few are kept in process memory (with the last localisation of
// each): a small fixed table, looked up by a digest of the phrase (the phrase
// itself is not kept), wiped when the module unloads. The keys on the wire
// are the same with or without it.
#pragma once

#include <cstdint>

constexpr int IntermediateKeySlots = 8;

// What the table keeps of one phrase: its intermediate key, and the key it
// was last localised to (one localisation costs a digest of its own, and a
// script mostly asks the same agent again).
struct KeptPhraseKeys {
    uint8_t fingerprint[16];  // MD5 of the phrase's length and octets
    uint8_t intermediate[16];
    bool localisedKept;
    uint8_t agentId[12];      // the identifier `localised` belongs to
    uint8_t localised[16];
    uint64_t lastUse;         // 0: free
};

// The phrase's entry (now the most recently used), or null.
KeptPhraseKeys* findPhraseKeys(const uint8_t* phrase, int32_t length);
// Keeps the phrase's intermediate key in an entry of its own, replacing the
// least recently used entry when the table is full; that entry (null for an
// empty phrase).
KeptPhraseKeys* rememberIntermediateKey(const uint8_t* phrase, int32_t length, const uint8_t* key);
// Overwrites every entry with zeros.
void wipeIntermediateKeys();
// Entries in use (for tests).
int intermediateKeysKept();

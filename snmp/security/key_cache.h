// Intermediate keys of pass phrases, kept between calls.
//
// Localising a pass phrase costs 1 MiB of MD5, and every user-based call
// opens its own session and localises its keys again. The first step, the
// digest of the phrase repeated to 1 MiB, does not depend on the agent, so
// the last few are kept in process memory: a small fixed table, looked up by
// a digest of the phrase (the phrase itself is not kept), wiped when the
// module unloads. The keys on the wire are the same with or without it.
#pragma once

#include <cstdint>

constexpr int IntermediateKeySlots = 8;

// True and the 16-byte intermediate key when the phrase's key is kept.
bool findIntermediateKey(const uint8_t* phrase, int32_t length, uint8_t* key);
// Keeps the key, replacing the least recently used entry when the table is full.
void rememberIntermediateKey(const uint8_t* phrase, int32_t length, const uint8_t* key);
// Overwrites every entry with zeros.
void wipeIntermediateKeys();
// Entries in use (for tests).
int intermediateKeysKept();

// The keys of the user-based mode: 16 octets, given as such or derived from a
// pass phrase and localised to one agent.
#pragma once

#include <cstdint>

constexpr int32_t UsecKeyLength = 16;
constexpr int32_t UsecAgentIdLength = 12;

// The key for a pass phrase (at least one byte) localised to an agent
// identifier: MD5 over 1 MiB of the phrase repeated, then MD5 of that digest,
// the identifier and the digest again. An empty phrase gives 16 zeros.
void passwordToKey(const uint8_t* phrase, int32_t phraseLength, const uint8_t* agentId, uint8_t* key);

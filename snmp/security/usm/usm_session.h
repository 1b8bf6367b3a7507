// The SNMPv3 side of a session: the user as the community names it, the
// keys localized to the agent's engine, and what is known of that engine (its
// identifier, boots and clock). Hangs off the engine's session copy.
#pragma once

#include <cstdint>

#include "snmp/security/usm/usm_string.h"
#include "snmp/snmp.h"

// Boots at this value mean the engine must be rediscovered (RFC 3414 2.2.2).
constexpr int32_t UsmBootsLatched = 2147483647;

struct UsmSession {
    UsmCredentials credentials;  // points into the session's own community copy
    uint8_t engineId[UsmMaxEngineIdLength];
    int32_t engineIdLength;  // 0 until the engine is known
    int32_t boots;
    int32_t latestTime;   // the engine time of the latest authentic message
    int32_t timeOffset;   // the engine's clock minus the local clock, seconds
    // The boots and time came from an authentic message (or a known engine
    // that had one); until then the discovery's are only sent.
    bool clockConfirmed;
    // The engine came from the known engines, not from this session's own
    // discovery: an unknownEngineID Report may mean it is out of date.
    bool recalled;
    // The next message is the discovery probe (no user, no engine, no keys).
    bool discovering;
    bool keyed;  // the keys below belong to engineId
    uint8_t authKey[UsmMaxKeyLength];
    uint8_t privKey[UsmMaxKeyLength];
};

// Reads the session's community (the engine's copy, which the record points
// into) and gives the session its SNMPv3 record and security flags. 0, or -1
// after saying why (a malformed community, no memory).
int32_t attachUsmSession(SnmpSession* session);

// Wipes the keys and releases the record; null is accepted.
void releaseUsmSession(UsmSession* usm);

// Takes what is now known of the engine (unconfirmed); the keys are
// localized again.
void setUsmEngine(UsmSession* usm, const uint8_t* engineId, int32_t engineIdLength, int32_t boots, int32_t time);

// The keys of the user for the known engine. 0, or -1 when they cannot be
// made.
int32_t keyUsmSession(UsmSession* usm);

// The engine's time now, as the session estimates it.
int32_t usmEngineTime(const UsmSession* usm);

// After a call the agent left unanswered (or answered only with a Report
// that was dropped, a decryption error among them): for AES-192 or AES-256
// with a hash shorter than the key, says that the agent may lengthen the key
// by the other rule (AES-256 and AES-256C do not interoperate).
void diagnoseUsmSilence(const UsmSession* usm);

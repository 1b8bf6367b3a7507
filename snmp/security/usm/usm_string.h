// The SNMPv3 form of a community: "#user/auth/priv/context", with auth and
// priv each empty or "PROTOCOL:secret", the secret a pass phrase of at least
// 8 characters or "0x" and the hexadecimal localized key. Read before
// anything is sent; a form that would be refused says why on standard error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/security/usm/usm_protocols.h"

constexpr size_t UsmMaxUserName = 32;
constexpr size_t UsmMaxContextName = 32;
constexpr size_t UsmMinPassPhrase = 8;

// A secret as written: a pass phrase, or a localized key (already decoded).
struct UsmSecret {
    const char* phrase;  // into the text; null for a key
    size_t phraseLength;
    uint8_t key[UsmMaxKeyLength];
};

struct UsmCredentials {
    const char* user;  // into the text
    size_t userLength;
    UsmAuth auth;
    UsmSecret authSecret;
    UsmPriv priv;
    UsmSecret privSecret;
    const char* context;  // into the text
    size_t contextLength;
};

// Whether the community (after any "+") is SNMPv3's form: a "#" and, somewhere
// behind it, a "/". "#public" stays a community.
bool isUsmString(const char* text, size_t length);

// Reads the form; 0, or -1 after saying why on standard error. The result
// points into text, which must outlive it.
int32_t parseUsmString(const char* text, size_t length, UsmCredentials* credentials);

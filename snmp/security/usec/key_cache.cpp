#include "snmp/security/usec/key_cache.h"

#include <cstring>

#include "snmp/security/common/md5.h"

namespace {

struct KeyTable {
    KeptPhraseKeys entries[IntermediateKeySlots];
    uint64_t clock;

    ~KeyTable() { wipe(); }

    void wipe()
    {
        // Through a volatile pointer, so that the clearing is not optimised away.
        volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(entries);
        for (size_t i = 0; i < sizeof entries; ++i)
            p[i] = 0;
        clock = 0;
    }
};

KeyTable& table()
{
    // Destroyed, and so wiped, when the module is unloaded.
    static KeyTable keys = {};
    return keys;
}

void fingerprintOf(const uint8_t* phrase, int32_t length, uint8_t* out)
{
    Md5Context context;
    MD5Init(&context);
    const uint8_t lengthOctets[4] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                                     static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    MD5Update(&context, lengthOctets, 4);
    MD5Update(&context, phrase, static_cast<uint32_t>(length));
    MD5Final(out, &context);
}

}  // namespace

KeptPhraseKeys* findPhraseKeys(const uint8_t* phrase, int32_t length)
{
    if (phrase == nullptr || length <= 0)
        return nullptr;
    uint8_t fingerprint[16];
    fingerprintOf(phrase, length, fingerprint);
    KeyTable& keys = table();
    for (KeptPhraseKeys& entry : keys.entries) {
        if (entry.lastUse != 0 && std::memcmp(entry.fingerprint, fingerprint, 16) == 0) {
            entry.lastUse = ++keys.clock;
            return &entry;
        }
    }
    return nullptr;
}

KeptPhraseKeys* rememberIntermediateKey(const uint8_t* phrase, int32_t length, const uint8_t* key)
{
    if (phrase == nullptr || length <= 0)
        return nullptr;
    KeyTable& keys = table();
    KeptPhraseKeys* slot = &keys.entries[0];
    for (KeptPhraseKeys& entry : keys.entries) {
        if (entry.lastUse < slot->lastUse)
            slot = &entry;
    }
    std::memset(slot, 0, sizeof *slot);
    fingerprintOf(phrase, length, slot->fingerprint);
    std::memcpy(slot->intermediate, key, 16);
    slot->lastUse = ++keys.clock;
    return slot;
}

void wipeIntermediateKeys() { table().wipe(); }

int intermediateKeysKept()
{
    int kept = 0;
    for (const KeptPhraseKeys& entry : table().entries)
        kept += entry.lastUse != 0 ? 1 : 0;
    return kept;
}

#include "snmp/security/key_cache.h"

#include <cstring>

#include "snmp/security/md5.h"

namespace {

struct Entry {
    uint8_t fingerprint[16];  // MD5 of the phrase's length and octets
    uint8_t key[16];
    uint64_t lastUse;         // 0: free
};

struct KeyTable {
    Entry entries[IntermediateKeySlots];
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

bool findIntermediateKey(const uint8_t* phrase, int32_t length, uint8_t* key)
{
    if (phrase == nullptr || length <= 0)
        return false;
    uint8_t fingerprint[16];
    fingerprintOf(phrase, length, fingerprint);
    KeyTable& keys = table();
    for (Entry& entry : keys.entries) {
        if (entry.lastUse != 0 && std::memcmp(entry.fingerprint, fingerprint, 16) == 0) {
            entry.lastUse = ++keys.clock;
            std::memcpy(key, entry.key, 16);
            return true;
        }
    }
    return false;
}

void rememberIntermediateKey(const uint8_t* phrase, int32_t length, const uint8_t* key)
{
    if (phrase == nullptr || length <= 0)
        return;
    KeyTable& keys = table();
    Entry* slot = &keys.entries[0];
    for (Entry& entry : keys.entries) {
        if (entry.lastUse < slot->lastUse)
            slot = &entry;
    }
    fingerprintOf(phrase, length, slot->fingerprint);
    std::memcpy(slot->key, key, 16);
    slot->lastUse = ++keys.clock;
}

void wipeIntermediateKeys() { table().wipe(); }

int intermediateKeysKept()
{
    int kept = 0;
    for (const Entry& entry : table().entries)
        kept += entry.lastUse != 0 ? 1 : 0;
    return kept;
}

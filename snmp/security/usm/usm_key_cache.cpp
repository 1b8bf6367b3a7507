#include "snmp/security/usm/usm_key_cache.h"

#include <cstring>

#include "platform/crypto.h"
#include "snmp/security/common/md5.h"
#include "snmp/security/usm/usm_keys.h"

namespace {

struct Entry {
    UsmAuth auth;
    uint8_t fingerprint[kMd5DigestSize];  // MD5 of the protocol, the phrase's length and octets
    uint8_t key[UsmMaxKeyLength];         // Ku
    bool localizedKept;
    uint8_t engineId[UsmMaxEngineIdLength];
    size_t engineIdLength;
    uint8_t localized[UsmMaxKeyLength];   // Kul for engineId
    uint64_t lastUse;                     // 0: free
};

struct KeyTable {
    Entry entries[UsmKeySlots];
    uint64_t clock;

    ~KeyTable() { wipe(); }
    void wipe()
    {
        cryptoWipe(entries, sizeof entries);
        clock = 0;
    }
};

KeyTable& table()
{
    static KeyTable keys = {};
    return keys;
}

void fingerprintOf(UsmAuth auth, const char* phrase, size_t length, uint8_t* fingerprint)
{
    Md5Context context;
    MD5Init(&context);
    const uint8_t head[5] = {static_cast<uint8_t>(auth), static_cast<uint8_t>(length >> 24),
                             static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length)};
    MD5Update(&context, head, sizeof head);
    MD5Update(&context, reinterpret_cast<const uint8_t*>(phrase), static_cast<uint32_t>(length));
    MD5Final(fingerprint, &context);
}

// The phrase's entry, made (and its key computed) when there is none; null
// when the hash fails.
Entry* entryFor(UsmAuth auth, const char* phrase, size_t length)
{
    KeyTable& keys = table();
    uint8_t fingerprint[kMd5DigestSize];
    fingerprintOf(auth, phrase, length, fingerprint);
    Entry* oldest = &keys.entries[0];
    for (Entry& entry : keys.entries) {
        if (entry.lastUse != 0 && entry.auth == auth &&
            std::memcmp(entry.fingerprint, fingerprint, sizeof fingerprint) == 0) {
            entry.lastUse = ++keys.clock;
            return &entry;
        }
        if (entry.lastUse < oldest->lastUse)
            oldest = &entry;
    }
    Entry fresh = {};
    if (!usmPasswordToKey(auth, reinterpret_cast<const uint8_t*>(phrase), length, fresh.key))
        return nullptr;
    fresh.auth = auth;
    std::memcpy(fresh.fingerprint, fingerprint, sizeof fingerprint);
    fresh.lastUse = ++keys.clock;
    *oldest = fresh;
    std::memset(&fresh, 0, sizeof fresh);
    return oldest;
}

}  // namespace

bool usmLocalizedKey(UsmAuth auth, const UsmSecret& secret, const uint8_t* engineId, size_t engineIdLength,
                     uint8_t* localized)
{
    const UsmAuthProtocol* protocol = usmAuthProtocol(auth);
    if (protocol == nullptr || engineIdLength > UsmMaxEngineIdLength)
        return false;
    std::memset(localized, 0, UsmMaxKeyLength);
    if (secret.phrase == nullptr) {
        std::memcpy(localized, secret.key, UsmMaxKeyLength);
        return true;
    }
    Entry* entry = entryFor(auth, secret.phrase, secret.phraseLength);
    if (entry == nullptr)
        return false;
    if (!entry->localizedKept || entry->engineIdLength != engineIdLength ||
        std::memcmp(entry->engineId, engineId, engineIdLength) != 0) {
        if (!usmLocalizeKey(auth, entry->key, engineId, engineIdLength, entry->localized))
            return false;
        std::memcpy(entry->engineId, engineId, engineIdLength);
        entry->engineIdLength = engineIdLength;
        entry->localizedKept = true;
    }
    std::memcpy(localized, entry->localized, protocol->keyLength);
    return true;
}

void wipeUsmKeys() { table().wipe(); }

int usmKeysKept()
{
    int count = 0;
    for (const Entry& entry : table().entries)
        count += entry.lastUse != 0 ? 1 : 0;
    return count;
}

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
    UsmKeyExtension extension;            // the rule of extended (None: none kept)
    uint8_t extended[UsmMaxPrivKeyLength];  // Kul lengthened for AES-192/256, for engineId
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

namespace {

// The phrase's entry with its key localized to the engine; null when the
// hash fails.
Entry* localizedEntry(UsmAuth auth, const UsmSecret& secret, const uint8_t* engineId, size_t engineIdLength)
{
    Entry* entry = entryFor(auth, secret.phrase, secret.phraseLength);
    if (entry == nullptr)
        return nullptr;
    if (!entry->localizedKept || entry->engineIdLength != engineIdLength ||
        std::memcmp(entry->engineId, engineId, engineIdLength) != 0) {
        entry->localizedKept = false;
        entry->extension = UsmKeyExtension::None;
        if (!usmLocalizeKey(auth, entry->key, engineId, engineIdLength, entry->localized))
            return nullptr;
        std::memcpy(entry->engineId, engineId, engineIdLength);
        entry->engineIdLength = engineIdLength;
        entry->localizedKept = true;
    }
    return entry;
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
    const Entry* entry = localizedEntry(auth, secret, engineId, engineIdLength);
    if (entry == nullptr)
        return false;
    std::memcpy(localized, entry->localized, protocol->keyLength);
    return true;
}

bool usmLocalizedPrivKey(UsmAuth auth, UsmPriv priv, const UsmSecret& secret, const uint8_t* engineId,
                         size_t engineIdLength, uint8_t* key)
{
    const UsmAuthProtocol* authProtocol = usmAuthProtocol(auth);
    const UsmPrivProtocol* privProtocol = usmPrivProtocol(priv);
    if (authProtocol == nullptr || privProtocol == nullptr)
        return false;
    if (secret.phrase == nullptr || privProtocol->keyLength <= authProtocol->keyLength)
        return usmLocalizedKey(auth, secret, engineId, engineIdLength, key);
    if (engineIdLength > UsmMaxEngineIdLength)
        return false;
    Entry* entry = localizedEntry(auth, secret, engineId, engineIdLength);
    if (entry == nullptr)
        return false;
    // Kept at the longest length: a shorter key is its beginning.
    if (entry->extension != privProtocol->extension) {
        std::memcpy(entry->extended, entry->localized, authProtocol->keyLength);
        if (!usmExtendKey(auth, privProtocol->extension, engineId, engineIdLength, entry->extended,
                          UsmMaxPrivKeyLength)) {
            entry->extension = UsmKeyExtension::None;
            return false;
        }
        entry->extension = privProtocol->extension;
    }
    std::memset(key, 0, UsmMaxKeyLength);
    std::memcpy(key, entry->extended, privProtocol->keyLength);
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

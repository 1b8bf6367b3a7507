#include "snmp/security/usm_keys.h"

#include "snmp/security/md5.h"

namespace {

constexpr size_t ExpandedLength = 1048576;

// One hash of either origin.
struct Hasher {
    bool ownMd5;
    Md5Context md5;
    CryptoHashState platform;

    explicit Hasher(CryptoHash hash) : ownMd5(hash == CryptoHash::Md5), md5(), platform{nullptr}
    {
        if (ownMd5)
            MD5Init(&md5);
        else
            cryptoHashStart(&platform, hash);
    }
    ~Hasher() { cryptoHashDiscard(&platform); }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    bool add(const uint8_t* data, size_t length)
    {
        if (!ownMd5)
            return cryptoHashAdd(&platform, data, length);
        MD5Update(&md5, data, static_cast<uint32_t>(length));
        return true;
    }
    bool finish(uint8_t* digest)
    {
        if (!ownMd5)
            return cryptoHashFinish(&platform, digest);
        MD5Final(digest, &md5);
        return true;
    }
};

}  // namespace

bool usmPasswordToKey(UsmAuth auth, const uint8_t* phrase, size_t length, uint8_t* key)
{
    const UsmAuthProtocol* protocol = usmAuthProtocol(auth);
    if (protocol == nullptr || phrase == nullptr || length == 0)
        return false;
    Hasher hasher(protocol->hash);
    uint8_t block[1024];
    size_t index = 0;
    bool ok = true;
    for (size_t done = 0; ok && done < ExpandedLength; done += sizeof block) {
        for (uint8_t& octet : block) {
            octet = phrase[index];
            if (++index == length)
                index = 0;
        }
        ok = hasher.add(block, sizeof block);
    }
    return ok && hasher.finish(key);
}

bool usmLocalizeKey(UsmAuth auth, const uint8_t* key, const uint8_t* engineId, size_t engineIdLength,
                    uint8_t* localized)
{
    const UsmAuthProtocol* protocol = usmAuthProtocol(auth);
    if (protocol == nullptr)
        return false;
    Hasher hasher(protocol->hash);
    return hasher.add(key, protocol->keyLength) && hasher.add(engineId, engineIdLength) &&
           hasher.add(key, protocol->keyLength) && hasher.finish(localized);
}

#include "snmp/security/usm/usm_keys.h"

#include <cstring>

#include "snmp/security/common/md5.h"

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
    // A block of whole repetitions of the phrase, hashed again and again:
    // every block starts where the phrase starts, so the blocks in a row are
    // the phrase repeated, and the octets are laid out once, not a mebibyte
    // of times.
    uint8_t block[4096];
    const size_t repetitions = length <= sizeof block ? sizeof block / length : 0;
    bool ok = true;
    size_t done = 0;
    if (repetitions > 0) {
        const size_t blockLength = repetitions * length;
        for (size_t i = 0; i < repetitions; ++i)
            std::memcpy(block + i * length, phrase, length);
        for (; ok && done + blockLength <= ExpandedLength; done += blockLength)
            ok = hasher.add(block, blockLength);
        if (ok && done < ExpandedLength)
            ok = hasher.add(block, ExpandedLength - done);
    } else {
        // A phrase longer than the block: its own octets, whole and then cut.
        for (; ok && done + length <= ExpandedLength; done += length)
            ok = hasher.add(phrase, length);
        if (ok && done < ExpandedLength)
            ok = hasher.add(phrase, ExpandedLength - done);
    }
    std::memset(block, 0, sizeof block);
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

bool usmExtendKey(UsmAuth auth, UsmKeyExtension rule, const uint8_t* engineId, size_t engineIdLength, uint8_t* key,
                  size_t length)
{
    const UsmAuthProtocol* protocol = usmAuthProtocol(auth);
    if (protocol == nullptr)
        return false;
    size_t have = protocol->keyLength;
    if (have >= length)
        return true;
    if (rule == UsmKeyExtension::None || length > UsmMaxPrivKeyLength)
        return false;
    // Room for the last round's whole digest past the length wanted.
    uint8_t grown[UsmMaxPrivKeyLength + CryptoMaxDigestLength];
    uint8_t ku[CryptoMaxDigestLength];
    std::memcpy(grown, key, have);
    bool ok = true;
    while (ok && have < length) {
        if (rule == UsmKeyExtension::Blumenthal) {
            Hasher hasher(protocol->hash);
            ok = hasher.add(grown, have) && hasher.finish(grown + have);
        } else {
            ok = usmPasswordToKey(auth, grown, have, ku) &&
                 usmLocalizeKey(auth, ku, engineId, engineIdLength, grown + have);
        }
        have += protocol->keyLength;
    }
    if (ok)
        std::memcpy(key, grown, length);
    cryptoWipe(grown, sizeof grown);
    cryptoWipe(ku, sizeof ku);
    return ok;
}

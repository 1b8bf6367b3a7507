#include "snmp/security/usm/usm_privacy.h"

#include <cstring>

#include "platform/crypto.h"
#include "platform/runtime.h"
#include "snmp/base/big_endian.h"

namespace {

constexpr size_t DesBlock = 8;
constexpr size_t AesIvLength = 16;

// The module's salt counters: random at the first use, then counting up.
struct SaltCounters {
    bool started;
    uint32_t des;
    uint64_t aes;
};

SaltCounters& counters()
{
    static SaltCounters salts = {};
    if (!salts.started) {
        salts.des = runtimeEntropy();
        salts.aes = static_cast<uint64_t>(runtimeEntropy()) << 32 | runtimeEntropy();
        salts.started = true;
    }
    return salts;
}

// DES: the salt is boots and the counter; the IV is the pre-IV (the key's
// second half) with the salt laid over it.
void desIv(const uint8_t* key, const uint8_t* salt, uint8_t* iv)
{
    for (size_t i = 0; i < DesBlock; ++i)
        iv[i] = key[DesBlock + i] ^ salt[i];
}

// AES: boots, time and the salt.
void aesIv(int32_t boots, int32_t time, const uint8_t* salt, uint8_t* iv)
{
    putBigEndian32(iv, static_cast<uint32_t>(boots));
    putBigEndian32(iv + 4, static_cast<uint32_t>(time));
    std::memcpy(iv + 8, salt, UsmSaltLength);
}

// Every AES is RFC 3826's CFB with its IV; only the key's length differs.
bool isAes(UsmPriv priv) { return priv != UsmPriv::None && priv != UsmPriv::Des && usmPrivProtocol(priv) != nullptr; }

}  // namespace

bool usmEncrypt(UsmPriv priv, const uint8_t* key, int32_t boots, int32_t time, const uint8_t* in, size_t length,
                uint8_t* out, size_t* outLength, uint8_t* salt)
{
    SaltCounters& salts = counters();
    if (priv == UsmPriv::Des) {
        putBigEndian32(salt, static_cast<uint32_t>(boots));
        putBigEndian32(salt + 4, salts.des++);
        uint8_t iv[DesBlock];
        desIv(key, salt, iv);
        // Padded with zeros to whole blocks: the receiver reads the scoped
        // PDU's own length and ignores what follows.
        const size_t padded = (length + DesBlock - 1) / DesBlock * DesBlock;
        std::memcpy(out, in, length);
        std::memset(out + length, 0, padded - length);
        *outLength = padded;
        return cryptoDesCbc(true, key, iv, out, padded, out);
    }
    if (isAes(priv)) {
        const uint64_t value = salts.aes++;
        putBigEndian32(salt, static_cast<uint32_t>(value >> 32));
        putBigEndian32(salt + 4, static_cast<uint32_t>(value));
        uint8_t iv[AesIvLength];
        aesIv(boots, time, salt, iv);
        *outLength = length;
        return cryptoAesCfb(true, key, usmPrivProtocol(priv)->keyLength, iv, in, length, out);
    }
    return false;
}

bool usmDecrypt(UsmPriv priv, const uint8_t* key, int32_t boots, int32_t time, const uint8_t* salt,
                const uint8_t* in, size_t length, uint8_t* out)
{
    if (priv == UsmPriv::Des) {
        if (length == 0 || length % DesBlock != 0)
            return false;
        uint8_t iv[DesBlock];
        desIv(key, salt, iv);
        return cryptoDesCbc(false, key, iv, in, length, out);
    }
    if (isAes(priv)) {
        uint8_t iv[AesIvLength];
        aesIv(boots, time, salt, iv);
        return cryptoAesCfb(false, key, usmPrivProtocol(priv)->keyLength, iv, in, length, out);
    }
    return false;
}

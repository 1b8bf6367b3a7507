// The cryptography seam on Windows, over libgcrypt (linked statically, so the
// module stays one file): the system's own cryptography lacks SHA-224, and
// wine's lacks DES as well.
#include "platform/crypto.h"

#include <gcrypt.h>

#include <cstring>
#include <mutex>

#include "platform/win_types.h"

namespace {

const int kHashAlgorithms[] = {GCRY_MD_MD5, GCRY_MD_SHA1, GCRY_MD_SHA224, GCRY_MD_SHA256, GCRY_MD_SHA384,
                               GCRY_MD_SHA512};
constexpr size_t kHashCount = sizeof kHashAlgorithms / sizeof kHashAlgorithms[0];

// The library is readied once: no secure memory pool (the module wipes its
// own keys), and the initialisation declared finished.
bool libraryReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr)
            return;
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        ready = true;
    });
    return ready;
}

int algorithmOf(CryptoHash hash)
{
    const size_t index = static_cast<size_t>(hash);
    return index < kHashCount ? kHashAlgorithms[index] : 0;
}

// One working cipher handle per cipher and direction, kept keyed: the same
// key is only given a new IV.
struct KeptCipher {
    std::mutex lock;
    gcry_cipher_hd_t handle = nullptr;
    bool keyed = false;
    uint8_t key[32] = {};

    ~KeptCipher()
    {
        if (handle != nullptr)
            gcry_cipher_close(handle);
        cryptoWipe(key, sizeof key);
    }
};

KeptCipher& keptCipher(int which)
{
    static KeptCipher contexts[8];  // DES and the three AES, each encrypting and decrypting
    return contexts[which];
}

bool keyAccepted(gcry_error_t error)
{
    // A weak DES key is reported, yet set: the other side uses it all the same.
    return error == 0 || gcry_err_code(error) == GPG_ERR_WEAK_KEY;
}

bool cipher(KeptCipher& kept, int algorithm, int mode, size_t keyLength, size_t ivLength, bool encrypt,
            const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out)
{
    if (!libraryReady())
        return false;
    std::lock_guard<std::mutex> hold(kept.lock);
    if (kept.handle == nullptr && gcry_cipher_open(&kept.handle, algorithm, mode, 0) != 0) {
        kept.handle = nullptr;
        return false;
    }
    if (!kept.keyed || !cryptoEqual(kept.key, key, keyLength)) {
        kept.keyed = keyAccepted(gcry_cipher_setkey(kept.handle, key, keyLength));
        std::memcpy(kept.key, key, keyLength);
        if (!kept.keyed)
            return false;
    }
    bool ok = gcry_cipher_setiv(kept.handle, iv, ivLength) == 0;
    ok = ok && (encrypt ? gcry_cipher_encrypt(kept.handle, out, length, in, length)
                        : gcry_cipher_decrypt(kept.handle, out, length, in, length)) == 0;
    if (!ok)
        kept.keyed = false;
    return ok;
}

// One working HMAC handle per hash, kept keyed: a request and its reply use
// the same key; a handle with the same key is only reset.
struct KeptHmac {
    std::mutex lock;
    gcry_md_hd_t handle = nullptr;
    size_t keyLength = 0;
    bool keyed = false;
    uint8_t key[CryptoMaxDigestLength] = {};

    ~KeptHmac()
    {
        if (handle != nullptr)
            gcry_md_close(handle);
        cryptoWipe(key, sizeof key);
    }
};

KeptHmac& keptHmac(size_t index)
{
    static KeptHmac contexts[kHashCount];
    return contexts[index];
}

}  // namespace

size_t cryptoDigestLength(CryptoHash hash)
{
    const int algorithm = algorithmOf(hash);
    return algorithm == 0 ? 0 : gcry_md_get_algo_dlen(algorithm);
}

bool cryptoHashStart(CryptoHashState* state, CryptoHash hash)
{
    state->context = nullptr;
    const int algorithm = algorithmOf(hash);
    gcry_md_hd_t handle = nullptr;
    if (algorithm == 0 || !libraryReady() || gcry_md_open(&handle, algorithm, 0) != 0)
        return false;
    state->context = handle;
    return true;
}

bool cryptoHashAdd(CryptoHashState* state, const uint8_t* data, size_t length)
{
    if (state->context == nullptr)
        return false;
    gcry_md_write(static_cast<gcry_md_hd_t>(state->context), data, length);
    return true;
}

bool cryptoHashFinish(CryptoHashState* state, uint8_t* digest)
{
    gcry_md_hd_t handle = static_cast<gcry_md_hd_t>(state->context);
    if (handle == nullptr)
        return false;
    const unsigned char* result = gcry_md_read(handle, 0);
    if (result != nullptr)
        std::memcpy(digest, result, gcry_md_get_algo_dlen(gcry_md_get_algo(handle)));
    cryptoHashDiscard(state);
    return result != nullptr;
}

void cryptoHashDiscard(CryptoHashState* state)
{
    if (state->context != nullptr)
        gcry_md_close(static_cast<gcry_md_hd_t>(state->context));
    state->context = nullptr;
}

bool cryptoHmac(CryptoHash hash, const uint8_t* key, size_t keyLength, const CryptoPiece* pieces, int count,
                uint8_t* mac)
{
    const size_t index = static_cast<size_t>(hash);
    if (index >= kHashCount || keyLength > CryptoMaxDigestLength || !libraryReady())
        return false;
    KeptHmac& kept = keptHmac(index);
    std::lock_guard<std::mutex> hold(kept.lock);
    if (kept.handle == nullptr && gcry_md_open(&kept.handle, kHashAlgorithms[index], GCRY_MD_FLAG_HMAC) != 0) {
        kept.handle = nullptr;
        return false;
    }
    if (kept.keyed && kept.keyLength == keyLength && cryptoEqual(kept.key, key, keyLength)) {
        gcry_md_reset(kept.handle);  // back to the keyed start
    } else {
        gcry_md_reset(kept.handle);
        kept.keyed = gcry_md_setkey(kept.handle, key, keyLength) == 0;
        std::memcpy(kept.key, key, keyLength);
        kept.keyLength = keyLength;
        if (!kept.keyed)
            return false;
    }
    for (int i = 0; i < count; ++i)
        gcry_md_write(kept.handle, pieces[i].data, pieces[i].length);
    const unsigned char* result = gcry_md_read(kept.handle, 0);
    if (result == nullptr) {
        kept.keyed = false;  // set up afresh next time
        return false;
    }
    std::memcpy(mac, result, gcry_md_get_algo_dlen(kHashAlgorithms[index]));
    return true;
}

bool cryptoDesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                  uint8_t* out)
{
    return length % 8 == 0 &&
           cipher(keptCipher(encrypt ? 0 : 1), GCRY_CIPHER_DES, GCRY_CIPHER_MODE_CBC, 8, 8, encrypt, key, iv, in,
                  length, out);
}

bool cryptoAesCfb(bool encrypt, const uint8_t* key, size_t keyLength, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out)
{
    static const int kAes[] = {GCRY_CIPHER_AES128, GCRY_CIPHER_AES192, GCRY_CIPHER_AES256};
    if (keyLength != 16 && keyLength != 24 && keyLength != 32)
        return false;
    const size_t size = keyLength / 8 - 2;  // 0, 1, 2
    return cipher(keptCipher(static_cast<int>(2 + 2 * size + (encrypt ? 0 : 1))), kAes[size], GCRY_CIPHER_MODE_CFB,
                  keyLength, 16, encrypt, key, iv, in, length, out);
}

bool cryptoEqual(const uint8_t* a, const uint8_t* b, size_t length)
{
    // Every octet is compared, wherever the first difference lies.
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < length; ++i)
        difference = static_cast<uint8_t>(difference | (a[i] ^ b[i]));
    return difference == 0;
}

void cryptoWipe(void* data, size_t length) { SecureZeroMemory(data, length); }

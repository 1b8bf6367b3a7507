#include "platform/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>

#include <cstring>
#include <mutex>

namespace {

// The module's own library context, with the default provider and the
// legacy one (single DES lives there since OpenSSL 3). Released at unload.
struct Library {
    std::once_flag once;
    OSSL_LIB_CTX* context = nullptr;
    OSSL_PROVIDER* defaults = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    EVP_MD* digests[6] = {};
    EVP_CIPHER* des = nullptr;
    EVP_CIPHER* aes[3] = {};  // 128, 192 and 256-bit keys
    EVP_MAC* hmac = nullptr;

    ~Library()
    {
        for (EVP_MD* digest : digests)
            EVP_MD_free(digest);
        EVP_CIPHER_free(des);
        for (EVP_CIPHER* cipher : aes)
            EVP_CIPHER_free(cipher);
        EVP_MAC_free(hmac);
        if (legacy != nullptr)
            OSSL_PROVIDER_unload(legacy);
        if (defaults != nullptr)
            OSSL_PROVIDER_unload(defaults);
        OSSL_LIB_CTX_free(context);
    }
};

const char* const DigestNames[] = {"MD5", "SHA1", "SHA224", "SHA256", "SHA384", "SHA512"};
const size_t DigestLengths[] = {16, 20, 28, 32, 48, 64};

Library& library()
{
    static Library lib;
    std::call_once(lib.once, [] {
        lib.context = OSSL_LIB_CTX_new();
        if (lib.context == nullptr)
            return;
        lib.defaults = OSSL_PROVIDER_load(lib.context, "default");
        lib.legacy = OSSL_PROVIDER_load(lib.context, "legacy");
        for (size_t i = 0; i < sizeof DigestNames / sizeof DigestNames[0]; ++i)
            lib.digests[i] = EVP_MD_fetch(lib.context, DigestNames[i], nullptr);
        lib.des = EVP_CIPHER_fetch(lib.context, "DES-CBC", nullptr);
        lib.aes[0] = EVP_CIPHER_fetch(lib.context, "AES-128-CFB", nullptr);
        lib.aes[1] = EVP_CIPHER_fetch(lib.context, "AES-192-CFB", nullptr);
        lib.aes[2] = EVP_CIPHER_fetch(lib.context, "AES-256-CFB", nullptr);
        lib.hmac = EVP_MAC_fetch(lib.context, "HMAC", nullptr);
    });
    return lib;
}

const EVP_MD* digestOf(CryptoHash hash)
{
    const size_t index = static_cast<size_t>(hash);
    return index < 6 ? library().digests[index] : nullptr;
}

// One working context per cipher and direction, kept keyed as the HMAC
// contexts are: the same key is only given a new IV.
struct KeptCipher {
    std::mutex lock;
    EVP_CIPHER_CTX* context = nullptr;
    bool keyed = false;
    uint8_t key[32] = {};

    ~KeptCipher()
    {
        EVP_CIPHER_CTX_free(context);
        OPENSSL_cleanse(key, sizeof key);
    }
};

// key is keyLength (at most 32) octets.
bool cipher(KeptCipher& kept, const EVP_CIPHER* algorithm, size_t keyLength, bool encrypt, const uint8_t* key,
            const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out)
{
    if (algorithm == nullptr || length > static_cast<size_t>(INT32_MAX))
        return false;
    std::lock_guard<std::mutex> hold(kept.lock);
    if (kept.context == nullptr) {
        kept.context = EVP_CIPHER_CTX_new();
        if (kept.context == nullptr)
            return false;
    }
    bool ok;
    if (kept.keyed && CRYPTO_memcmp(kept.key, key, keyLength) == 0) {
        ok = EVP_CipherInit_ex2(kept.context, nullptr, nullptr, iv, encrypt ? 1 : 0, nullptr) == 1;
    } else {
        ok = EVP_CipherInit_ex2(kept.context, algorithm, key, iv, encrypt ? 1 : 0, nullptr) == 1 &&
             EVP_CIPHER_CTX_set_padding(kept.context, 0) == 1;
        std::memcpy(kept.key, key, keyLength);
    }
    kept.keyed = ok;
    int written = 0;
    int last = 0;
    ok = ok && EVP_CipherUpdate(kept.context, out, &written, in, static_cast<int>(length)) == 1 &&
         EVP_CipherFinal_ex(kept.context, out + written, &last) == 1 && static_cast<size_t>(written + last) == length;
    if (!ok)
        kept.keyed = false;
    return ok;
}

KeptCipher& keptCipher(int which)
{
    static KeptCipher contexts[8];  // DES and the three AES, each encrypting and decrypting
    return contexts[which];
}

}  // namespace

size_t cryptoDigestLength(CryptoHash hash)
{
    const size_t index = static_cast<size_t>(hash);
    return index < 6 ? DigestLengths[index] : 0;
}

bool cryptoHashStart(CryptoHashState* state, CryptoHash hash)
{
    state->context = nullptr;
    const EVP_MD* digest = digestOf(hash);
    if (digest == nullptr)
        return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr)
        return false;
    if (EVP_DigestInit_ex2(context, digest, nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return false;
    }
    state->context = context;
    return true;
}

bool cryptoHashAdd(CryptoHashState* state, const uint8_t* data, size_t length)
{
    return state->context != nullptr &&
           EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state->context), data, length) == 1;
}

bool cryptoHashFinish(CryptoHashState* state, uint8_t* digest)
{
    if (state->context == nullptr)
        return false;
    const bool ok = EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state->context), digest, nullptr) == 1;
    cryptoHashDiscard(state);
    return ok;
}

void cryptoHashDiscard(CryptoHashState* state)
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state->context));
    state->context = nullptr;
}

namespace {

// One working HMAC context per hash, kept keyed: a request and its reply use
// the same key, and naming the digest and processing the key anew for every
// message costs more than the message's own HMAC. A context with the same key
// is only reset. The lock serialises callers on other threads (a test's
// agent in the same process).
struct KeptHmac {
    std::mutex lock;
    EVP_MAC_CTX* context = nullptr;
    size_t keyLength = 0;
    uint8_t key[CryptoMaxDigestLength] = {};

    ~KeptHmac()
    {
        EVP_MAC_CTX_free(context);
        OPENSSL_cleanse(key, sizeof key);
    }
};

KeptHmac& keptHmac(size_t index)
{
    static KeptHmac contexts[6];
    return contexts[index];
}

}  // namespace

bool cryptoHmac(CryptoHash hash, const uint8_t* key, size_t keyLength, const CryptoPiece* pieces, int count,
                uint8_t* mac)
{
    const size_t index = static_cast<size_t>(hash);
    Library& lib = library();
    if (index >= 6 || lib.hmac == nullptr || lib.digests[index] == nullptr || keyLength > CryptoMaxDigestLength)
        return false;
    KeptHmac& kept = keptHmac(index);
    std::lock_guard<std::mutex> hold(kept.lock);
    bool ok;
    if (kept.context != nullptr && kept.keyLength == keyLength && CRYPTO_memcmp(kept.key, key, keyLength) == 0) {
        ok = EVP_MAC_init(kept.context, nullptr, 0, nullptr) == 1;
    } else {
        if (kept.context == nullptr)
            kept.context = EVP_MAC_CTX_new(lib.hmac);
        const OSSL_PARAM parameters[] = {
            OSSL_PARAM_construct_utf8_string("digest", const_cast<char*>(DigestNames[index]), 0),
            OSSL_PARAM_construct_end()};
        ok = kept.context != nullptr && EVP_MAC_init(kept.context, key, keyLength, parameters) == 1;
        std::memcpy(kept.key, key, keyLength);
        kept.keyLength = ok ? keyLength : 0;
    }
    for (int i = 0; ok && i < count; ++i)
        ok = EVP_MAC_update(kept.context, pieces[i].data, pieces[i].length) == 1;
    size_t written = 0;
    ok = ok && EVP_MAC_final(kept.context, mac, &written, CryptoMaxDigestLength) == 1 && written == DigestLengths[index];
    if (!ok)
        kept.keyLength = 0;  // set up afresh next time
    return ok;
}

bool cryptoDesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                  uint8_t* out)
{
    return length % 8 == 0 && cipher(keptCipher(encrypt ? 0 : 1), library().des, 8, encrypt, key, iv, in, length, out);
}

bool cryptoAesCfb(bool encrypt, const uint8_t* key, size_t keyLength, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out)
{
    if (keyLength != 16 && keyLength != 24 && keyLength != 32)
        return false;
    const size_t size = keyLength / 8 - 2;  // 0, 1, 2
    return cipher(keptCipher(static_cast<int>(2 + 2 * size + (encrypt ? 0 : 1))), library().aes[size], keyLength,
                  encrypt, key, iv, in, length, out);
}

bool cryptoEqual(const uint8_t* a, const uint8_t* b, size_t length) { return CRYPTO_memcmp(a, b, length) == 0; }

void cryptoWipe(void* data, size_t length) { OPENSSL_cleanse(data, length); }

// parseUsmString on the input as an exactly sized text (no terminator).
// Checked on every input: a refusal has said why; an accepted form points
// only into the text, holds a user of 1 to 32 octets and a context of at most
// 32, has authentication whenever it has privacy, and each secret is either a
// pass phrase of at least 8 characters inside the text or a decoded key.
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "snmp/base/diagnostics.h"
#include "snmp/security/usm/usm_string.h"

namespace {

size_t said = 0;
void count(DiagnosticStream, const char*, size_t length) { said += length; }

bool inside(const char* part, size_t length, const char* text, size_t size)
{
    return part >= text && part + length <= text + size;
}

void checkSecret(const UsmSecret& secret, const char* text, size_t size)
{
    if (secret.phrase != nullptr) {
        FUZZ_CHECK(secret.phraseLength >= UsmMinPassPhrase);
        FUZZ_CHECK(inside(secret.phrase, secret.phraseLength, text, size));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    setDiagnosticSink(count);
    std::unique_ptr<char[]> text(new char[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy(text.get(), data, size);
    UsmCredentials credentials;
    said = 0;
    const int32_t result = parseUsmString(text.get(), size, &credentials);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK(std::memcmp(text.get(), data, size) == 0);
    if (result != 0) {
        FUZZ_CHECK(said > 0);
        return 0;
    }
    FUZZ_CHECK(said == 0 && isUsmString(text.get(), size));
    FUZZ_CHECK(credentials.userLength >= 1 && credentials.userLength <= UsmMaxUserName);
    FUZZ_CHECK(inside(credentials.user, credentials.userLength, text.get(), size));
    FUZZ_CHECK(credentials.contextLength <= UsmMaxContextName);
    FUZZ_CHECK(credentials.contextLength == 0 || inside(credentials.context, credentials.contextLength, text.get(), size));
    FUZZ_CHECK(credentials.priv == UsmPriv::None || credentials.auth != UsmAuth::None);
    checkSecret(credentials.authSecret, text.get(), size);
    checkSecret(credentials.privSecret, text.get(), size);
    return 0;
}

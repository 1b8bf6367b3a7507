#include "snmp/security/usec/keys.h"

#include <cstring>

#include "snmp/security/common/md5.h"
#include "snmp/security/usec/key_cache.h"

namespace {

const int32_t LocalisationBytes = 1048576;

}  // namespace

void passwordToKey(const uint8_t* phrase, int32_t phraseLength, const uint8_t* agentId, uint8_t* key)
{
    if (phrase == nullptr || phraseLength <= 0) {
        std::memset(key, 0, UsecKeyLength);
        return;
    }
    KeptPhraseKeys* kept = findPhraseKeys(phrase, phraseLength);
    if (kept != nullptr && kept->localisedKept && std::memcmp(kept->agentId, agentId, UsecAgentIdLength) == 0) {
        std::memcpy(key, kept->localised, UsecKeyLength);
        return;
    }
    Md5Context context;
    uint8_t intermediate[UsecKeyLength];
    if (kept != nullptr) {
        std::memcpy(intermediate, kept->intermediate, UsecKeyLength);
    } else {
        MD5Init(&context);
        uint8_t block[64];
        int32_t index = 0;
        for (int32_t done = 0; done < LocalisationBytes; done += 64) {
            for (int32_t i = 0; i < 64; ++i) {
                block[i] = phrase[index];
                if (++index == phraseLength)
                    index = 0;
            }
            MD5Update(&context, block, 64);
        }
        MD5Final(intermediate, &context);
        kept = rememberIntermediateKey(phrase, phraseLength, intermediate);
    }

    uint8_t localise[2 * UsecKeyLength + UsecAgentIdLength];
    std::memcpy(localise, intermediate, UsecKeyLength);
    std::memcpy(localise + UsecKeyLength, agentId, UsecAgentIdLength);
    std::memcpy(localise + UsecKeyLength + UsecAgentIdLength, intermediate, UsecKeyLength);
    MD5Init(&context);
    MD5Update(&context, localise, sizeof localise);
    MD5Final(key, &context);
    if (kept != nullptr) {
        std::memcpy(kept->agentId, agentId, UsecAgentIdLength);
        std::memcpy(kept->localised, key, UsecKeyLength);
        kept->localisedKept = true;
    }
}

// The table of intermediate keys: same keys on the wire, bounded, wipeable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmp/security/usec/key_cache.h"
#include "snmp/security/usec/keys.h"
#include "tests/support/hex.h"

namespace {

std::vector<uint8_t> localised(const std::string& phrase, const std::vector<uint8_t>& agentId)
{
    std::vector<uint8_t> key(16);
    passwordToKey(reinterpret_cast<const uint8_t*>(phrase.data()), static_cast<int32_t>(phrase.size()),
                  agentId.data(), key.data());
    return key;
}

class KeyCache : public ::testing::Test {
protected:
    void SetUp() override { wipeIntermediateKeys(); }
    void TearDown() override { wipeIntermediateKeys(); }
};

TEST_F(KeyCache, SameKeysWithTheTableWarm)
{
    const std::vector<uint8_t> agentId = hexBytes("00 00 00 00 00 00 00 00 00 00 00 02");
    const std::vector<uint8_t> cold = localised("maplesyrup", agentId);
    EXPECT_EQ(intermediateKeysKept(), 1);
    const std::vector<uint8_t> warm = localised("maplesyrup", agentId);
    EXPECT_EQ(hexText(warm), "52 6F 5E ED 9F CC E2 6F 89 64 C2 93 07 87 D8 2B");
    EXPECT_EQ(warm, cold);
    // Another agent reuses the intermediate key and still gets its own key;
    // the first agent's key is the same again after it.
    const std::vector<uint8_t> other = hexBytes("00 00 00 00 00 00 00 00 00 00 00 03");
    const std::vector<uint8_t> otherKey = localised("maplesyrup", other);
    EXPECT_NE(otherKey, warm);
    EXPECT_EQ(localised("maplesyrup", other), otherKey);
    EXPECT_EQ(localised("maplesyrup", agentId), warm);
    EXPECT_EQ(intermediateKeysKept(), 1);
}

TEST_F(KeyCache, LookupNeedsTheSamePhrase)
{
    const uint8_t stored[16] = {1, 2, 3};
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("abc"), 3, stored);
    const KeptPhraseKeys* found = findPhraseKeys(reinterpret_cast<const uint8_t*>("abc"), 3);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->intermediate[2], 3);
    EXPECT_EQ(findPhraseKeys(reinterpret_cast<const uint8_t*>("abcd"), 4), nullptr);
    EXPECT_EQ(findPhraseKeys(reinterpret_cast<const uint8_t*>("ab"), 2), nullptr);
    EXPECT_EQ(findPhraseKeys(reinterpret_cast<const uint8_t*>(""), 0), nullptr);
}

TEST_F(KeyCache, BoundedLeastRecentlyUsedFirst)
{
    const uint8_t stored[16] = {9};
    std::vector<std::string> phrases;
    for (int i = 0; i < IntermediateKeySlots; ++i) {
        phrases.push_back("phrase-" + std::to_string(i));
        rememberIntermediateKey(reinterpret_cast<const uint8_t*>(phrases.back().data()),
                                static_cast<int32_t>(phrases.back().size()), stored);
    }
    EXPECT_EQ(intermediateKeysKept(), IntermediateKeySlots);
    // Using the oldest keeps it; the next new phrase then replaces the second oldest.
    ASSERT_NE(findPhraseKeys(reinterpret_cast<const uint8_t*>(phrases[0].data()), 8), nullptr);
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("newcomer"), 8, stored);
    EXPECT_EQ(intermediateKeysKept(), IntermediateKeySlots);
    EXPECT_NE(findPhraseKeys(reinterpret_cast<const uint8_t*>(phrases[0].data()), 8), nullptr);
    EXPECT_EQ(findPhraseKeys(reinterpret_cast<const uint8_t*>(phrases[1].data()), 8), nullptr);
    EXPECT_NE(findPhraseKeys(reinterpret_cast<const uint8_t*>("newcomer"), 8), nullptr);
}

TEST_F(KeyCache, WipeForgetsEverything)
{
    const uint8_t stored[16] = {7};
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("secret"), 6, stored);
    wipeIntermediateKeys();
    EXPECT_EQ(findPhraseKeys(reinterpret_cast<const uint8_t*>("secret"), 6), nullptr);
    EXPECT_EQ(intermediateKeysKept(), 0);
}

}  // namespace

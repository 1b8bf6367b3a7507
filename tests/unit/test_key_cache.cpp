// The table of intermediate keys: same keys on the wire, bounded, wipeable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmp/security/key_cache.h"
#include "snmp/security/keys.h"
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
    // Another agent reuses the intermediate key and still gets its own key.
    const std::vector<uint8_t> other = hexBytes("00 00 00 00 00 00 00 00 00 00 00 03");
    EXPECT_NE(localised("maplesyrup", other), warm);
    EXPECT_EQ(intermediateKeysKept(), 1);
}

TEST_F(KeyCache, LookupNeedsTheSamePhrase)
{
    uint8_t key[16] = {};
    const uint8_t stored[16] = {1, 2, 3};
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("abc"), 3, stored);
    EXPECT_TRUE(findIntermediateKey(reinterpret_cast<const uint8_t*>("abc"), 3, key));
    EXPECT_EQ(key[2], 3);
    EXPECT_FALSE(findIntermediateKey(reinterpret_cast<const uint8_t*>("abcd"), 4, key));
    EXPECT_FALSE(findIntermediateKey(reinterpret_cast<const uint8_t*>("ab"), 2, key));
    EXPECT_FALSE(findIntermediateKey(reinterpret_cast<const uint8_t*>(""), 0, key));
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
    uint8_t key[16];
    // Using the oldest keeps it; the next new phrase then replaces the second oldest.
    ASSERT_TRUE(findIntermediateKey(reinterpret_cast<const uint8_t*>(phrases[0].data()), 8, key));
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("newcomer"), 8, stored);
    EXPECT_EQ(intermediateKeysKept(), IntermediateKeySlots);
    EXPECT_TRUE(findIntermediateKey(reinterpret_cast<const uint8_t*>(phrases[0].data()), 8, key));
    EXPECT_FALSE(findIntermediateKey(reinterpret_cast<const uint8_t*>(phrases[1].data()), 8, key));
    EXPECT_TRUE(findIntermediateKey(reinterpret_cast<const uint8_t*>("newcomer"), 8, key));
}

TEST_F(KeyCache, WipeForgetsEverything)
{
    const uint8_t stored[16] = {7};
    rememberIntermediateKey(reinterpret_cast<const uint8_t*>("secret"), 6, stored);
    wipeIntermediateKeys();
    uint8_t key[16];
    EXPECT_FALSE(findIntermediateKey(reinterpret_cast<const uint8_t*>("secret"), 6, key));
    EXPECT_EQ(intermediateKeysKept(), 0);
}

}  // namespace

// The OID text form: parser and formatter.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "script/oid_text.h"

namespace {

struct ParseCase {
    std::string text;
    bool valid;
    std::vector<uint32_t> values;  // what was stored, valid or not
};

// Short, printable: test names are built from it.
void PrintTo(const ParseCase& c, std::ostream* os)
{
    std::string shown;
    for (char ch : c.text.substr(0, 24))
        shown += std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' ? ch : '_';
    *os << '"' << shown << (c.text.size() > 24 ? "..." : "") << '"';
}

std::string repeatedOid(int count, bool trailingDot)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(i + 1);
    }
    if (trailingDot)
        text += '.';
    return text;
}

std::vector<uint32_t> oneTo(int count)
{
    std::vector<uint32_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(static_cast<uint32_t>(i + 1));
    return values;
}

class OidParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(OidParse, StoresAndValidates)
{
    const ParseCase& c = GetParam();
    uint32_t values[256] = {};
    int32_t count = 256;
    const CString text(c.text.data(), static_cast<int>(c.text.size()));
    const bool valid = parseOidString(text, values, &count);
    EXPECT_EQ(valid, c.valid) << c.text;
    ASSERT_EQ(count, static_cast<int32_t>(c.values.size())) << c.text;
    for (int32_t i = 0; i < count; ++i)
        EXPECT_EQ(values[i], c.values[static_cast<size_t>(i)]) << c.text << " at " << i;
}

const std::vector<uint32_t> System = {1, 3, 6, 1, 2, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Texts, OidParse,
    ::testing::Values(
        ParseCase{"", true, {}},
        ParseCase{"1.3.6.1", true, {1, 3, 6, 1}},
        ParseCase{"1.3.", true, {1, 3}},
        ParseCase{"system", true, System},
        ParseCase{"SYSTEM.1.0", true, {1, 3, 6, 1, 2, 1, 1, 1, 0}},
        ParseCase{"sYsTeM.", true, System},
        ParseCase{"ifentry.2", true, {1, 3, 6, 1, 2, 1, 2, 2, 1, 2}},
        ParseCase{"IFENTRY", true, {1, 3, 6, 1, 2, 1, 2, 2, 1}},
        ParseCase{"mib-2.4", true, {1, 3, 6, 1, 2, 1, 4}},
        ParseCase{"internet", true, {1, 3, 6, 1}},
        ParseCase{"Enterprises.9.1", true, {1, 3, 6, 1, 4, 1, 9, 1}},
        ParseCase{"007.010", true, {7, 10}},
        ParseCase{"4294967295", true, {4294967295u}},
        ParseCase{"4294967296", true, {0}},                   // modulo 2^32
        ParseCase{"4294967297.12884901890", true, {1, 2}},
        ParseCase{".1.3", false, {}},
        ParseCase{"1..3", false, {1}},
        ParseCase{"1.3.x", false, {1, 3}},
        ParseCase{"1.3 ", false, {1, 3}},
        ParseCase{" 1.3", false, {}},
        ParseCase{"-1", false, {}},
        ParseCase{"+1", false, {}},
        ParseCase{"systemx", false, {}},
        ParseCase{"system..1", false, System},
        ParseCase{"1.3.system", false, {1, 3}},
        ParseCase{"mib2", false, {}},
        ParseCase{std::string("1.3\0.6", 6), false, {1, 3}},  // a zero byte inside
        ParseCase{std::string("system\0", 7), false, System},
        ParseCase{repeatedOid(256, false), true, oneTo(256)},
        ParseCase{repeatedOid(256, true), true, oneTo(256)},
        ParseCase{repeatedOid(257, false), false, oneTo(256)}));

TEST(OidParse, CapacityStopsTheLoop)
{
    uint32_t values[3] = {};
    int32_t count = 3;
    const int consumed = parseOidText("1.2.3.4", values, &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(consumed, 6);  // "1.2.3." read, "4" left over
    EXPECT_EQ(values[2], 3u);
}

TEST(OidParse, PrefixCountsAgainstCapacity)
{
    uint32_t values[8] = {};
    int32_t count = 8;
    // system gives 7 sub-identifiers, one more fits, the third does not.
    const int consumed = parseOidText("system.1.2", values, &count);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(consumed, 9);
}

TEST(OidParse, NullTextIsEmpty)
{
    uint32_t values[4] = {};
    int32_t count = 4;
    EXPECT_EQ(parseOidText(nullptr, values, &count), 0);
    EXPECT_EQ(count, 0);
}

TEST(OidFormat, DottedDecimalWithoutPrefixes)
{
    const uint32_t values[] = {1, 3, 6, 0, 4294967295u};
    EXPECT_STREQ(formatOidText(values, 5), "1.3.6.0.4294967295");
    EXPECT_STREQ(formatOidText(values, 1), "1");
    EXPECT_EQ(formatOidText(values, 0).GetLength(), 0);
    EXPECT_EQ(formatOidText(values, -3).GetLength(), 0);
}

TEST(OidFormat, EveryFormattedTextParsesBack)
{
    uint32_t values[256];
    for (int i = 0; i < 256; ++i)
        values[i] = static_cast<uint32_t>(i * 2654435761u);  // spread over the whole range
    for (int n : {1, 2, 17, 255, 256}) {
        const CString text = formatOidText(values, n);
        uint32_t back[256] = {};
        int32_t count = 256;
        ASSERT_TRUE(parseOidString(text, back, &count)) << text.GetString();
        ASSERT_EQ(count, n);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(back[i], values[i]);
    }
}

}  // namespace

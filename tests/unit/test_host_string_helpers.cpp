// The host library's text helpers (libvantor): SplitField, UnTab, InsertEx and
// the STR_ tests, called directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/vantor_host.h"

namespace {

std::string bytes(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

std::vector<std::string> fieldsOf(const CStringList& list)
{
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
        out.push_back(bytes(list.GetNext(pos)));
    return out;
}

using Strings = std::vector<std::string>;

struct SplitCase {
    const char* text;
    char separator;
    bool trim;
    Strings fields;
};

TEST(HostSplitField, SplitsAtTheSeparator)
{
    const SplitCase cases[] = {
        {"", ',', false, {}},
        {"", ',', true, {}},
        {"a", ',', false, {"a"}},
        {"a,b,c", ',', false, {"a", "b", "c"}},
        {"a,,b", ',', false, {"a", "", "b"}},
        {"a,", ',', false, {"a", ""}},
        {",a", ',', false, {"", "a"}},
        {",", ',', false, {"", ""}},
        {" a , b ", ',', false, {" a ", " b "}},
        {" a , b ", ',', true, {"a", "b"}},
        {"\t a\t. b .c\t", '.', true, {"a", "b", "c"}},
        {"  ", ',', true, {""}},
        // Only spaces and tabs are trimmed.
        {"\na\n, b\r", ',', true, {"\na\n", "b\r"}},
        {"1.3.6.1", '.', true, {"1", "3", "6", "1"}},
        {"a b c", ' ', false, {"a", "b", "c"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" '" + c.separator + "'" + (c.trim ? " trim" : ""));
        CStringList list;
        const int count = SplitField(c.text, list, c.separator, c.trim);
        EXPECT_EQ(count, static_cast<int>(c.fields.size()));
        EXPECT_EQ(list.GetCount(), count);
        EXPECT_EQ(fieldsOf(list), c.fields);
    }
}

TEST(HostSplitField, ReplacesWhatTheListHeld)
{
    CStringList list;
    list.AddTail("old");
    list.AddTail("older");
    EXPECT_EQ(SplitField("new", list, ',', false), 1);
    EXPECT_EQ(fieldsOf(list), (Strings{"new"}));
    EXPECT_EQ(SplitField("", list, ',', false), 0);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(HostSplitField, KeepsZeroBytesInsideFields)
{
    CStringList list;
    EXPECT_EQ(SplitField(CString("a\0b,c", 5), list, ',', false), 2);
    EXPECT_EQ(fieldsOf(list), (Strings{std::string("a\0b", 3), "c"}));
}

TEST(HostUnTab, ExpandsToStopsEveryEightColumns)
{
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"", ""},
        {"no tabs", "no tabs"},
        {"\t", "        "},
        {"a\tb", "a       b"},
        {"1234567\tx", "1234567 x"},
        {"12345678\tx", "12345678        x"},
        {"\t\t", "                "},
        {"ab\ncd\te", "ab\ncd      e"},  // the column starts again behind a line feed
        {"abc\r\tx", "abc\r        x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CString text(c.text);
        UnTab(text);
        EXPECT_EQ(bytes(text), c.result);
        EXPECT_LT(text.Find('\t'), 0);
    }
}

TEST(HostInsertEx, InsertsAndPadsBeyondTheEnd)
{
    struct Case {
        const char* text;
        int position;
        const char* insert;
        const char* result;
    };
    const Case cases[] = {
        {"world", 0, "hello ", "hello world"},
        {"helo", 3, "l", "hello"},
        {"ab", 2, "cd", "abcd"},
        {"ab", 4, "X", "ab  X"},
        {"", 3, "X", "   X"},
        {"ab", -5, "X", "Xab"},
        {"ab", 1, "", "ab"},
        {"ab", 9, "", "ab"},  // nothing to insert: no padding either
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.position));
        CString text(c.text);
        const int length = InsertEx(text, c.position, c.insert);
        EXPECT_EQ(bytes(text), c.result);
        EXPECT_EQ(length, text.GetLength());
    }
}

TEST(HostInsertEx, InsertsZeroBytesOfTheText)
{
    CString text("ab");
    EXPECT_EQ(InsertEx(text, 1, CString("\0\0", 2)), 4);
    EXPECT_EQ(bytes(text), std::string("a\0\0b", 4));
}

TEST(HostInsertEx, RefusesAResultTooLongForAHostString)
{
    CString text("ab");
    EXPECT_EQ(InsertEx(text, 0x3FFFFFFF, "X"), 2);
    EXPECT_EQ(bytes(text), "ab");
    EXPECT_EQ(InsertEx(text, 0x7FFFFFFF, "X"), 2);
    EXPECT_EQ(bytes(text), "ab");
}

TEST(HostStrTests, IsCWordAtEachPosition)
{
    const CString text("_aZ9 .\x80");
    const bool expected[] = {true, true, true, true, false, false, false};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(STR_IsCWORD(text, i), expected[i]);
    }
    EXPECT_FALSE(STR_IsCWORD(text, -1));
    EXPECT_FALSE(STR_IsCWORD(text, 7));
    EXPECT_FALSE(STR_IsCWORD(CString("a\0", 2), 1));
}

TEST(HostStrTests, DigitAndHexTexts)
{
    struct Case {
        CString text;
        bool digit, hex;
        DWORD value;
    };
    const Case cases[] = {
        {"0123456789", true, true, 0x23456789},
        {"abcdefABCDEF", false, true, 0xEFABCDEFu},  // the low 32 bits of 0xABCDEFABCDEF
        {"0x0", false, true, 0},
        {"0X7fffffff", false, true, 0x7FFFFFFF},
        {"0xFFFFFFFF", false, true, 0xFFFFFFFFu},
        {"x1", false, false, 0},
        {"0x", false, false, 0},
        {"00x1", false, false, 0},
        {"1 2", false, false, 1},
        {"", false, false, 0},
        {CString("12\0", 3), false, false, 0x12},  // a zero byte is not a digit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(bytes(c.text));
        EXPECT_EQ(STR_IsDigit(c.text), c.digit);
        EXPECT_EQ(STR_IsHex(c.text), c.hex);
        EXPECT_EQ(STR_HexToLong(c.text), c.value);
    }
}

TEST(HostStrTests, IsHexMeansHexToLongReadsToTheEnd)
{
    // Every text that passes IsHex reads back to the same value after formatting.
    for (DWORD value : {0u, 1u, 0xAu, 0x1234u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        CString text;
        text.Format("0x%X", static_cast<unsigned>(value));
        EXPECT_TRUE(STR_IsHex(text));
        EXPECT_EQ(STR_HexToLong(text), value);
        text.Format("%x", static_cast<unsigned>(value));
        EXPECT_TRUE(STR_IsHex(text));
        EXPECT_EQ(STR_HexToLong(text), value);
    }
}

}  // namespace

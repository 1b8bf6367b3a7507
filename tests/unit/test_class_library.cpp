// CZEL_String: the host string's editing members.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "classlib/class_library.h"

namespace {

std::string bytes(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

std::string listText(const CStringList& list)
{
    std::string joined;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        joined += "[" + bytes(list.GetNext(pos)) + "]";
    }
    return joined;
}

TEST(CzelString, ConstructorsBuildTheTextTheSameWayAsTheHostString)
{
    EXPECT_EQ(bytes(CZEL_String()), "");
    EXPECT_EQ(bytes(CZEL_String('x', 3)), "xxx");
    EXPECT_EQ(bytes(CZEL_String('x', 0)), "");
    EXPECT_EQ(bytes(CZEL_String("hello")), "hello");
    EXPECT_EQ(bytes(CZEL_String(static_cast<const char*>(nullptr))), "");
    EXPECT_EQ(bytes(CZEL_String("a\0b", 3)), std::string("a\0b", 3));
    const CZEL_String original("copy me");
    EXPECT_EQ(bytes(CZEL_String(original)), "copy me");
    const CString host("from host");
    EXPECT_EQ(bytes(CZEL_String(host)), "from host");
}

TEST(CzelString, CopiesAreIndependent)
{
    CZEL_String a("one");
    CZEL_String b(a);
    b.DeleteLastByte();
    EXPECT_EQ(bytes(a), "one");
    EXPECT_EQ(bytes(b), "on");
    CZEL_String c("other");
    c = a;
    EXPECT_EQ(bytes(c), "one");
    c = c;  // self-assignment keeps the text
    EXPECT_EQ(bytes(c), "one");
    a.DelTab().TrimSpace();
    c.DeleteFirstByte();
    EXPECT_EQ(bytes(a), "one");
    EXPECT_EQ(bytes(c), "ne");
}

struct TrimCase {
    const char* input;
    const char* right;
    const char* left;
    const char* both;
};

TEST(CzelString, TrimmingRemovesOnlySpacesAndTabs)
{
    const TrimCase cases[] = {
        {"", "", "", ""},
        {"abc", "abc", "abc", "abc"},
        {"  abc  ", "  abc", "abc  ", "abc"},
        {"\t a b \t", "\t a b", "a b \t", "a b"},
        {" \t \t", "", "", ""},
        // Other white space is not trimmed, and stops the trimming where it stands.
        {"\nabc\n", "\nabc\n", "\nabc\n", "\nabc\n"},
        {" \r\nabc\v\f ", " \r\nabc\v\f", "\r\nabc\v\f ", "\r\nabc\v\f"},
        {"\t\rx\r\t", "\t\rx\r", "\rx\r\t", "\rx\r"},
    };
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(c.input);
        CZEL_String right(c.input), left(c.input), both(c.input);
        EXPECT_EQ(bytes(right.TrimRightSpace()), c.right);
        EXPECT_EQ(bytes(left.TrimLeftSpace()), c.left);
        EXPECT_EQ(bytes(both.TrimSpace()), c.both);
    }
}

TEST(CzelString, MembersAnswerTheStringItself)
{
    CZEL_String text(" a ");
    EXPECT_EQ(&text.TrimSpace(), &text);
    EXPECT_EQ(&text.TrimLeftSpace(), &text);
    EXPECT_EQ(&text.TrimRightSpace(), &text);
    EXPECT_EQ(&text.DelTab(), &text);
    EXPECT_EQ(&text.Normal(), &text);
    EXPECT_EQ(&text.ReplaceEx(0, 0, "x"), &text);
    EXPECT_EQ(&text.InsertEx(0, 'y'), &text);
    EXPECT_EQ(&text.DeleteFirstByte(), &text);
    EXPECT_EQ(&text.DeleteLastByte(), &text);
    EXPECT_EQ(&text.MakeDialogStaticText(), &text);
    EXPECT_EQ(&text.MakePrintText(), &text);
}

TEST(CzelString, ReverseFindAnswersTheLastIndexOrMinusOne)
{
    const CZEL_String text("a.b.c");
    EXPECT_EQ(text.ReverseFind('.'), 3);
    EXPECT_EQ(text.ReverseFind('a'), 0);
    EXPECT_EQ(text.ReverseFind('c'), 4);
    EXPECT_EQ(text.ReverseFind('z'), -1);
    EXPECT_EQ(CZEL_String().ReverseFind('a'), -1);
    // Bytes behind a zero byte are part of the text.
    EXPECT_EQ(CZEL_String("x\0x", 3).ReverseFind('x'), 2);
}

TEST(CzelString, DelTabTurnsEveryTabIntoOneSpace)
{
    CZEL_String text("\ta\t\tb\t");
    text.DelTab();
    EXPECT_EQ(bytes(text), " a  b ");
    CZEL_String none("no tabs\n");
    none.DelTab();
    EXPECT_EQ(bytes(none), "no tabs\n");
}

TEST(CzelString, SplitParamSplitsAtCommasAndTrimsEachField)
{
    CStringList fields;
    CZEL_String text(" public , 1.3.6.1 ,\t161\t");
    EXPECT_EQ(text.SplitParam(fields), 3);
    EXPECT_EQ(fields.GetCount(), 3);
    EXPECT_EQ(listText(fields), "[public][1.3.6.1][161]");
    EXPECT_EQ(bytes(text), " public , 1.3.6.1 ,\t161\t");  // the text itself is unchanged
}

TEST(CzelString, SplitObjectSplitsAtDotsAndReplacesTheListContent)
{
    CStringList fields;
    fields.AddTail("stale");
    CZEL_String text("window . button.\tcaption ");
    EXPECT_EQ(text.SplitObject(fields), 3);
    EXPECT_EQ(listText(fields), "[window][button][caption]");

    CZEL_String empty;
    EXPECT_EQ(empty.SplitObject(fields), 0);
    EXPECT_TRUE(fields.IsEmpty());

    CZEL_String gaps("a..b.");
    EXPECT_EQ(gaps.SplitObject(fields), 4);
    EXPECT_EQ(listText(fields), "[a][][b][]");
}

TEST(CzelString, ReplaceExDeletesThenInserts)
{
    struct Case {
        const char* text;
        int position, count;
        const char* insert;
        const char* result;
    };
    const Case cases[] = {
        {"hello world", 6, 5, "there", "hello there"},
        {"hello", 0, 1, "J", "Jello"},
        {"hello", 1, 3, "", "ho"},
        {"hello", 5, 2, "!", "hello!"},
        {"abc", 1, 100, "X", "aX"},
        {"abc", 1, 0, "XY", "aXYbc"},
        {"abc", 5, 1, "Z", "abc  Z"},  // beyond the end: padded with spaces up to the position
        {"abc", -2, 1, "Z", "Zbc"},
        {"", 0, 3, "new", "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.position));
        CZEL_String text(c.text);
        text.ReplaceEx(c.position, c.count, c.insert);
        EXPECT_EQ(bytes(text), c.result);
    }
}

TEST(CzelString, DeleteFirstAndLastByte)
{
    CZEL_String text("abc");
    text.DeleteLastByte();
    EXPECT_EQ(bytes(text), "ab");
    text.DeleteFirstByte();
    EXPECT_EQ(bytes(text), "b");
    text.DeleteFirstByte();
    EXPECT_EQ(bytes(text), "");
    // On an empty string both are harmless and leave it empty.
    text.DeleteFirstByte();
    text.DeleteLastByte();
    EXPECT_EQ(text.GetLength(), 0);
    EXPECT_EQ(bytes(text), "");
    CZEL_String empty;
    empty.DeleteLastByte().DeleteLastByte();
    EXPECT_TRUE(empty.IsEmpty());
    // A zero byte counts as a byte like any other.
    CZEL_String zero("a\0", 2);
    zero.DeleteLastByte();
    EXPECT_EQ(bytes(zero), "a");
}

TEST(CzelString, NormalExpandsTabsThenTrimsTheRight)
{
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"a\tb", "a       b"},
        {"\tx", "        x"},
        {"abcdefgh\ti", "abcdefgh        i"},
        {"a\t", "a"},
        {"text  \t \t", "text"},
        {"  lead", "  lead"},
        {"keep\n", "keep\n"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CZEL_String text(c.text);
        EXPECT_EQ(bytes(text.Normal()), c.result);
    }
}

TEST(CzelString, IsCWordTellsIdentifierBytes)
{
    CZEL_String text("a_9 -$\xe9Z");
    const bool expected[] = {true, true, true, false, false, false, false, true};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(text.IsCWORD(i), expected[i]);
    }
    EXPECT_FALSE(text.IsCWORD(-1));
    EXPECT_FALSE(text.IsCWORD(8));
    EXPECT_FALSE(CZEL_String().IsCWORD(0));
}

TEST(CzelString, DigitAndHexTests)
{
    struct Case {
        const char* text;
        bool digit, hex;
        DWORD value;
    };
    const Case cases[] = {
        {"0", true, true, 0x0},
        {"12345", true, true, 0x12345},
        {"ff", false, true, 0xFF},
        {"0x1F", false, true, 0x1F},
        {"0XdeadBEEF", false, true, 0xDEADBEEF},
        {"0x", false, false, 0},
        {"", false, false, 0},
        {"12a", false, true, 0x12A},
        {"-1", false, false, 0},
        {"+5", false, false, 0},
        {" 5", false, false, 0},
        {"5 ", false, false, 5},
        {"1g", false, false, 1},
        {"1FFFFFFFF", false, true, 0xFFFFFFFF},  // low 32 bits
        {"123456789", true, true, 0x23456789},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CZEL_String text(c.text);
        EXPECT_EQ(text.IsDigit(), c.digit);
        EXPECT_EQ(text.IsHex(), c.hex);
        EXPECT_EQ(text.HexToLong(), c.value);
    }
}

TEST(CzelString, DecimalConversionsReadLikeTheStandardLibrary)
{
    struct Case {
        const char* text;
        int asInt;
        LONG asLong;
        double asDouble;
    };
    const Case cases[] = {
        {"42", 42, 42, 42.0},
        {"  -17xyz", -17, -17, -17.0},
        {"+8", 8, 8, 8.0},
        {"3.75", 3, 3, 3.75},
        {"-0.5e2", 0, 0, -50.0},
        {"abc", 0, 0, 0.0},
        {"", 0, 0, 0.0},
        {"2147483647", INT_MAX, INT32_MAX, 2147483647.0},
        {"-2147483648", INT_MIN, INT32_MIN, -2147483648.0},
        // Beyond 32 bits the integer answers are clamped, not wrapped.
        {"99999999999", INT_MAX, INT32_MAX, 99999999999.0},
        {"-99999999999", INT_MIN, INT32_MIN, -99999999999.0},
        {"999999999999999999999999", INT_MAX, INT32_MAX, 1e24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CZEL_String text(c.text);
        EXPECT_EQ(text.ToInt(), c.asInt);
        EXPECT_EQ(text.ToLong(), c.asLong);
        EXPECT_DOUBLE_EQ(text.ToDouble(), c.asDouble);
    }
}

TEST(CzelString, InsertExPutsOneByteAtThePosition)
{
    struct Case {
        const char* text;
        int position;
        char ch;
        const char* result;
    };
    const Case cases[] = {
        {"bc", 0, 'a', "abc"},
        {"ac", 1, 'b', "abc"},
        {"ab", 2, 'c', "abc"},
        {"ab", 4, 'e', "ab  e"},
        {"ab", -3, 'x', "xab"},
        {"", 0, 'z', "z"},
        {"ab", 1, '\0', "ab"},  // the one-byte text of a zero byte is empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.position));
        CZEL_String text(c.text);
        EXPECT_EQ(bytes(text.InsertEx(c.position, c.ch)), c.result);
    }
}

TEST(CzelString, MakeDialogStaticTextDoublesAmpersands)
{
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"&File", "&&File"},
        {"Save && Exit", "Save &&&& Exit"},
        {"100% \\ done", "100% \\ done"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CZEL_String text(c.text);
        EXPECT_EQ(bytes(text.MakeDialogStaticText()), c.result);
    }
}

TEST(CzelString, MakePrintTextDoublesAmpersandPercentAndBackslash)
{
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"&%\\", "&&%%\\\\"},
        {"a & b % c \\ d", "a && b %% c \\\\ d"},
        {"\\\\%%&&", "\\\\\\\\%%%%&&&&"},
        {"C:\\dir\\100%", "C:\\\\dir\\\\100%%"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CZEL_String text(c.text);
        EXPECT_EQ(bytes(text.MakePrintText()), c.result);
    }
}

}  // namespace

// The host string stand-in: length-counted, zero bytes allowed, never throws.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/host_string.h"

namespace {

std::string bytes(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

TEST(HostString, EmptyByDefault)
{
    CString s;
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(s, "");
    EXPECT_EQ(sizeof(CString), sizeof(void*));
}

TEST(HostString, HoldsZeroBytes)
{
    CString s("a\0b\0", 4);
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(bytes(s), std::string("a\0b\0", 4));
    EXPECT_EQ(s.GetString()[4], '\0');  // always terminated
    CString copy(s);
    EXPECT_EQ(bytes(copy), bytes(s));
    EXPECT_TRUE(copy == s);
    EXPECT_FALSE(copy == "a");  // compares the whole length
}

TEST(HostString, ConstructionForms)
{
    EXPECT_EQ(bytes(CString('x', 3)), "xxx");
    EXPECT_EQ(bytes(CString('x', 0)), "");
    EXPECT_EQ(bytes(CString('x', -2)), "");
    EXPECT_EQ(bytes(CString(static_cast<const char*>(nullptr))), "");
    EXPECT_EQ(bytes(CString("abc", -1)), "");
    EXPECT_EQ(bytes(CString("abcdef", 3)), "abc");
}

TEST(HostString, AssignmentAndMoves)
{
    CString a("first");
    CString b;
    b = a;
    a = "second";
    EXPECT_EQ(bytes(b), "first");
    EXPECT_EQ(bytes(a), "second");
    CString c(std::move(a));
    EXPECT_EQ(bytes(c), "second");
    EXPECT_EQ(a.GetLength(), 0);
    c = c;
    EXPECT_EQ(bytes(c), "second");
    c = c.GetString() + 3;  // assigning a part of itself
    EXPECT_EQ(bytes(c), "ond");
    c = 'z';
    EXPECT_EQ(bytes(c), "z");
    c = static_cast<const char*>(nullptr);
    EXPECT_TRUE(c.IsEmpty());
}

TEST(HostString, Appending)
{
    CString s;
    for (int i = 0; i < 100; ++i)
        s += static_cast<char>('a' + i % 26);
    EXPECT_EQ(s.GetLength(), 100);
    s += s;  // appending itself
    EXPECT_EQ(s.GetLength(), 200);
    EXPECT_EQ(s.Mid(100, 3), CString("abc"));
    EXPECT_EQ(bytes(CString("ab") + "cd"), "abcd");
    EXPECT_EQ(bytes("ab" + CString("cd")), "abcd");
    EXPECT_EQ(bytes(CString("ab") + CString("\0x", 2)), std::string("ab\0x", 4));
}

TEST(HostString, Format)
{
    CString s;
    s.Format("Couldn't get variable (%s)", "1.3.6");
    EXPECT_EQ(bytes(s), "Couldn't get variable (1.3.6)");
    s.Format("%.0lf", -0.4);
    EXPECT_EQ(bytes(s), "-0");
    s.Format("%lu", 4294967295ul);
    EXPECT_EQ(bytes(s), "4294967295");
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
    std::string big(5000, 'q');
    s.Format("<%s>", big.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
}

TEST(HostString, SubstringsClampTheirBounds)
{
    const CString s("hello");
    EXPECT_EQ(bytes(s.Mid(1, 3)), "ell");
    EXPECT_EQ(bytes(s.Mid(3)), "lo");
    EXPECT_EQ(bytes(s.Mid(9)), "");
    EXPECT_EQ(bytes(s.Mid(-4, 2)), "he");
    EXPECT_EQ(bytes(s.Mid(2, 99)), "llo");
    EXPECT_EQ(bytes(s.Left(2)), "he");
    EXPECT_EQ(bytes(s.Left(-1)), "");
    EXPECT_EQ(bytes(s.Right(2)), "lo");
    EXPECT_EQ(bytes(s.Right(99)), "hello");
    EXPECT_EQ(s.GetAt(4), 'o');
    EXPECT_EQ(s.GetAt(5), '\0');
    EXPECT_EQ(s.GetAt(-1), '\0');
}

TEST(HostString, Searching)
{
    const CString s("a.b.c");
    EXPECT_EQ(s.Find('.'), 1);
    EXPECT_EQ(s.Find('.', 2), 3);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.ReverseFind('.'), 3);
    EXPECT_EQ(s.ReverseFind('x'), -1);
    EXPECT_EQ(s.Find("b.c"), 2);
    EXPECT_EQ(s.Find("c.d"), -1);
    EXPECT_EQ(CString().ReverseFind('a'), -1);
}

TEST(HostString, Editing)
{
    CString s("a&b");
    EXPECT_EQ(s.Replace("&", "&&"), 1);
    EXPECT_EQ(bytes(s), "a&&b");
    EXPECT_EQ(s.Replace("", "x"), 0);
    EXPECT_EQ(s.Replace('&', '+'), 2);
    EXPECT_EQ(bytes(s), "a++b");
    EXPECT_EQ(s.Insert(1, "XY"), 6);
    EXPECT_EQ(bytes(s), "aXY++b");
    EXPECT_EQ(s.Insert(99, '!'), 7);
    EXPECT_EQ(bytes(s), "aXY++b!");
    EXPECT_EQ(s.Delete(1, 2), 5);
    EXPECT_EQ(bytes(s), "a++b!");
    EXPECT_EQ(s.Delete(4, 99), 4);
    EXPECT_EQ(s.Delete(-1, 0), 4);
    EXPECT_EQ(s.Delete(10, 1), 4);
    EXPECT_EQ(bytes(s), "a++b");
    CString empty;
    EXPECT_EQ(empty.Delete(0, 1), 0);
}

TEST(HostString, Trimming)
{
    CString s(" \t\nx y\r\t ");
    CString t(s);
    t.TrimRight(" \t");
    EXPECT_EQ(bytes(t), " \t\nx y\r");
    t.TrimLeft(" \t");
    EXPECT_EQ(bytes(t), "\nx y\r");
    s.TrimRight();
    s.TrimLeft();
    EXPECT_EQ(bytes(s), "x y");
    CString only("   ");
    only.TrimLeft(' ');
    EXPECT_TRUE(only.IsEmpty());
}

TEST(HostString, CaseAndComparison)
{
    CString s("MiB-2");
    s.MakeLower();
    EXPECT_EQ(bytes(s), "mib-2");
    s.MakeUpper();
    EXPECT_EQ(bytes(s), "MIB-2");
    EXPECT_EQ(s.CompareNoCase("mib-2"), 0);
    EXPECT_LT(CString("a").Compare("b"), 0);
    EXPECT_GT(CString("ab").Compare("a"), 0);
}

TEST(HostString, Buffers)
{
    CString s;
    char* buffer = s.GetBuffer(10);
    ASSERT_NE(buffer, nullptr);
    std::snprintf(buffer, 11, "%d", 12345);
    s.ReleaseBuffer();
    EXPECT_EQ(bytes(s), "12345");
    buffer = s.GetBufferSetLength(8);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(s.GetLength(), 8);
    EXPECT_EQ(bytes(s), std::string("12345\0\0\0", 8));
    s.ReleaseBuffer(2);
    EXPECT_EQ(bytes(s), "12");
}

}  // namespace

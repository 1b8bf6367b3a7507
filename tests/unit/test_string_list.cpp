// CStringList: the class library's list of host strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/string_list.h"

namespace {

std::string bytes(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

std::vector<std::string> forward(const CStringList& list)
{
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
        out.push_back(bytes(list.GetNext(pos)));
    return out;
}

std::vector<std::string> backward(const CStringList& list)
{
    std::vector<std::string> out;
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;)
        out.push_back(bytes(list.GetPrev(pos)));
    return out;
}

using Strings = std::vector<std::string>;

TEST(StringList, StartsEmpty)
{
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    EXPECT_EQ(bytes(list.GetHead()), "");
    EXPECT_EQ(bytes(list.GetTail()), "");
    EXPECT_EQ(bytes(list.RemoveHead()), "");
    EXPECT_EQ(bytes(list.RemoveTail()), "");
    EXPECT_EQ(list.FindIndex(0), nullptr);
}

TEST(StringList, AddsAtBothEndsInOrder)
{
    CStringList list;
    EXPECT_NE(list.AddTail("b"), nullptr);
    EXPECT_NE(list.AddTail("c"), nullptr);
    EXPECT_NE(list.AddHead("a"), nullptr);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_FALSE(list.IsEmpty());
    EXPECT_EQ(bytes(list.GetHead()), "a");
    EXPECT_EQ(bytes(list.GetTail()), "c");
    EXPECT_EQ(forward(list), (Strings{"a", "b", "c"}));
    EXPECT_EQ(backward(list), (Strings{"c", "b", "a"}));
}

TEST(StringList, KeepsZeroBytesAndCopiesTheStrings)
{
    CStringList list;
    CString text("x\0y", 3);
    list.AddTail(text);
    text = "changed";
    EXPECT_EQ(bytes(list.GetHead()), std::string("x\0y", 3));
}

TEST(StringList, PositionsReadWriteAndRemove)
{
    CStringList list;
    list.AddTail("zero");
    POSITION one = list.AddTail("one");
    list.AddTail("two");
    EXPECT_EQ(list.FindIndex(1), one);
    EXPECT_EQ(bytes(list.GetAt(one)), "one");
    list.SetAt(one, "ONE");
    EXPECT_EQ(forward(list), (Strings{"zero", "ONE", "two"}));
    EXPECT_EQ(list.FindIndex(3), nullptr);
    EXPECT_EQ(list.FindIndex(-1), nullptr);
    EXPECT_EQ(bytes(list.GetAt(list.FindIndex(2))), "two");

    list.RemoveAt(one);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(forward(list), (Strings{"zero", "two"}));
    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.RemoveAt(nullptr);
    list.SetAt(nullptr, "ignored");
    EXPECT_TRUE(list.IsEmpty());
}

TEST(StringList, InsertBeforeAndAfter)
{
    CStringList list;
    POSITION middle = list.AddTail("m");
    list.InsertBefore(middle, "l");
    list.InsertAfter(middle, "n");
    list.InsertBefore(nullptr, "head");
    list.InsertAfter(nullptr, "tail");
    EXPECT_EQ(forward(list), (Strings{"head", "l", "m", "n", "tail"}));
    EXPECT_EQ(backward(list), (Strings{"tail", "n", "m", "l", "head"}));
}

TEST(StringList, RemoveHeadAndTailAnswerTheString)
{
    CStringList list;
    list.AddTail("a");
    list.AddTail("b");
    list.AddTail("c");
    EXPECT_EQ(bytes(list.RemoveHead()), "a");
    EXPECT_EQ(bytes(list.RemoveTail()), "c");
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(bytes(list.GetHead()), "b");
    EXPECT_EQ(bytes(list.GetTail()), "b");
    EXPECT_EQ(bytes(list.RemoveTail()), "b");
    EXPECT_TRUE(list.IsEmpty());
}

TEST(StringList, FindSearchesFromAfterTheStart)
{
    CStringList list;
    POSITION first = list.AddTail("x");
    list.AddTail("y");
    POSITION second = list.AddTail("x");
    EXPECT_EQ(list.Find("x"), first);
    EXPECT_EQ(list.Find("x", first), second);
    EXPECT_EQ(list.Find("x", second), nullptr);
    EXPECT_EQ(list.Find("z"), nullptr);
    EXPECT_EQ(list.Find(nullptr), nullptr);
}

TEST(StringList, RemoveAllEmptiesAndTheListIsReusable)
{
    CStringList list;
    for (int i = 0; i < 100; ++i)
        list.AddTail(std::to_string(i).c_str());
    EXPECT_EQ(list.GetCount(), 100);
    EXPECT_EQ(bytes(list.GetAt(list.FindIndex(57))), "57");
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("again");
    EXPECT_EQ(forward(list), (Strings{"again"}));
}

TEST(StringList, AddTailOfAListAppendsCopies)
{
    CStringList a, b;
    a.AddTail("1");
    a.AddTail("2");
    b.AddTail("0");
    EXPECT_EQ(b.AddTail(a), 2);
    EXPECT_EQ(forward(b), (Strings{"0", "1", "2"}));
    EXPECT_EQ(a.AddTail(a), 2);  // onto itself: copied once
    EXPECT_EQ(forward(a), (Strings{"1", "2", "1", "2"}));
}

TEST(StringList, ReadingWithANullPositionIsHarmless)
{
    CStringList list;
    list.AddTail("only");
    POSITION pos = nullptr;
    EXPECT_EQ(bytes(list.GetNext(pos)), "");
    EXPECT_EQ(pos, nullptr);
    EXPECT_EQ(bytes(list.GetPrev(pos)), "");
    EXPECT_EQ(bytes(list.GetAt(nullptr)), "");
}

}  // namespace

// CZEL_Handle: an owned global memory handle, and how assignment shares it.
// The sanitizer build reports any block freed twice or read after its free.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "classlib/class_library.h"

namespace {

HGLOBAL raw(CZEL_Handle& handle) { return static_cast<HGLOBAL>(handle); }

std::string text(CZEL_Handle& handle)
{
    const CString value = static_cast<CString>(handle);
    return std::string(value.GetString(), static_cast<size_t>(value.GetLength()));
}

TEST(CzelHandle, DefaultIsEmpty)
{
    CZEL_Handle handle;
    EXPECT_EQ(raw(handle), nullptr);
    EXPECT_EQ(handle.GetData(), nullptr);
    EXPECT_EQ(handle.GetDataLength(), 0u);
    EXPECT_EQ(text(handle), "");
}

TEST(CzelHandle, FromTextHoldsTheTextAndItsTerminator)
{
    CZEL_Handle handle("sysDescr");
    ASSERT_NE(raw(handle), nullptr);
    EXPECT_EQ(handle.GetDataLength(), 9u);
    EXPECT_EQ(std::memcmp(handle.GetData(), "sysDescr", 9), 0);
    EXPECT_EQ(text(handle), "sysDescr");
    EXPECT_EQ(GlobalSize(raw(handle)), 9u);
}

TEST(CzelHandle, FromNullTextIsEmpty)
{
    CZEL_Handle handle(static_cast<const char*>(nullptr));
    EXPECT_EQ(raw(handle), nullptr);
}

TEST(CzelHandle, FromBlockHoldsExactlyTheBytes)
{
    const unsigned char block[] = {0x30, 0x00, 0x02, 0xFF, 0x00};
    CZEL_Handle handle(block, sizeof block);
    ASSERT_NE(raw(handle), nullptr);
    EXPECT_EQ(handle.GetDataLength(), 5u);
    EXPECT_EQ(std::memcmp(handle.GetData(), block, sizeof block), 0);
    // As text it stops at the first zero byte.
    EXPECT_EQ(text(handle), "0");
    CZEL_Handle empty(block, 0);
    EXPECT_EQ(empty.GetDataLength(), 0u);
}

TEST(CzelHandle, CopyConstructionMakesADistinctBlockWithTheSameContent)
{
    CZEL_Handle original("community");
    CZEL_Handle copy(original);
    ASSERT_NE(raw(copy), nullptr);
    EXPECT_NE(raw(copy), raw(original));
    EXPECT_EQ(text(copy), "community");
    EXPECT_EQ(copy.GetDataLength(), original.GetDataLength());
    // Changing one leaves the other alone.
    static_cast<char*>(copy.GetData())[0] = 'C';
    EXPECT_EQ(text(copy), "Community");
    EXPECT_EQ(text(original), "community");
    CZEL_Handle nothing;
    CZEL_Handle copyOfNothing(nothing);
    EXPECT_EQ(raw(copyOfNothing), nullptr);
}

TEST(CzelHandle, AttachTakesAHandleOnlyWhenEmpty)
{
    CZEL_Handle handle;
    HGLOBAL first = MakeHandle("first");
    EXPECT_EQ(handle.Attach(first), 1);
    EXPECT_EQ(raw(handle), first);
    EXPECT_EQ(text(handle), "first");

    HGLOBAL second = MakeHandle("second");
    EXPECT_EQ(handle.Attach(second), 0);
    EXPECT_EQ(raw(handle), first);  // the old handle stays
    EXPECT_EQ(text(handle), "first");
    GlobalFree(second);  // refused, so still the caller's
}

TEST(CzelHandle, AttachOnAHandleMadeByTheObjectIsRefusedToo)
{
    CZEL_Handle handle("own");
    HGLOBAL before = raw(handle);
    HGLOBAL other = MakeHandle("other");
    EXPECT_EQ(handle.Attach(other), 0);
    EXPECT_EQ(raw(handle), before);
    GlobalFree(other);
}

TEST(CzelHandle, DetachHandsTheHandleOverAndEmptiesTheObject)
{
    HGLOBAL detached = nullptr;
    {
        CZEL_Handle handle("keep me");
        HGLOBAL held = raw(handle);
        detached = handle.Detach();
        EXPECT_EQ(detached, held);
        EXPECT_EQ(raw(handle), nullptr);
        EXPECT_EQ(handle.Detach(), nullptr);
        // Empty again, so it may attach.
        EXPECT_EQ(handle.Attach(MakeHandle("new")), 1);
    }
    // The destructor did not free the detached block: it is still readable.
    EXPECT_EQ(std::string(static_cast<const char*>(GetHandleData(detached))), "keep me");
    GlobalFree(detached);
}

TEST(CzelHandle, AssignmentCopiesTheHandleWord)
{
    CZEL_Handle source("shared");
    CZEL_Handle target("replaced");
    target = source;
    EXPECT_EQ(raw(target), raw(source));
    EXPECT_EQ(text(target), "shared");
    // Both see a change through either: it is one block.
    static_cast<char*>(target.GetData())[0] = 'S';
    EXPECT_EQ(text(source), "Shared");
    // Both go out of scope here: the block is freed once (ASan would report twice).
}

TEST(CzelHandle, AssignedFromATemporaryTheHandleOutlivesIt)
{
    CZEL_Handle handle;
    handle = CZEL_Handle("from a temporary");
    ASSERT_NE(raw(handle), nullptr);
    EXPECT_EQ(text(handle), "from a temporary");
    EXPECT_EQ(handle.GetDataLength(), 17u);
}

TEST(CzelHandle, SourceDestroyedFirstLeavesTheTargetGood)
{
    CZEL_Handle target;
    {
        CZEL_Handle source("outlives its source");
        target = source;
    }
    EXPECT_EQ(text(target), "outlives its source");
}

TEST(CzelHandle, ChainsOfAssignmentShareOneBlock)
{
    CZEL_Handle a("chain");
    CZEL_Handle b, c, d;
    b = a;
    c = b;
    d = a;
    EXPECT_EQ(raw(c), raw(a));
    EXPECT_EQ(raw(d), raw(a));
    // Reassigning one holder lets go of its share only.
    CZEL_Handle other("other");
    b = other;
    EXPECT_EQ(text(b), "other");
    EXPECT_EQ(text(a), "chain");
    EXPECT_EQ(text(c), "chain");
    // Emptying by assignment from an empty object.
    CZEL_Handle empty;
    c = empty;
    EXPECT_EQ(raw(c), nullptr);
    EXPECT_EQ(text(d), "chain");
}

TEST(CzelHandle, SelfAssignmentKeepsTheHandle)
{
    CZEL_Handle handle("self");
    HGLOBAL before = raw(handle);
    CZEL_Handle& same = handle;
    handle = same;
    EXPECT_EQ(raw(handle), before);
    EXPECT_EQ(text(handle), "self");
    CZEL_Handle alias;
    alias = handle;
    alias = handle;  // already the same block
    handle = alias;
    EXPECT_EQ(text(handle), "self");
}

TEST(CzelHandle, AssignmentReleasesTheBlockTheTargetOwned)
{
    // The target's own block goes when it is replaced; LeakSanitizer would
    // report it otherwise, and the block stays readable through the source.
    CZEL_Handle target("old block");
    CZEL_Handle source("new block");
    target = source;
    EXPECT_EQ(text(target), "new block");
}

TEST(CzelHandle, DetachFromASharedHandleLeavesItToTheCaller)
{
    HGLOBAL detached = nullptr;
    {
        CZEL_Handle a("handed over");
        CZEL_Handle b;
        b = a;
        detached = b.Detach();
        EXPECT_EQ(detached, raw(a));
        EXPECT_EQ(raw(b), nullptr);
        // a keeps the word but no longer frees the block.
        EXPECT_EQ(text(a), "handed over");
    }
    EXPECT_EQ(std::string(static_cast<const char*>(GetHandleData(detached))), "handed over");
    GlobalFree(detached);
}

TEST(CzelHandle, AttachAfterDetachOfASharedHandleStartsAfresh)
{
    CZEL_Handle a("first");
    CZEL_Handle b;
    b = a;
    HGLOBAL first = a.Detach();
    EXPECT_EQ(a.Attach(MakeHandle("second")), 1);
    EXPECT_EQ(text(a), "second");
    EXPECT_EQ(text(b), "first");
    b = CZEL_Handle();  // b lets go without freeing the handed-over block
    GlobalFree(first);
}

TEST(CzelHandle, CopyConstructionFromASharedHandleOwnsItsOwnBlock)
{
    CZEL_Handle copy;
    {
        CZEL_Handle a("deep");
        CZEL_Handle b;
        b = a;
        CZEL_Handle fresh(b);
        EXPECT_NE(raw(fresh), raw(b));
        copy = fresh;
    }
    EXPECT_EQ(text(copy), "deep");
}

}  // namespace

// Window messages and global memory handles.
#include <gtest/gtest.h>

#include <cstring>

#include "host/vantor_host.h"
#include "platform/global_memory.h"
#include "platform/window_messages.h"
#include "tests/support/test_window.h"

namespace {

LRESULT echoProcedure(void* calls, UINT message, WPARAM wParam, LPARAM lParam)
{
    *static_cast<int*>(calls) += 1;
    return static_cast<LRESULT>(message) + static_cast<LRESULT>(wParam) + lParam;
}

TEST(WindowMessages, SynchronousDelivery)
{
    int calls = 0;
    TestWindow window(&echoProcedure, &calls);
    EXPECT_EQ(SendMessageA(window.handle(), 1100, 20, 3), 1123);
    EXPECT_EQ(calls, 1);
}

TEST(WindowMessages, PointerSizedAnswers)
{
    static int target;
    TestWindow window([](void*, UINT, WPARAM, LPARAM) -> LRESULT { return reinterpret_cast<LRESULT>(&target); },
                      nullptr);
    EXPECT_EQ(reinterpret_cast<int*>(SendMessageA(window.handle(), 1124, 32, 0)), &target);
}

TEST(WindowMessages, NoWindowAnswersZero)
{
    EXPECT_EQ(SendMessageA(nullptr, 1127, 1, 1), 0);
#ifndef _WIN32  // a window without a procedure is the stand-in's only
    WindowRecord noProcedure{nullptr, nullptr};
    EXPECT_EQ(SendMessageA(&noProcedure, 1127, 1, 1), 0);
#endif
}

TEST(GlobalMemory, AllocLockSizeFree)
{
    HGLOBAL handle = GlobalAlloc(GHND, 10);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GlobalSize(handle), 10u);
    unsigned char* data = static_cast<unsigned char*>(GlobalLock(handle));
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(data[i], 0) << "zero-filled";
    std::memset(data, 0xAB, 10);
    EXPECT_EQ(GlobalLock(handle), data);
    EXPECT_TRUE(GlobalUnlock(handle));   // still locked once
    EXPECT_FALSE(GlobalUnlock(handle));  // count back at zero
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(GlobalMemory, NullHandles)
{
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_EQ(GlobalSize(nullptr), 0u);
    EXPECT_FALSE(GlobalUnlock(nullptr));
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    HGLOBAL empty = GlobalAlloc(GHND, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    GlobalFree(empty);
    EXPECT_EQ(GlobalAlloc(GHND, static_cast<SIZE_T>(-1)), nullptr);
}

TEST(HostHandles, TextHandlesRoundTrip)
{
    HGLOBAL handle = MakeHandle("Couldn't open snmp");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GlobalSize(handle), 19u);  // the terminator travels with the text
    EXPECT_STREQ(GetHandleStr(handle), "Couldn't open snmp");
    EXPECT_STREQ(static_cast<const char*>(GetHandleData(handle)), "Couldn't open snmp");

    HGLOBAL copy = CopyHandle(handle);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, handle);
    GlobalFree(handle);
    EXPECT_STREQ(GetHandleStr(copy), "Couldn't open snmp");
    GlobalFree(copy);

    EXPECT_EQ(MakeHandle(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(CopyHandle(nullptr), nullptr);
    EXPECT_TRUE(GetHandleStr(nullptr).IsEmpty());
    EXPECT_EQ(GetHandleData(nullptr), nullptr);
}

TEST(HostHandles, BlockWithoutTerminatorStopsAtItsSize)
{
    HGLOBAL handle = MakeHandle("abcdef", 3);
    EXPECT_EQ(GlobalSize(handle), 3u);
    EXPECT_EQ(GetHandleStr(handle).GetLength(), 3);
    GlobalFree(handle);
}

TEST(HostBinData, HeaderThenBytes)
{
    BinData* data = MakeBinData("\x01\x00\x02", 3, 8);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(sizeof(BinData), 13u);
    EXPECT_EQ(+data->m_state, 1);
    EXPECT_EQ(DWORD(data->m_length), 3u);
    EXPECT_EQ(DWORD(data->m_maxLen), 8u);
    const unsigned char* bytes = static_cast<const unsigned char*>(data->GetData());
    EXPECT_EQ(bytes, reinterpret_cast<unsigned char*>(data) + 13);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 2);
    FreeBinData(data);
}

}  // namespace

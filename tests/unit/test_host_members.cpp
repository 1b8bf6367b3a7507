// BinData's members and the host controls' readers that the module exports.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <type_traits>

#include "classlib/class_library.h"

namespace {

struct FreeBin {
    void operator()(BinData* data) const { FreeBinData(data); }
};
using BinPtr = std::unique_ptr<BinData, FreeBin>;

TEST(BinDataMembers, ReadTheHeader)
{
    const char bytes[] = "\x01\x02\x03";
    BinPtr data(MakeBinData(bytes, 3, 16));
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->IsEmpty());
    EXPECT_EQ(data->GetLength(), 3u);
    EXPECT_EQ(data->GetMaxLen(), 16);
    EXPECT_EQ(std::memcmp(data->GetData(), bytes, 3), 0);
    data->m_state = 0;
    EXPECT_TRUE(data->IsEmpty());
    data->m_state = 0x80;
    EXPECT_FALSE(data->IsEmpty());
}

TEST(BinDataMembers, SetMaxLenRecordsOnlyNonNegativeValues)
{
    BinPtr data(MakeBinData(nullptr, 0, 8));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetLength(), 0u);
    data->SetMaxLen(4);
    EXPECT_EQ(data->GetMaxLen(), 4);
    EXPECT_EQ(DWORD{data->m_maxLen}, 4u);  // a copy: the packed member is not aligned
    data->SetMaxLen(-1);
    EXPECT_EQ(data->GetMaxLen(), 4);
    data->SetMaxLen(0);
    EXPECT_EQ(data->GetMaxLen(), 0);
    data->SetMaxLen(INT_MAX);
    EXPECT_EQ(data->GetMaxLen(), INT_MAX);
    // A larger value recorded by the host reads as the largest int.
    data->m_maxLen = 0x90000000u;
    EXPECT_EQ(data->GetMaxLen(), INT_MAX);
    data->m_maxLen = 8;
    // The host's own word and the length are untouched.
    EXPECT_EQ(DWORD{data->m_hostWord}, 0u);
    EXPECT_EQ(data->GetLength(), 0u);
}

TEST(HostControls, ColorStaticReadsItsStoredColoursAndMode)
{
    CColorStatic control;
    EXPECT_EQ(control.GetTextColor(), 0x000000u);
    EXPECT_EQ(control.GetBkColor(), 0xFFFFFFu);
    EXPECT_EQ(control.GetBkMode(), 2u);
    control.m_textColor = 0x0000FF;  // red as 0x00BBGGRR
    control.m_bkColor = 0x00FF00;
    control.m_bkMode = 1;
    EXPECT_EQ(control.GetTextColor(), 0x0000FFu);
    EXPECT_EQ(control.GetBkColor(), 0x00FF00u);
    EXPECT_EQ(control.GetBkMode(), 1u);
}

TEST(HostControls, ServerSocketReadsItsClientCount)
{
    CZEL_ServerSocket server;
    EXPECT_EQ(server.GetClientCount(), 0);
    server.m_clientCount = 7;
    EXPECT_EQ(server.GetClientCount(), 7);
}

TEST(HostControls, IniFileAnswersACopyOfItsFileName)
{
    CZEL_IniFile file;
    EXPECT_TRUE(file.GetFileName().IsEmpty());
    file.m_fileName = "C:\\vantor\\snmp.ini";
    CString name = file.GetFileName();
    EXPECT_EQ(name, "C:\\vantor\\snmp.ini");
    name += ".bak";  // the copy is the caller's
    EXPECT_EQ(file.m_fileName, "C:\\vantor\\snmp.ini");
    EXPECT_EQ(file.GetFileName(), "C:\\vantor\\snmp.ini");
}

class GreetingSocket : public CZEL_UserSocket {
public:
    void ShowWelcome() override { ++greetings; }
    int greetings = 0;
};

TEST(HostControls, UserSocketWelcomeIsVirtualAndDoesNothingInTheBase)
{
    static_assert(std::is_polymorphic<CZEL_UserSocket>::value, "ShowWelcome is virtual");
    CZEL_UserSocket base;
    base.ShowWelcome();  // greets nobody; must simply return

    GreetingSocket derived;
    CZEL_UserSocket& asBase = derived;
    asBase.ShowWelcome();
    asBase.ShowWelcome();
    EXPECT_EQ(derived.greetings, 2);
}

}  // namespace

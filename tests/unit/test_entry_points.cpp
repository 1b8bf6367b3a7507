// The module's boundary: entry points, tables and the messages to the host window.
#include <gtest/gtest.h>


#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "hostapi/host_value.h"
#include "module/entry_points.h"
#include "script/dispatcher.h"
#include "snmp/transport/engine_records.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/socket_state.h"

namespace {

// Each test starts and ends with a module that has seen no host.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override { hostServices() = HostServices(); }
    void TearDown() override { hostServices() = HostServices(); }
};

TEST(ModuleInfoRecord, Members)
{
    const ModuleInfo* info = VTR_GetModuleInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->format, 2u);
    EXPECT_STREQ(info->name, "SNMP");
    EXPECT_STREQ(info->version, "1.01");
    EXPECT_EQ(info->language, 0x0409u);
    EXPECT_STREQ(info->description, "SNMP support");
    ASSERT_NE(info->author, nullptr);
    EXPECT_GT(std::strlen(info->author), 0u);
    ASSERT_NE(info->code, nullptr);
    EXPECT_EQ(std::strlen(info->code), 5u);
    EXPECT_EQ(info->reserved, 0u);
}

TEST(DefineTable, AllConstantsInOrder)
{
    const std::vector<std::pair<std::string, int32_t>> expected = {
        {"SNMP_TRAP_COLDSTART", 0}, {"SNMP_TRAP_WARMSTART", 1}, {"SNMP_TRAP_LINKDOWN", 2},
        {"SNMP_TRAP_LINKUP", 3}, {"SNMP_TRAP_AUTHFAIL", 4}, {"SNMP_TRAP_EGPNEIGHBORLOSS", 5},
        {"SNMP_TRAP_ENTERPRISESPECIFIC", 6}, {"ASN_BOOLEAN", 1}, {"ASN_INTEGER", 2}, {"ASN_INTEGER32", 2},
        {"ASN_BIT_STR", 3}, {"ASN_OCTETSTRING", 4}, {"ASN_OCTET_STR", 4}, {"ASN_NULL", 5},
        {"ASN_OBJECTIDENTIFIER", 6}, {"ASN_OBJECT_ID", 6}, {"ASN_IPADDRESS", 64}, {"ASN_COUNTER", 65},
        {"ASN_COUNTER32", 65}, {"ASN_GAUGE", 66}, {"ASN_GAUGE32", 66}, {"ASN_TIMETICKS", 67},
        {"ASN_OPAQUE", 68}, {"ASN_NSAP", 69}, {"ASN_COUNTER64", 70}, {"ASN_UINTEGER", 71},
        {"ASN_UNSIGNED32", 71}, {"ASN_SEQUENCE", 48}, {"ASN_SEQUENCEOF", 48}, {"ASN_UNIVERSAL", 0},
        {"ASN_APPLICATION", 64}, {"ASN_CONTEXT", 128}, {"ASN_PRIVATE", 192}, {"ASN_PRIMITIVE", 0},
        {"ASN_CONSTRUCTOR", 32}, {"SNMP_ERR_NOERROR", 0}, {"SNMP_ERR_TOOBIG", 1}, {"SNMP_ERR_NOSUCHNAME", 2},
        {"SNMP_ERR_BADVALUE", 3}, {"SNMP_ERR_READONLY", 4}, {"SNMP_ERR_GENERR", 5}, {"SNMP_ERR_NOACCESS", 6},
        {"SNMP_ERR_WRONGTYPE", 7}, {"SNMP_ERR_WRONGLENGTH", 8}, {"SNMP_ERR_WRONGENCODING", 9},
        {"SNMP_ERR_WRONGVALUE", 10}, {"SNMP_ERR_NOCREATION", 11}, {"SNMP_ERR_INCONSISTENTVALUE", 12},
        {"SNMP_ERR_RESOURCEUNAVAILABLE", 13}, {"SNMP_ERR_COMMITFAILED", 14}, {"SNMP_ERR_UNDOFAILED", 15},
        {"SNMP_ERR_AUTHORIZATIONERROR", 16}, {"SNMP_ERR_NOTWRITABLE", 17}, {"SNMP_ERR_INCONSISTENTNAME", 18},
    };
    const DefineEntry* row = VTR_GetDefineTable();
    size_t i = 0;
    for (; row[i].name != nullptr; ++i) {
        ASSERT_LT(i, expected.size()) << "extra row " << row[i].name;
        EXPECT_EQ(row[i].name, expected[i].first) << "row " << i;
        EXPECT_EQ(row[i].value, expected[i].second) << row[i].name;
    }
    EXPECT_EQ(i, 54u);
}

TEST(FunctionTable, RowsInOrderOnOneHandler)
{
    const std::vector<std::pair<std::string, int32_t>> expected = {
        {"snmpget", 0}, {"snmpgetnext", 3}, {"snmpobjid", 4}, {"snmpset", 2},
        {"snmpGetLastError", 9}, {"oidGetValue", 5}, {"oidSetValue", 6}, {"oidLength", 7},
        {"snmpgetEx", 10}, {"snmpsetEx", 12}, {"snmptrapEx", 13},
        {"snmpaddvar", 14}, {"snmpclearvars", 15}, {"snmpgetvars", 16}, {"snmpgetvarsEx", 17},
        {"snmpsetvars", 18}, {"snmpsetvarsEx", 19}, {"snmpvar", 20}, {"snmpreadahead", 21},
        {"snmpnotifyEx", 22}, {"snmpinformEx", 23}, {"snmpengineidEx", 24},
    };
    const FunEntry* row = VTR_GetFunTable();
    size_t i = 0;
    for (; row[i].name != nullptr; ++i) {
        ASSERT_LT(i, expected.size());
        EXPECT_EQ(row[i].name, expected[i].first);
        EXPECT_EQ(row[i].id, expected[i].second);
        EXPECT_EQ(row[i].handler, &ScriptDispatcher);
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_EQ(row[i].handler, nullptr);
    EXPECT_EQ(row[i].id, 0);
}

TEST_F(HostFixture, EntryPointsFixedAnswers)
{
    EXPECT_EQ(VTR_Initialize(), 1);
    EXPECT_EQ(VTR_ExitModule(), 0);
}

// The socket a call leaves for the next one goes with the module's exit.
TEST_F(HostFixture, ExitClosesTheKeptSocket)
{
    LoopbackPeer peer;
    SnmpSession settings{};
    settings.peerName = "127.0.0.1";
    settings.remotePort = peer.port();
    SnmpSession* session = openSession(&settings);
    ASSERT_NE(session, nullptr);
    closeSession(session);
    ASSERT_TRUE(libraryState().kept[0].held);
    const SOCKET kept = libraryState().kept[0].socket;
    EXPECT_EQ(VTR_ExitModule(), 0);
    EXPECT_FALSE(libraryState().kept[0].held);
    EXPECT_FALSE(socketOpen(kept));
}

TEST_F(HostFixture, EntryPointsNullContextChangesNothing)
{
    EXPECT_EQ(VTR_InitModule(nullptr), 1);
    EXPECT_EQ(hostServices().context, nullptr);

    FakeHost host;
    EXPECT_EQ(VTR_InitModule(&host.context), 1);
    EXPECT_EQ(VTR_InitModule(nullptr), 1);
    EXPECT_EQ(hostServices().context, &host.context);
}

int32_t fakeLookup(const uint32_t* extra) { return *extra == 5 ? 0 : -1; }
BinData* fakeAccessTarget = nullptr;
BinData* fakeAccess(intptr_t index) { return index == 0 ? fakeAccessTarget : nullptr; }

TEST_F(HostFixture, EntryPointsInitAsksForBothServices)
{
    FakeHost host;
    host.lookupAnswer = reinterpret_cast<LRESULT>(&fakeLookup);
    host.accessAnswer = reinterpret_cast<LRESULT>(&fakeAccess);
    ASSERT_EQ(VTR_InitModule(&host.context), 1);
    EXPECT_EQ(host.servicesAsked, 2);
    EXPECT_EQ(hostServices().binLookup, &fakeLookup);
    EXPECT_EQ(hostServices().binAccess, &fakeAccess);

    BinData* data = MakeBinData("ab", 2, 2);
    fakeAccessTarget = data;
    HostValue known = stringArg("BIN");
    known.extra = 5;
    HostValue unknown = stringArg("BIN");
    unknown.extra = 6;
    EXPECT_EQ(lookupBinaryVariable(known), data);
    EXPECT_EQ(lookupBinaryVariable(unknown), nullptr);
    FreeBinData(data);
    fakeAccessTarget = nullptr;
}

TEST_F(HostFixture, EntryPointsServiceAnsweredZeroCountsAsUnavailable)
{
    FakeHost host;
    host.lookupAnswer = 0;
    host.accessAnswer = reinterpret_cast<LRESULT>(&fakeAccess);
    VTR_InitModule(&host.context);
    HostValue value = stringArg("BIN");
    value.extra = 5;
    EXPECT_EQ(lookupBinaryVariable(value), nullptr);
}

TEST_F(HostFixture, HostMessagesNothingIsSentBeforeAContext)
{
    EXPECT_EQ(sendHostMessage(HostMsgNotice, 0, 0), 0);
    // Nothing can be delivered, so no handle is made (LeakSanitizer would see one).
    reportNotice("lost", 1);
    reportError("lost", "detail");
    reportInvalidValue("lost");
    HostValue value = stringArg("BIN");
    EXPECT_EQ(lookupBinaryVariable(value), nullptr);
}

TEST_F(HostFixture, HostMessagesNullWindowSendsNothing)
{
    HostContext context{};
    VTR_InitModule(&context);
    EXPECT_EQ(hostServices().context, &context);
    EXPECT_EQ(sendHostMessage(HostMsgNotice, 0, 0), 0);
    reportInvalidValue("lost");
}

TEST_F(HostFixture, HostMessagesReportsCarryTextHandles)
{
    FakeHost host;
    VTR_InitModule(&host.context);
    reportNotice("Couldn't get variable (1.3)", 1);
    reportError("Couldn't open snmp", nullptr);
    reportError("first", "second");
    reportInvalidValue("1.3.x");

    ASSERT_EQ(host.delivered.size(), 4u);
    EXPECT_EQ(host.delivered[0].message, 1127u);
    EXPECT_EQ(host.delivered[0].text, "Couldn't get variable (1.3)");
    EXPECT_EQ(host.delivered[0].lParam, 1);
    EXPECT_EQ(host.delivered[1].message, 1128u);
    EXPECT_EQ(host.delivered[1].text, "Couldn't open snmp");
    EXPECT_FALSE(host.delivered[1].hasDetail);
    EXPECT_EQ(host.delivered[2].message, 1128u);
    EXPECT_TRUE(host.delivered[2].hasDetail);
    EXPECT_EQ(host.delivered[2].detail, "second");
    EXPECT_EQ(host.delivered[3].message, 1129u);
    EXPECT_EQ(host.delivered[3].text, "1.3.x");
    EXPECT_EQ(host.delivered[3].lParam, 0);
}

TEST_F(HostFixture, HostMessagesAnswerComesBackFromTheWindow)
{
    FakeHost host;
    VTR_InitModule(&host.context);
    HGLOBAL handle = MakeHandle("x");
    EXPECT_EQ(sendHostMessage(HostMsgInvalidValue, reinterpret_cast<WPARAM>(handle), 0), 77);
}

TEST(HostValueRecord, PackedLayout)
{
    EXPECT_EQ(sizeof(HostValue), 24u);
    EXPECT_EQ(offsetof(HostValue, type), 0u);
    EXPECT_EQ(offsetof(HostValue, number), 4u);
    EXPECT_EQ(offsetof(HostValue, text), 12u);
    EXPECT_EQ(offsetof(HostValue, extra), 20u);
    EXPECT_EQ(offsetof(HostContext, window), 16u);
}

}  // namespace

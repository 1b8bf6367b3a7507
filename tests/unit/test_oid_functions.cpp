// The OID script functions through the dispatcher, as the host calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "script/dispatcher.h"
#include "script/module_state.h"
#include "tests/support/host_values.h"

namespace {

HostValue call(ScriptId id, std::vector<HostValue> args)
{
    std::vector<HostValue> list = argList(std::move(args));
    return ScriptDispatcher(list.data(), id);
}

std::string oidWithCount(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? ".": "") + std::to_string(i % 40);
    return text;
}

void expectNumber(const HostValue& result, double number, const std::string& what)
{
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber)) << what;
    EXPECT_EQ(double(result.number), number) << what;
    EXPECT_EQ(result.text.GetLength(), 0) << what;
}

void expectString(const HostValue& result, const std::string& text, const std::string& what)
{
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeString)) << what;
    EXPECT_EQ(double(result.number), 0.0) << what;
    EXPECT_EQ(textOf(result), text) << what;
}

void expectEmpty(const HostValue& result, const std::string& what)
{
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeEmpty)) << what;
    EXPECT_EQ(double(result.number), 0.0) << what;
    EXPECT_EQ(result.text.GetLength(), 0) << what;
}

struct LengthCase {
    std::string text;
    double expected;
};

// Each test starts from the state of a freshly loaded module.
class ScriptFixture : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        scriptState() = ScriptState();
        CurrentPeer.Empty();
        CurrentCommunity.Empty();
    }
};

TEST(OidLength, Table)
{
    const LengthCase cases[] = {
        {"system", 7}, {"SYSTEM.1.0", 9}, {"ifentry.2", 10}, {"internet", 4},  {"", 0},
        {"1.3.", 2},   {".1.3", -1},      {"1..3", -1},      {"1.3.x", -1},    {"systemx", -1},
        {"1.3.system", -1}, {oidWithCount(256), 256},        {oidWithCount(257), -1},
    };
    for (const LengthCase& c : cases)
        expectNumber(call(ScriptIdOidLength, {stringArg(c.text)}), c.expected, "oidLength " + c.text);
}

struct GetValueCase {
    std::string text;
    double index;
    double expected;
};

TEST(OidGetValue, Table)
{
    const GetValueCase cases[] = {
        {"1.3.6.1", 3, 1},        {"1.3.6.1", 3.9, 1},           {"1.3.6.1", 4, -1},
        {"1.3.6.1", -0.5, -1},    {"enterprises.9", 6, 9},       {"1.4294967295", 1, 4294967295.0},
        {"1.4294967296", 1, 0},   {"1.3.x", 0, -1},              {"", 0, -1},
        {"1.3.6.1", 1e300, -1},   {"1.3.6.1", -1e300, -1},
    };
    for (const GetValueCase& c : cases)
        expectNumber(call(ScriptIdOidGetValue, {stringArg(c.text), numberArg(c.index)}), c.expected,
                     "oidGetValue " + c.text + " " + std::to_string(c.index));
}

TEST(OidGetValue, NotANumberIndexIsOutOfRange)
{
    expectNumber(call(ScriptIdOidGetValue, {stringArg("1.3"), numberArg(std::nan(""))}), -1, "NaN index");
}

struct SetValueCase {
    std::string text;
    double index;
    double value;
    std::string expected;
};

TEST(OidSetValue, Table)
{
    const SetValueCase cases[] = {
        {"1.3.6", 5, 7, "1.3.6.0.0.7"},
        {"system.1", 8, 0, "1.3.6.1.2.1.1.1.0"},
        {"1.3", 256, 1, "1.3"},
        {"1.x", 0, 1, "1.x"},
        {"1.3", 0, -1, "4294967295.3"},
        {"1.3", 1, 4294967296.0, "1.0"},
        {"1.3", 1, 4294967297.9, "1.1"},
        {"1.3", 0.99, 5, "5.3"},
        {"1.3", -0.5, 9, "1.3"},
        {"", 0, 12, "12"},
        {"1.3", 1, 1e300, "1.0"},  // beyond 64 bits: the indefinite value, low word 0
    };
    for (const SetValueCase& c : cases)
        expectString(call(ScriptIdOidSetValue, {stringArg(c.text), numberArg(c.index), numberArg(c.value)}),
                     c.expected, "oidSetValue " + c.text + " " + std::to_string(c.index));
}

TEST(OidSetValue, GrowsToTheLastPosition)
{
    std::string expected = "1.3";
    for (int i = 2; i < 255; ++i)
        expected += ".0";
    expected += ".9";
    expectString(call(ScriptIdOidSetValue, {stringArg("1.3"), numberArg(255.5), numberArg(9)}), expected,
                 "index 255.5");
}

TEST(OidSetValue, KeepsAZeroByteTextUnchanged)
{
    const std::string text("1.3\0.6", 6);
    expectString(call(ScriptIdOidSetValue, {stringArg(text), numberArg(0), numberArg(1)}), text,
                 "zero byte inside");
}

TEST_F(ScriptFixture, OidFunctionsLeaveLastOidAlone)
{
    ScriptState& state = scriptState();
    state.lastOid[0] = 9;
    state.lastOidCount = 1;
    call(ScriptIdOidSetValue, {stringArg("1.3"), numberArg(4), numberArg(4)});
    call(ScriptIdOidGetValue, {stringArg("1.3.6"), numberArg(0)});
    call(ScriptIdOidLength, {stringArg("1.3.6")});
    EXPECT_EQ(state.lastOidCount, 1);
    expectString(call(ScriptIdObjId, {}), "9", "snmpobjid");
}

TEST_F(ScriptFixture, StateFunctionsStartEmptyAndZero)
{
    expectString(call(ScriptIdObjId, {}), "", "snmpobjid before any request");
    expectNumber(call(ScriptIdGetLastError, {}), 0, "snmpGetLastError before any response");
}

TEST_F(ScriptFixture, StateFunctionsReadTheModuleState)
{
    ScriptState& state = scriptState();
    const uint32_t oid[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    std::copy(std::begin(oid), std::end(oid), state.lastOid);
    state.lastOidCount = 9;
    state.lastErrorStatus = 0xFFFFFFFFu;
    expectString(call(ScriptIdObjId, {stringArg("ignored")}), "1.3.6.1.2.1.1.5.0", "snmpobjid");
    expectNumber(call(ScriptIdGetLastError, {}), 4294967295.0, "unsigned error status");
}

// The text follows LastOid however it was written: in place, one word or the count at a time.
TEST_F(ScriptFixture, ObjIdFollowsEveryChangeOfLastOid)
{
    const struct {
        std::vector<uint32_t> oid;
        const char* text;
    } steps[] = {
        {{1, 3, 6, 1}, "1.3.6.1"}, {{1, 3, 6, 1}, "1.3.6.1"},   {{1, 3, 6, 2}, "1.3.6.2"},
        {{1, 3, 6}, "1.3.6"},      {{}, ""},                    {{1, 3, 6}, "1.3.6"},
        {{4294967295u, 100, 99, 10, 9, 0}, "4294967295.100.99.10.9.0"},
    };
    ScriptState& state = scriptState();
    for (const auto& step : steps) {
        std::copy(step.oid.begin(), step.oid.end(), state.lastOid);
        state.lastOidCount = static_cast<int32_t>(step.oid.size());
        expectString(call(ScriptIdObjId, {}), step.text, step.text);
    }
}

// Arguments of the wrong type leave the result empty, never -1.
TEST(ArgumentTypes, WrongTypesGiveTheEmptyResult)
{
    expectEmpty(call(ScriptIdOidLength, {numberArg(5)}), "oidLength of a number");
    expectEmpty(call(ScriptIdOidLength, {}), "oidLength without argument");
    expectEmpty(call(ScriptIdOidGetValue, {stringArg("1.3")}), "oidGetValue without index");
    expectEmpty(call(ScriptIdOidGetValue, {stringArg("1.3"), stringArg("1")}), "string index");
    expectEmpty(call(ScriptIdOidSetValue, {stringArg("1.3"), numberArg(0)}), "oidSetValue without value");
    expectEmpty(call(ScriptIdOidSetValue, {numberArg(1), numberArg(0), numberArg(0)}), "numeric text");
}

// A number is any type word whose bits under 0xF000 are 0x1000; a string is exactly 0x2000.
TEST(ArgumentTypes, AsymmetricTests)
{
    for (uint32_t type : {0x1000u, 0x1001u, 0x1FFFu, 0x1800u, 0x11000u})
        expectNumber(call(ScriptIdOidGetValue, {stringArg("1.3"), numberArg(1, type)}), 3,
                     "number type " + std::to_string(type));
    for (uint32_t type : {0x0000u, 0x0FFFu, 0x3000u, 0x9000u, 0x2000u})
        expectEmpty(call(ScriptIdOidGetValue, {stringArg("1.3"), numberArg(1, type)}),
                    "not a number type " + std::to_string(type));
    for (uint32_t type : {0x2001u, 0x2FFFu, 0x12000u, 0x1000u})
        expectEmpty(call(ScriptIdOidLength, {stringArg("1.3", type)}), "not a string type " + std::to_string(type));
    expectNumber(call(ScriptIdOidLength, {stringArg("1.3", 0x2000)}), 2, "string type");
}

TEST(Dispatcher, UnusedIdsLeaveTheResultEmpty)
{
    for (int32_t id : {1, 8, 11, 24, -1, 1000})
        expectEmpty(call(static_cast<ScriptId>(id), {stringArg("1.3"), numberArg(0), numberArg(0)}),
                    "id " + std::to_string(id));
}

TEST(Dispatcher, NullArgumentArrayIsSafe)
{
    expectEmpty(ScriptDispatcher(nullptr, ScriptIdOidLength), "null args");
}

}  // namespace

// Bindings to script results and script values to bindings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/arguments.h"
#include "script/module_state.h"
#include "script/request_functions.h"
#include "script/value_conversion.h"
#include "tests/support/fake_host.h"
#include "tests/support/host_values.h"

namespace {

const uint32_t Name[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};

// A binding built as the decoder builds it; freed with the test.
struct Binding {
    VarBind* var;
    Binding(uint8_t type, const std::vector<uint8_t>& value, bool hasValue = true)
        : var(static_cast<VarBind*>(std::calloc(1, sizeof(VarBind))))
    {
        var->name = static_cast<uint32_t*>(std::malloc(sizeof Name));
        std::memcpy(var->name, Name, sizeof Name);
        var->nameLength = 9;
        var->type = type;
        var->valueLength = static_cast<int32_t>(value.size());
        if (hasValue) {
            var->value = static_cast<uint8_t*>(std::calloc(1, value.size() + 1));
            if (!value.empty())
                std::memcpy(var->value, value.data(), value.size());
        }
    }
    ~Binding() { freeVarList(var); }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;
};

std::vector<uint8_t> word(uint32_t value)
{
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::vector<uint8_t> words(std::vector<uint32_t> values)
{
    std::vector<uint8_t> bytes(values.size() * 4);
    if (!values.empty())
        std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

class ConversionTest : public ::testing::Test {
protected:
    ScopedFakeHost host;
    void SetUp() override { scriptState() = ScriptState(); }
    void TearDown() override { scriptState() = ScriptState(); }

    static std::string lastOid()
    {
        const ScriptState& state = scriptState();
        std::string text;
        for (int i = 0; i < state.lastOidCount; ++i)
            text += (i ? "." : "") + std::to_string(state.lastOid[i]);
        return text;
    }
    static void presetLastOid()
    {
        scriptState().lastOid[0] = 7;
        scriptState().lastOidCount = 1;
    }
};

struct NumberCase {
    uint8_t type;
    std::vector<uint8_t> value;
    double expected;
};

TEST_F(ConversionTest, Numbers)
{
    const NumberCase cases[] = {
        {2, word(static_cast<uint32_t>(-5)), -5},
        {2, word(0x7FFFFFFF), 2147483647},
        {1, word(1), 1},
        {48, word(0xFFFFFFFF), -1},
        {65, word(3000000000u), 3000000000.0},
        {66, word(7), 7},
        {67, word(4294967295u), 4294967295.0},
        {71, word(0x80000000u), 2147483648.0},
        {5, {}, 0},
    };
    for (const NumberCase& c : cases) {
        Binding b(c.type, c.value, c.type != 5);
        presetLastOid();
        HostValue result;
        EXPECT_TRUE(bindingToHostValue(b.var, result, "x")) << int(c.type);
        EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber)) << int(c.type);
        EXPECT_EQ(double(result.number), c.expected) << int(c.type);
        EXPECT_EQ(lastOid(), "1.3.6.1.2.1.1.5.0") << int(c.type);
    }
    EXPECT_TRUE(host.delivered.empty());
}

struct TextCase {
    uint8_t type;
    std::vector<uint8_t> value;
    std::string expected;
};

TEST_F(ConversionTest, Texts)
{
    const TextCase cases[] = {
        {4, {'a', 'b', 'c'}, "abc"},
        {4, {0x00, 0x1A, 0xFF}, "00.1A.FF"},
        {4, {0x41, 0x00}, "41.00"},
        {4, {0x7E, 0x20}, "~ "},
        {4, {0x41, 0x7F}, "41.7F"},
        {4, {}, ""},
        {68, {'o', 'p'}, "op"},
        {69, {0x01}, "01"},
        {128, {}, ""},
        {129, {}, ""},
        {130, {}, ""},
        {200, {'?'}, "?"},
        {6, words({1, 3, 6}), "1.3.6"},
        {6, words({0}), "0"},
        {64, {192, 168, 1, 10}, "192.168.1.10"},
        {70, words({0, 4294967295u}), "0,4294967295"},
        {70, words({1, 5}), "1,5"},
    };
    for (const TextCase& c : cases) {
        Binding b(c.type, c.value, c.type < 128 || !c.value.empty());
        presetLastOid();
        HostValue result;
        EXPECT_TRUE(bindingToHostValue(b.var, result, "x")) << int(c.type);
        EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeString)) << int(c.type);
        EXPECT_EQ(textOf(result), c.expected) << int(c.type);
        EXPECT_EQ(lastOid(), "1.3.6.1.2.1.1.5.0");
    }
    EXPECT_TRUE(host.delivered.empty());
}

TEST_F(ConversionTest, MissingBinding)
{
    presetLastOid();
    HostValue result;
    EXPECT_FALSE(bindingToHostValue(nullptr, result, "system.5.0"));
    EXPECT_EQ(result.type, static_cast<uint32_t>(HostTypeNumber));
    EXPECT_EQ(double(result.number), 0.0);
    EXPECT_EQ(lastOid(), "");
    ASSERT_EQ(host.delivered.size(), 1u);
    EXPECT_EQ(host.delivered[0].message, 1127u);
    EXPECT_EQ(host.delivered[0].text, "Couldn't get variable (system.5.0)");
    EXPECT_EQ(host.delivered[0].lParam, 1);
}

// Values that cannot be read are never read past their end.
TEST_F(ConversionTest, ValuesThatCannotBeRead)
{
    struct Case {
        uint8_t type;
        std::vector<uint8_t> value;
        bool hasValue;
        std::string notice;
    };
    const Case cases[] = {
        {2, {}, false, "Couldn't get variable (n)"},
        {2, {1, 2, 3}, true, "Couldn't get variable (n)"},
        {1, {}, false, "Couldn't get variable (n)"},
        {48, {}, false, "Couldn't get variable (n)"},
        {65, {9}, true, "Couldn't get variable (n)"},
        {70, {1, 2, 3, 4}, true, "Couldn't get variable (n)"},
        {64, {}, false, "Couldn't get ip address"},
        {64, {10, 0}, true, "Couldn't get ip address"},
    };
    for (const Case& c : cases) {
        host.delivered.clear();
        Binding b(c.type, c.value, c.hasValue);
        presetLastOid();
        HostValue result;
        EXPECT_FALSE(bindingToHostValue(b.var, result, "n")) << int(c.type);
        EXPECT_EQ(double(result.number), 0.0);
        EXPECT_EQ(lastOid(), "") << int(c.type);
        ASSERT_EQ(host.delivered.size(), 1u);
        EXPECT_EQ(host.delivered[0].text, c.notice) << int(c.type);
    }
}

// The appended binding of a set, read back.
std::vector<uint8_t> valueOf(const SnmpPdu* pdu, uint8_t* type = nullptr)
{
    const VarBind* var = pdu->variables;
    if (var == nullptr)
        return {};
    if (type != nullptr)
        *type = var->type;
    EXPECT_NE(var->value, nullptr);
    return std::vector<uint8_t>(var->value, var->value + var->valueLength);
}

TEST_F(ConversionTest, AppendedBindings)
{
    SnmpPdu* pdu = createPdu(PduSetRequest);
    ASSERT_TRUE(addIntegerBinding(pdu, Name, 9, 2, 0xFFFFFFFEu));
    uint8_t type = 0;
    EXPECT_EQ(valueOf(pdu, &type), word(0xFFFFFFFEu));
    EXPECT_EQ(type, 2);
    EXPECT_EQ(pdu->variables->nameLength, 9);
    EXPECT_EQ(pdu->variables->next, nullptr);
    freePdu(pdu);

    pdu = createPdu(PduSetRequest);
    ASSERT_TRUE(addCounter64Binding(pdu, Name, 9, 70, 1, 2));
    EXPECT_EQ(valueOf(pdu), words({1, 2}));
    freePdu(pdu);

    pdu = createPdu(PduSetRequest);
    const uint8_t bytes[] = {0, 1, 2, 0};
    ASSERT_TRUE(addBytesBinding(pdu, Name, 9, 4, bytes, 4));
    EXPECT_EQ(valueOf(pdu), std::vector<uint8_t>(bytes, bytes + 4));
    freePdu(pdu);
}

TEST_F(ConversionTest, TextBindingsByType)
{
    struct Case {
        uint8_t type;
        std::string text;
        bool converts;
        std::vector<uint8_t> value;
    };
    std::string longest = "1.3";
    std::vector<uint32_t> longestWords = {1, 3};
    while (longestWords.size() < SnmpOidCapacity) {
        longest += ".7";
        longestWords.push_back(7);
    }
    const Case cases[] = {
        {6, "system.3", true, words({1, 3, 6, 1, 2, 1, 1, 3})},
        {6, longest, true, words(longestWords)},
        {6, longest + ".7", false, {}},  // never cut
        {6, "1..3", false, {}},
        {6, "system.x", false, {}},
        {6, "5", false, {}},  // one sub-identifier would travel as 0.0
        {6, "", false, {}},
        {64, "10.0.0.1", true, {10, 0, 0, 1}},
        {64, "10.1", true, {10, 0, 0, 1}},  // as the host's inet_addr reads it
        {64, "0x0a000001", true, {10, 0, 0, 1}},
        {64, "010.0.0.1", true, {8, 0, 0, 1}},
        {64, "255.255.255.255", true, {255, 255, 255, 255}},
        {64, "hello", false, {}},
        {64, "", false, {}},
        {64, "256.1.1.1", false, {}},
        {64, "1.2.3.4.", false, {}},
        {64, "1.2.3.4.5", false, {}},
        {64, std::string("1.2.3.4\0", 8), false, {}},
        {4, "", true, {}},
        {4, "hello", true, {'h', 'e', 'l', 'l', 'o'}},
        {4, std::string("a\0b", 3), true, {'a', 0, 'b'}},  // every byte the script gave
        {2, "abcd", true, {'a', 'b', 'c', 'd'}},          // sent as given
    };
    for (const Case& c : cases) {
        SnmpPdu* pdu = createPdu(PduSetRequest);
        const CString text(c.text.data(), static_cast<int>(c.text.size()));
        EXPECT_EQ(textConverts(c.type, text), c.converts) << c.text;
        EXPECT_EQ(addTextBinding(pdu, Name, 9, c.type, text), c.converts) << c.text;
        if (c.converts) {
            uint8_t type = 0;
            EXPECT_EQ(valueOf(pdu, &type), c.value) << c.text;
            EXPECT_EQ(type, c.type);
        } else {
            EXPECT_EQ(pdu->variables, nullptr) << c.text;
        }
        freePdu(pdu);
    }
}

TEST_F(ConversionTest, ReportNumberFormats)
{
    const std::pair<double, std::string> cases[] = {
        {-1, "-1"}, {-0.4, "-0"}, {65536, "65536"}, {-2.6, "-3"}, {1e20, "100000000000000000000"},
    };
    for (const auto& c : cases) {
        host.delivered.clear();
        reportNumber(c.first);
        ASSERT_EQ(host.delivered.size(), 1u);
        EXPECT_EQ(host.delivered[0].message, 1129u);
        EXPECT_EQ(host.delivered[0].text, c.second);
    }
}

TEST_F(ConversionTest, TimeoutAndRetriesArguments)
{
    struct Case {
        std::vector<HostValue> args;
        bool accepted;
        int32_t timeout;
        int32_t retries;
        std::string message;  // empty: none
    };
    const Case cases[] = {
        {{}, true, 500, 3, ""},
        {{numberArg(2000)}, true, 2000, 3, ""},
        {{numberArg(2000), numberArg(1)}, true, 2000, 1, ""},
        {{numberArg(0), numberArg(0)}, true, 0, 0, ""},
        {{stringArg("2000"), numberArg(1)}, true, 500, 3, ""},  // retries read only after a timeout
        {{numberArg(-5)}, false, 500, 3, "-5"},
        {{numberArg(-0.5)}, false, 500, 3, "0"},
        {{numberArg(2000), numberArg(-1)}, false, 2000, 3, "-1"},
        {{numberArg(2000.9), numberArg(2.9)}, true, 2000, 2, ""},
        {{numberArg(2147483)}, true, 2147483, 3, ""},
        {{numberArg(2147484)}, true, 2147483, 3, ""},    // limited: microseconds must fit
        {{numberArg(3e9)}, true, 2147483, 3, ""},
        {{numberArg(1e300)}, true, 2147483, 3, ""},
    };
    for (const Case& c : cases) {
        host.delivered.clear();
        std::vector<HostValue> args = argList(c.args);
        int32_t timeout = 500;
        int32_t retries = 3;
        EXPECT_EQ(readTimeoutRetries(args.data(), 0, timeout, retries), c.accepted);
        EXPECT_EQ(timeout, c.timeout);
        EXPECT_EQ(retries, c.retries);
        if (c.message.empty()) {
            EXPECT_TRUE(host.delivered.empty());
        } else {
            ASSERT_EQ(host.delivered.size(), 1u);
            EXPECT_EQ(host.delivered[0].message, 1129u);
            EXPECT_EQ(host.delivered[0].text, c.message);
        }
    }
}

}  // namespace

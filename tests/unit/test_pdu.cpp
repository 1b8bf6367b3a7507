// PDU and binding records: creation, appending, copying, finding, unlinking
// and releasing (LeakSanitizer checks the releases under ./run test).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "snmp/codec/pdu.h"

namespace {

std::vector<uint32_t> nameOf(const VarBind* var)
{
    return std::vector<uint32_t>(var->name, var->name + var->nameLength);
}

size_t listLength(const VarBind* var)
{
    size_t n = 0;
    for (; var != nullptr; var = var->next)
        ++n;
    return n;
}

uint8_t* heapCopy(const void* data, size_t length)
{
    auto* block = static_cast<uint8_t*>(std::calloc(1, length));
    std::memcpy(block, data, length);
    return block;
}

TEST(CreatePdu, Defaults)
{
    for (int32_t command : {PduGetRequest, PduGetNextRequest, PduResponse, PduSetRequest, PduTrap, PduReport}) {
        SnmpPdu* pdu = createPdu(command);
        ASSERT_NE(pdu, nullptr);
        EXPECT_EQ(pdu->command, command);
        EXPECT_EQ(pdu->errorStatus, -1);
        EXPECT_EQ(pdu->errorIndex, -1);
        EXPECT_EQ(pdu->requestId, 0);
        EXPECT_EQ(pdu->variables, nullptr);
        EXPECT_EQ(pdu->enterprise, nullptr);
        EXPECT_EQ(pdu->enterpriseLength, 0);
        EXPECT_TRUE(endpointUnspecified(pdu->peerAddress));
        EXPECT_EQ(pdu->peerAddress.port, 0u);
        EXPECT_EQ(std::vector<uint8_t>(pdu->agentAddress, pdu->agentAddress + 4), std::vector<uint8_t>(4, 0));
        EXPECT_EQ(pdu->security.model, 0);
        EXPECT_EQ(pdu->security.digestOffset, 0);
        EXPECT_EQ(pdu->timeStamp, 0u);
        freePdu(pdu);
    }
}

TEST(AddNullVar, AppendsInCallOrderWithCopiedNames)
{
    SnmpPdu* pdu = createPdu(PduGetRequest);
    uint32_t names[3][4] = {{1, 3, 6, 1}, {1, 3, 6, 2}, {1, 3, 6, 3}};
    for (auto& name : names)
        ASSERT_NE(addNullVar(pdu, name, 4), nullptr);
    names[0][3] = 99;  // the bindings keep their own copies
    ASSERT_EQ(listLength(pdu->variables), 3u);
    uint32_t expectedLast = 1;
    for (VarBind* var = pdu->variables; var != nullptr; var = var->next) {
        EXPECT_EQ(var->type, ASN_NULL);
        EXPECT_EQ(var->value, nullptr);
        EXPECT_EQ(var->valueLength, 0);
        EXPECT_EQ(var->nameLength, 4);
        EXPECT_EQ(var->name[3], expectedLast++);
    }
    freePdu(pdu);
}

TEST(AddNullVar, ReturnsTheNewBindingAndRefusesBadArguments)
{
    SnmpPdu* pdu = createPdu(PduSetRequest);
    const uint32_t name[] = {1, 3};
    VarBind* var = addNullVar(pdu, name, 2);
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(pdu->variables, var);
    EXPECT_EQ(addNullVar(nullptr, name, 2), nullptr);
    EXPECT_EQ(addNullVar(pdu, name, -1), nullptr);
    EXPECT_EQ(addNullVar(pdu, nullptr, 2), nullptr);
    EXPECT_EQ(listLength(pdu->variables), 1u);
    VarBind* empty = addNullVar(pdu, nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->nameLength, 0);
    EXPECT_EQ(empty->name, nullptr);
    EXPECT_EQ(listLength(pdu->variables), 2u);
    freePdu(pdu);
}

class FindVarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pdu = createPdu(PduResponse);
        const uint32_t a[] = {1, 3, 6, 1, 2};
        const uint32_t b[] = {1, 3, 6};
        const uint32_t c[] = {1, 3, 6, 1, 2};  // equal to a
        first = addNullVar(pdu, a, 5);
        second = addNullVar(pdu, b, 3);
        third = addNullVar(pdu, c, 5);
    }
    void TearDown() override { freePdu(pdu); }
    SnmpPdu* pdu = nullptr;
    VarBind* first = nullptr;
    VarBind* second = nullptr;
    VarBind* third = nullptr;
};

TEST_F(FindVarTest, ExactNamesOnly)
{
    const uint32_t query[] = {1, 3, 6, 1, 2};
    EXPECT_EQ(findVar(pdu->variables, query, 5), first);  // the first of two equal names
    EXPECT_EQ(findVar(pdu->variables, query, 3), second);
    EXPECT_EQ(findVar(pdu->variables, query, 4), nullptr);  // a prefix of longer names
    const uint32_t other[] = {1, 3, 6, 1, 3};
    EXPECT_EQ(findVar(pdu->variables, other, 5), nullptr);
    EXPECT_EQ(findVar(pdu->variables, query, 0), nullptr);  // no binding without a name
    EXPECT_EQ(findVar(nullptr, query, 5), nullptr);
    EXPECT_EQ(findVar(second, query, 5), third);  // the walk starts at the given binding
}

TEST_F(FindVarTest, CountZeroFindsANamelessBinding)
{
    VarBind* nameless = addNullVar(pdu, nullptr, 0);
    EXPECT_EQ(findVar(pdu->variables, nullptr, 0), nameless);
}

TEST_F(FindVarTest, UnlinkHeadMiddleLastAndStranger)
{
    VarBind* stranger = static_cast<VarBind*>(std::calloc(1, sizeof(VarBind)));
    stranger->next = second;
    unlinkVar(pdu, stranger);  // not in the list: nothing changes
    EXPECT_EQ(listLength(pdu->variables), 3u);
    EXPECT_EQ(stranger->next, second);
    stranger->next = nullptr;
    freeVarList(stranger);

    unlinkVar(pdu, second);  // middle
    EXPECT_EQ(pdu->variables, first);
    EXPECT_EQ(first->next, third);
    EXPECT_EQ(second->next, third);  // keeps its old next
    second->next = nullptr;
    freeVarList(second);

    unlinkVar(pdu, third);  // last
    EXPECT_EQ(first->next, nullptr);
    freeVarList(third);

    unlinkVar(pdu, first);  // head
    EXPECT_EQ(pdu->variables, nullptr);
    freeVarList(first);
}

TEST(CloneVar, DeepCopyWithClearedNext)
{
    SnmpPdu* pdu = createPdu(PduResponse);
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    VarBind* var = addNullVar(pdu, name, 9);
    addNullVar(pdu, name, 2);
    const char text[] = "router-7";
    var->type = ASN_OCTET_STR;
    var->value = heapCopy(text, 8);
    var->valueLength = 8;

    VarBind* copy = cloneVar(var);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_NE(copy->name, var->name);
    EXPECT_NE(copy->value, var->value);
    EXPECT_EQ(nameOf(copy), nameOf(var));
    EXPECT_EQ(copy->type, ASN_OCTET_STR);
    ASSERT_EQ(copy->valueLength, 8);
    EXPECT_EQ(std::memcmp(copy->value, text, 8), 0);
    var->value[0] = 'X';  // independent buffers
    EXPECT_EQ(copy->value[0], 'r');
    freeVarList(copy);
    freePdu(pdu);
}

TEST(CloneVar, WithoutValueAndNull)
{
    EXPECT_EQ(cloneVar(nullptr), nullptr);
    SnmpPdu* pdu = createPdu(PduGetRequest);
    const uint32_t name[] = {1, 3, 6};
    VarBind* var = addNullVar(pdu, name, 3);
    var->type = ASN_ENDOFMIBVIEW;
    VarBind* copy = cloneVar(var);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->value, nullptr);
    EXPECT_EQ(copy->valueLength, 0);
    EXPECT_EQ(copy->type, ASN_ENDOFMIBVIEW);
    freeVarList(copy);
    freePdu(pdu);
}

TEST(CloneVar, EmptyPresentValueStaysPresent)
{
    VarBind var{};
    var.type = ASN_OCTET_STR;
    var.value = static_cast<uint8_t*>(std::calloc(1, 1));
    var.valueLength = 0;
    VarBind* copy = cloneVar(&var);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->value, nullptr);
    EXPECT_EQ(copy->valueLength, 0);
    freeVarList(copy);
    std::free(var.value);
}

TEST(FreePdu, TrapWithEnterpriseAndNulls)
{
    SnmpPdu* pdu = createPdu(PduTrap);
    const uint32_t enterprise[] = {1, 3, 6, 1, 4, 1, 4242};
    pdu->enterprise = reinterpret_cast<uint32_t*>(heapCopy(enterprise, sizeof enterprise));
    pdu->enterpriseLength = 7;
    const uint32_t name[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    VarBind* var = addNullVar(pdu, name, 11);
    const uint32_t value[] = {1, 3, 6, 1, 4, 1, 4242, 1};
    var->type = ASN_OBJECT_ID;
    var->value = heapCopy(value, sizeof value);
    var->valueLength = sizeof value;
    freePdu(pdu);  // the leak checker would report anything left behind
    freePdu(nullptr);
    freeVarList(nullptr);
    SUCCEED();
}

TEST(FreeVarList, LongListReleasedIteratively)
{
    // Deep enough that one stack frame per binding would be felt.
    VarBind* head = nullptr;
    for (int i = 0; i < 200000; ++i) {
        auto* var = static_cast<VarBind*>(std::calloc(1, sizeof(VarBind)));
        ASSERT_NE(var, nullptr);
        var->name = static_cast<uint32_t*>(std::calloc(2, sizeof(uint32_t)));
        var->nameLength = 2;
        var->next = head;
        head = var;
    }
    EXPECT_EQ(listLength(head), 200000u);
    SnmpPdu* pdu = createPdu(PduResponse);
    pdu->variables = head;
    freePdu(pdu);
}

}  // namespace

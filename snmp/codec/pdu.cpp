#include "snmp/codec/pdu.h"

#include <cstring>

#include "snmp/base/allocation.h"

namespace {

void freeOne(VarBind* var)
{
    engineFree(var->name);
    engineFree(var->value);
    engineFree(var);
}

}  // namespace

SnmpPdu* createPdu(int32_t command)
{
    auto* pdu = static_cast<SnmpPdu*>(engineAlloc(1, sizeof(SnmpPdu)));
    if (pdu == nullptr)
        return nullptr;
    pdu->command = command;
    pdu->errorStatus = -1;
    pdu->errorIndex = -1;
    return pdu;
}

VarBind* addNullVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count)
{
    if (pdu == nullptr || count < 0 || (count > 0 && oid == nullptr))
        return nullptr;
    auto* var = static_cast<VarBind*>(engineAlloc(1, sizeof(VarBind)));
    if (var == nullptr)
        return nullptr;
    bool failed = false;
    var->name = copyOid(oid, count, &failed);
    if (failed) {
        engineFree(var);
        return nullptr;
    }
    var->nameLength = count;
    var->type = ASN_NULL;

    VarBind** link = &pdu->variables;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = var;
    return var;
}

VarBind* addVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count, uint8_t type, const void* value, int32_t length)
{
    if (length < 0 || (length > 0 && value == nullptr))
        return nullptr;
    // The value first, so that a failure leaves the PDU as it was.
    auto* copy = static_cast<uint8_t*>(copyOctets(value, static_cast<size_t>(length)));
    if (copy == nullptr)
        return nullptr;
    VarBind* var = addNullVar(pdu, oid, count);
    if (var == nullptr) {
        engineFree(copy);
        return nullptr;
    }
    var->type = type;
    var->value = copy;
    var->valueLength = length;
    return var;
}

bool copyEnterprise(SnmpPdu* pdu, const uint32_t* oid, int32_t count)
{
    if (pdu == nullptr || count < 0)
        return false;
    bool failed = false;
    uint32_t* copy = copyOid(oid, count, &failed);
    if (failed)
        return false;
    engineFree(pdu->enterprise);
    pdu->enterprise = copy;
    pdu->enterpriseLength = copy != nullptr ? count : 0;
    return true;
}

bool isStoredValueType(uint8_t type)
{
    switch (type) {
    case ASN_INTEGER:
    case ASN_OCTET_STR:
    case ASN_OBJECT_ID:
    case ASN_IPADDRESS:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_OPAQUE:
    case ASN_NSAP:
    case ASN_COUNTER64:
    case ASN_UINTEGER:
        return true;
    default:
        return false;
    }
}

VarBind* cloneVar(const VarBind* var)
{
    if (var == nullptr)
        return nullptr;
    auto* copy = static_cast<VarBind*>(engineAlloc(1, sizeof(VarBind)));
    if (copy == nullptr)
        return nullptr;
    *copy = *var;
    copy->next = nullptr;
    copy->name = nullptr;
    copy->value = nullptr;
    bool failed = false;
    copy->name = copyOid(var->name, var->nameLength, &failed);
    // A present value stays present, also one of no octets (an empty decoded string).
    if (!failed && var->value != nullptr) {
        copy->value = static_cast<uint8_t*>(
            copyOctets(var->value, var->valueLength > 0 ? static_cast<size_t>(var->valueLength) : 0));
        failed = copy->value == nullptr;
    }
    if (failed) {
        freeOne(copy);
        return nullptr;
    }
    return copy;
}

SnmpPdu* clonePdu(const SnmpPdu* pdu)
{
    if (pdu == nullptr)
        return nullptr;
    auto* copy = static_cast<SnmpPdu*>(engineAlloc(1, sizeof(SnmpPdu)));
    if (copy == nullptr)
        return nullptr;
    *copy = *pdu;
    copy->variables = nullptr;
    copy->enterprise = nullptr;
    copy->enterpriseLength = 0;
    bool failed = pdu->enterpriseLength > 0 && !copyEnterprise(copy, pdu->enterprise, pdu->enterpriseLength);
    VarBind** tail = &copy->variables;
    for (const VarBind* var = pdu->variables; var != nullptr && !failed; var = var->next) {
        *tail = cloneVar(var);
        failed = *tail == nullptr;
        if (!failed)
            tail = &(*tail)->next;
    }
    if (failed) {
        freePdu(copy);
        return nullptr;
    }
    return copy;
}

void freePdu(SnmpPdu* pdu)
{
    if (pdu == nullptr)
        return;
    freeVarList(pdu->variables);
    engineFree(pdu->enterprise);
    engineFree(pdu);
}

void freeVarList(VarBind* var)
{
    // Iteratively: a received list can be long, and a recursion per binding
    // would put its depth on the host's stack.
    while (var != nullptr) {
        VarBind* next = var->next;
        freeOne(var);
        var = next;
    }
}

VarBind* findVar(VarBind* head, const uint32_t* oid, int32_t count)
{
    for (VarBind* var = head; var != nullptr; var = var->next) {
        if (var->nameLength != count)
            continue;
        if (count <= 0)
            return var;
        if (var->name != nullptr && oid != nullptr &&
            std::memcmp(var->name, oid, static_cast<size_t>(count) * sizeof(uint32_t)) == 0)
            return var;
    }
    return nullptr;
}

void unlinkVar(SnmpPdu* pdu, VarBind* var)
{
    if (pdu == nullptr || var == nullptr)
        return;
    for (VarBind** link = &pdu->variables; *link != nullptr; link = &(*link)->next) {
        if (*link == var) {
            *link = var->next;
            return;
        }
    }
}

#include "snmp/pdu.h"

#include <cstdlib>
#include <cstring>

namespace {

// A zero-filled copy of count octets; null for an empty block.
void* copyBlock(const void* source, size_t octets, bool* failed)
{
    *failed = false;
    if (octets == 0 || source == nullptr)
        return nullptr;
    void* block = std::calloc(1, octets);
    if (block == nullptr) {
        *failed = true;
        return nullptr;
    }
    std::memcpy(block, source, octets);
    return block;
}

void freeOne(VarBind* var)
{
    std::free(var->name);
    std::free(var->value);
    std::free(var);
}

}  // namespace

SnmpPdu* createPdu(int32_t command)
{
    auto* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
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
    auto* var = static_cast<VarBind*>(std::calloc(1, sizeof(VarBind)));
    if (var == nullptr)
        return nullptr;
    bool failed = false;
    var->name = static_cast<uint32_t*>(copyBlock(oid, static_cast<size_t>(count) * sizeof(uint32_t), &failed));
    if (failed) {
        std::free(var);
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
    auto* copy = static_cast<VarBind*>(std::calloc(1, sizeof(VarBind)));
    if (copy == nullptr)
        return nullptr;
    *copy = *var;
    copy->next = nullptr;
    copy->name = nullptr;
    copy->value = nullptr;
    bool failed = false;
    if (var->nameLength > 0)
        copy->name = static_cast<uint32_t*>(
            copyBlock(var->name, static_cast<size_t>(var->nameLength) * sizeof(uint32_t), &failed));
    if (!failed && var->valueLength > 0)
        copy->value = static_cast<uint8_t*>(copyBlock(var->value, static_cast<size_t>(var->valueLength), &failed));
    if (!failed && var->value != nullptr && var->valueLength <= 0) {
        // A present value of no octets (an empty decoded string) stays present.
        copy->value = static_cast<uint8_t*>(std::calloc(1, 1));
        failed = copy->value == nullptr;
    }
    if (failed) {
        freeOne(copy);
        return nullptr;
    }
    return copy;
}

void freePdu(SnmpPdu* pdu)
{
    if (pdu == nullptr)
        return;
    freeVarList(pdu->variables);
    std::free(pdu->enterprise);
    std::free(pdu);
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

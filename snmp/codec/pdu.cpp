#include "snmp/codec/pdu.h"

#include <cstdint>
#include <cstring>

#include "snmp/base/allocation.h"

namespace {

// Where newVar puts a binding's name and value: right behind the record.
uint32_t* packedName(VarBind* var) { return reinterpret_cast<uint32_t*>(var + 1); }
uint8_t* packedValue(VarBind* var)
{
    return reinterpret_cast<uint8_t*>(var + 1) + sizeof(uint32_t) * static_cast<size_t>(var->nameLength);
}

// A name or value still where newVar put it goes with the record; one a
// caller put in its place is a block of its own.
void freeOne(VarBind* var)
{
    if ((var->packed & PackedName) == 0 || var->name != packedName(var))
        engineFree(var->name);
    if ((var->packed & PackedValue) == 0 || var->value != packedValue(var))
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

VarBind* newVar(const uint32_t* oid, int32_t count, uint8_t type, const void* value, int32_t length)
{
    if (count < 0 || (count > 0 && oid == nullptr) || length < 0 || (length > 0 && value == nullptr))
        return nullptr;
    // One block: the record, the name behind it, then the value (one octet
    // at least, so that an empty value is still present).
    const size_t nameOctets = sizeof(uint32_t) * static_cast<size_t>(count);
    const size_t valueOctets = value != nullptr ? (length > 0 ? static_cast<size_t>(length) : 1) : 0;
    if (static_cast<size_t>(count) > SIZE_MAX / 8 || valueOctets > SIZE_MAX / 2 - sizeof(VarBind) - nameOctets)
        return nullptr;
    auto* var = static_cast<VarBind*>(engineAlloc(1, sizeof(VarBind) + nameOctets + valueOctets));
    if (var == nullptr)
        return nullptr;
    var->nameLength = count;
    if (count > 0) {
        var->name = packedName(var);
        var->packed |= PackedName;
        std::memcpy(var->name, oid, nameOctets);
    }
    var->type = type;
    if (value != nullptr) {
        var->value = packedValue(var);
        var->packed |= PackedValue;
        if (length > 0)
            std::memcpy(var->value, value, static_cast<size_t>(length));
        var->valueLength = length;
    }
    return var;
}

namespace {

VarBind* append(SnmpPdu* pdu, VarBind* var)
{
    if (var == nullptr)
        return nullptr;
    VarBind** link = &pdu->variables;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = var;
    return var;
}

}  // namespace

VarBind* addNullVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count)
{
    return pdu != nullptr ? append(pdu, newVar(oid, count, ASN_NULL, nullptr, 0)) : nullptr;
}

VarBind* addVar(SnmpPdu* pdu, const uint32_t* oid, int32_t count, uint8_t type, const void* value, int32_t length)
{
    // Even an empty value is present, told apart from a missing one.
    static const uint8_t none = 0;
    if (length < 0 || (length > 0 && value == nullptr))
        return nullptr;
    return pdu != nullptr ? append(pdu, newVar(oid, count, type, value != nullptr ? value : &none, length))
                          : nullptr;
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
    // A present value stays present, also one of no octets (an empty decoded string).
    VarBind* copy = newVar(var->name, var->name != nullptr ? var->nameLength : 0, var->type, var->value,
                           var->value != nullptr && var->valueLength > 0 ? var->valueLength : 0);
    if (copy != nullptr) {
        copy->nameLength = var->nameLength;
        copy->valueLength = var->valueLength;
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

SnmpPdu* takePdu(SnmpPdu* pdu)
{
    if (pdu == nullptr)
        return nullptr;
    auto* taken = static_cast<SnmpPdu*>(engineAlloc(1, sizeof(SnmpPdu)));
    if (taken == nullptr)
        return nullptr;
    *taken = *pdu;
    pdu->variables = nullptr;
    pdu->enterprise = nullptr;
    pdu->enterpriseLength = 0;
    return taken;
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

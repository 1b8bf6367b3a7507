#include "script/value_conversion.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "module/host_services.h"
#include "script/dispatcher.h"
#include "script/module_state.h"
#include "script/oid_text.h"
#include "snmp/message.h"

namespace {

// Value types as bindings carry them.
enum : uint8_t {
    TypeBoolean = 1,
    TypeInteger = 2,
    TypeNull = 5,
    TypeObjectId = 6,
    TypeSequence = 48,
    TypeIpAddress = 64,
    TypeCounter = 65,
    TypeGauge = 66,
    TypeTimeTicks = 67,
    TypeCounter64 = 70,
    TypeUInteger = 71,
};

// Both failures end the same way: a notice, the number 0, an empty OID.
bool conversionFailed(HostValue& result, const char* notice)
{
    reportNotice(notice, 1);
    setNumberResult(result, 0);
    scriptState().lastOidCount = 0;
    return false;
}

bool variableMissing(HostValue& result, const char* oidText)
{
    CString notice;
    notice.Format("Couldn't get variable (%s)", oidText != nullptr ? oidText : "");
    return conversionFailed(result, notice);
}

uint32_t readWord(const VarBind* binding, int index)
{
    uint32_t word;
    std::memcpy(&word, binding->value + 4 * index, sizeof word);
    return word;
}

CString byteBlockText(const VarBind* binding)
{
    const int length = binding->valueLength;
    if (length <= 0 || binding->value == nullptr)
        return CString();
    bool printable = true;
    for (int i = 0; i < length && printable; ++i)
        printable = std::isprint(binding->value[i]) != 0;
    if (printable)
        return CString(reinterpret_cast<const char*>(binding->value), length);
    CString text;
    for (int i = 0; i < length; ++i) {
        char octet[4];
        std::snprintf(octet, sizeof octet, i == 0 ? "%02X" : ".%02X", binding->value[i]);
        text += octet;
    }
    return text;
}

VarBind* appendBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes,
                       int32_t length)
{
    if (length < 0)
        return nullptr;
    // Every value gets its own buffer, even an empty one, so that a present
    // value is never confused with a missing one.
    uint8_t* value = static_cast<uint8_t*>(std::calloc(1, length > 0 ? static_cast<size_t>(length) : 1));
    if (value == nullptr)
        return nullptr;
    VarBind* binding = addNullVar(pdu, name, count);
    if (binding == nullptr) {
        std::free(value);
        return nullptr;
    }
    if (length > 0)
        std::memcpy(value, bytes, static_cast<size_t>(length));
    binding->type = type;
    binding->value = value;
    binding->valueLength = length;
    return binding;
}

}  // namespace

bool bindingToHostValue(const VarBind* binding, HostValue& result, const char* oidText)
{
    if (binding == nullptr)
        return variableMissing(result, oidText);

    const bool hasWord = binding->value != nullptr && binding->valueLength >= 4;
    switch (binding->type) {
    case TypeBoolean:
    case TypeInteger:
    case TypeSequence:
        // A value that is not there cannot be read: treated like a missing variable.
        if (!hasWord)
            return variableMissing(result, oidText);
        setNumberResult(result, static_cast<int32_t>(readWord(binding, 0)));
        break;
    case TypeCounter:
    case TypeGauge:
    case TypeTimeTicks:
    case TypeUInteger:
        if (!hasWord)
            return variableMissing(result, oidText);
        setNumberResult(result, readWord(binding, 0));
        break;
    case TypeNull:
        setNumberResult(result, 0);
        break;
    case TypeObjectId: {
        const int32_t count = binding->value != nullptr ? binding->valueLength / 4 : 0;
        uint32_t values[SnmpOidCapacity];
        const int32_t kept = count < SnmpOidCapacity ? count : SnmpOidCapacity;
        for (int32_t i = 0; i < kept; ++i)
            values[i] = readWord(binding, i);
        setStringResult(result, formatOidText(values, kept));
        break;
    }
    case TypeIpAddress: {
        if (!hasWord)
            return conversionFailed(result, "Couldn't get ip address");
        in_addr address;
        std::memcpy(&address, binding->value, 4);
        char text[INET_ADDRSTRLEN] = {0};
        inet_ntop(AF_INET, &address, text, sizeof text);
        setStringResult(result, CString(text));
        break;
    }
    case TypeCounter64: {
        if (binding->value == nullptr || binding->valueLength < 8)
            return variableMissing(result, oidText);
        CString text;
        text.Format("%u,%u", static_cast<unsigned>(readWord(binding, 0)), static_cast<unsigned>(readWord(binding, 1)));
        setStringResult(result, text);
        break;
    }
    default:
        setStringResult(result, byteBlockText(binding));
        break;
    }

    ScriptState& state = scriptState();
    const int32_t count = binding->name != nullptr && binding->nameLength > 0 ? binding->nameLength : 0;
    state.lastOidCount = count < LastOidCapacity ? count : LastOidCapacity;
    if (state.lastOidCount > 0)
        std::memcpy(state.lastOid, binding->name, sizeof(uint32_t) * static_cast<size_t>(state.lastOidCount));
    return true;
}

bool addIntegerBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t value)
{
    return appendBinding(pdu, name, count, type, &value, 4) != nullptr;
}

bool addCounter64Binding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t high,
                         uint32_t low)
{
    const uint32_t words[2] = {high, low};
    return appendBinding(pdu, name, count, type, words, 8) != nullptr;
}

bool addBytesBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes,
                     int32_t length)
{
    if (bytes == nullptr)
        length = 0;
    return appendBinding(pdu, name, count, type, bytes, length) != nullptr;
}

bool addTextBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const char* text)
{
    if (text == nullptr)
        text = "";
    if (type == TypeObjectId) {
        uint32_t values[SnmpOidCapacity];
        int32_t stored = SnmpOidCapacity;
        parseOidText(text, values, &stored);
        return appendBinding(pdu, name, count, type, values, 4 * stored) != nullptr;
    }
    if (type == TypeIpAddress) {
        const in_addr_t address = inet_addr(text);
        return appendBinding(pdu, name, count, type, &address, 4) != nullptr;
    }
    const size_t length = std::strlen(text);
    return appendBinding(pdu, name, count, type, text, static_cast<int32_t>(length > 0x7FFFFFF ? 0x7FFFFFF : length)) !=
           nullptr;
}

void reportNumber(double number)
{
    CString text;
    text.Format("%.0lf", number);
    reportInvalidValue(text);
}

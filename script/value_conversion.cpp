#include "script/value_conversion.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "platform/winsock.h"
#include "script/arguments.h"
#include "script/number_conversion.h"
#include "script/module_state.h"
#include "script/oid_text.h"

namespace {

enum class Conversion {
    Value,        // the result holds the binding's value
    Missing,      // no binding, or no value of its type
    NoIpAddress,  // an IpAddress of fewer than four octets
};

// Both failures end the same way: a notice, the number 0, an empty OID.
bool conversionFailed(HostValue& result, const char* notice)
{
    reportNotice(notice, 1);
    setNumberResult(result, 0);
    scriptState().lastOidCount = 0;
    return false;
}

CString missingNotice(const char* oidText)
{
    CString notice;
    notice.Format("Couldn't get variable (%s)", oidText != nullptr ? oidText : "");
    return notice;
}

bool variableMissing(HostValue& result, const char* oidText)
{
    return conversionFailed(result, missingNotice(oidText));
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
    // "%02X" for each octet, dot-separated, written straight into the text.
    static const char Digits[] = "0123456789ABCDEF";
    CString text;
    char* p = text.GetBufferSetLength(3 * length - 1);
    if (p == nullptr)
        return CString();
    for (int i = 0; i < length; ++i) {
        if (i > 0)
            *p++ = '.';
        *p++ = Digits[binding->value[i] >> 4];
        *p++ = Digits[binding->value[i] & 0x0F];
    }
    return text;
}

// An OID value text: it parses whole, and to as many sub-identifiers as a
// value can carry. Fewer than two cannot travel as themselves (they would go
// out as 0.0), more than SnmpOidCapacity not at all.
bool parseOidValue(const CString& text, uint32_t* values, int32_t* count)
{
    return parseOidString(text, values, count) && *count >= 2 && *count <= SnmpOidCapacity;
}

// Every value gets its own buffer, even an empty one, so that a present value
// is never confused with a missing one.
bool appendBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes, int32_t length)
{
    return addVar(pdu, name, count, type, bytes, length) != nullptr;
}

// The result of a binding, or why there is none; on success the module-wide
// OID becomes the binding's name. Nothing is reported here.
Conversion convertBinding(const VarBind* binding, HostValue& result)
{
    if (binding == nullptr)
        return Conversion::Missing;

    const bool hasWord = binding->value != nullptr && binding->valueLength >= 4;
    switch (binding->type) {
    case ASN_BOOLEAN:
    case ASN_INTEGER:
    case ASN_SEQUENCE:
        // A value that is not there cannot be read: treated like a missing variable.
        if (!hasWord)
            return Conversion::Missing;
        setNumberResult(result, static_cast<int32_t>(readWord(binding, 0)));
        break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        if (!hasWord)
            return Conversion::Missing;
        setNumberResult(result, readWord(binding, 0));
        break;
    case ASN_NULL:
        setNumberResult(result, 0);
        break;
    case ASN_OBJECT_ID: {
        // An OID value that did not decode (empty, overlong) is not there.
        if (binding->value == nullptr || binding->valueLength < 4)
            return Conversion::Missing;
        const int32_t count = binding->valueLength / 4;
        uint32_t values[SnmpOidCapacity];
        const int32_t kept = count < SnmpOidCapacity ? count : SnmpOidCapacity;
        for (int32_t i = 0; i < kept; ++i)
            values[i] = readWord(binding, i);
        setStringResult(result, formatOidText(values, kept));
        break;
    }
    case ASN_IPADDRESS: {
        if (!hasWord)
            return Conversion::NoIpAddress;
        in_addr address;
        std::memcpy(&address, binding->value, 4);
        char text[INET_ADDRSTRLEN] = {0};
        inet_ntop(AF_INET, &address, text, sizeof text);
        setStringResult(result, CString(text));
        break;
    }
    case ASN_COUNTER64: {
        if (binding->value == nullptr || binding->valueLength < 8)
            return Conversion::Missing;
        CString text;
        text.Format("%u,%u", static_cast<unsigned>(readWord(binding, 0)), static_cast<unsigned>(readWord(binding, 1)));
        setStringResult(result, text);
        break;
    }
    default:
        // A constructed value has no octets of its own to give.
        if ((binding->type & ASN_CONSTRUCTOR) != 0)
            return Conversion::Missing;
        setStringResult(result, byteBlockText(binding));
        break;
    }

    ScriptState& state = scriptState();
    const int32_t count = binding->name != nullptr && binding->nameLength > 0 ? binding->nameLength : 0;
    state.lastOidCount = count < LastOidCapacity ? count : LastOidCapacity;
    if (state.lastOidCount > 0)
        std::memcpy(state.lastOid, binding->name, sizeof(uint32_t) * static_cast<size_t>(state.lastOidCount));
    return Conversion::Value;
}

// Reports a failed conversion (a notice, the number 0, an empty OID) and
// answers whether the conversion gave a value.
bool reportFailure(Conversion conversion, HostValue& result, const char* oidText)
{
    switch (conversion) {
    case Conversion::Value:
        return true;
    case Conversion::NoIpAddress:
        return conversionFailed(result, "Couldn't get ip address");
    case Conversion::Missing:
    default:
        return variableMissing(result, oidText);
    }
}

// A set's IpAddress text as the host's platform converts it, with Winsock's
// inet_addr: the four octets in network order. A text with a zero byte inside
// is refused, as inet_addr would read only its start.
bool readIpAddressText(const CString& text, uint8_t* octets)
{
    in_addr_t address;
    if (std::strlen(text.GetString()) != static_cast<size_t>(text.GetLength()) ||
        !winParseInetAddress(text.GetString(), &address))
        return false;
    std::memcpy(octets, &address, 4);
    return true;
}

}  // namespace

void reportNoValue(const char* oidText) { reportNotice(missingNotice(oidText), 1); }

bool bindingToHostValue(const VarBind* binding, HostValue& result, const char* oidText)
{
    return reportFailure(convertBinding(binding, result), result, oidText);
}

bool bindingToHostValueForLastOid(const VarBind* binding, HostValue& result)
{
    const Conversion conversion = convertBinding(binding, result);
    if (conversion == Conversion::Value)
        return true;
    // The name asked for is still the module-wide OID: written out only now.
    const ScriptState& state = scriptState();
    return reportFailure(conversion, result, formatOidText(state.lastOid, state.lastOidCount));
}

bool addIntegerBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t value)
{
    return appendBinding(pdu, name, count, type, &value, 4);
}

bool addCounter64Binding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t high,
                         uint32_t low)
{
    const uint32_t words[2] = {high, low};
    return appendBinding(pdu, name, count, type, words, 8);
}

bool addBytesBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes,
                     int32_t length)
{
    if (bytes == nullptr)
        length = 0;
    return appendBinding(pdu, name, count, type, bytes, length);
}

bool addTextBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const CString& text)
{
    if (type == ASN_OBJECT_ID) {
        uint32_t values[SnmpOidCapacity];
        int32_t stored = SnmpOidCapacity;
        if (!parseOidValue(text, values, &stored))
            return false;
        return appendBinding(pdu, name, count, type, values, 4 * stored);
    }
    if (type == ASN_IPADDRESS) {
        uint8_t address[4];
        if (!readIpAddressText(text, address))
            return false;
        return appendBinding(pdu, name, count, type, address, 4);
    }
    // Every byte the script gave, zero bytes included.
    return appendBinding(pdu, name, count, type, text.GetString(), text.GetLength());
}

bool addValueBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const HostValue* value,
                     bool counter64Form)
{
    if (counter64Form)
        return addCounter64Binding(pdu, name, count, type, truncateToLow32(value[0].number),
                                   truncateToLow32(value[1].number));
    if (isNumberValue(value[0]))
        return addIntegerBinding(pdu, name, count, type, truncateToLow32(value[0].number));
    if (isBinaryVariable(value[0])) {
        BinData* data = lookupBinaryVariable(value[0]);
        if (data == nullptr)
            return false;
        // A binding's length is a 32-bit count; so much never fits a message anyway.
        const DWORD length = data->m_length;
        return addBytesBinding(pdu, name, count, type, data->GetData(),
                               length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length));
    }
    return addTextBinding(pdu, name, count, type, value[0].text);
}

bool textConverts(uint8_t type, const CString& text)
{
    if (type == ASN_OBJECT_ID) {
        uint32_t values[SnmpOidCapacity];
        int32_t stored = SnmpOidCapacity;
        return parseOidValue(text, values, &stored);
    }
    if (type == ASN_IPADDRESS) {
        uint8_t address[4];
        return readIpAddressText(text, address);
    }
    return true;
}


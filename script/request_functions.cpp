#include "script/request_functions.h"

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "script/arguments.h"
#include "script/exchange.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/value_conversion.h"

namespace {

// The value binding of a set from the script's value argument(s).
void addSetBinding(SnmpPdu* pdu, uint8_t type, const HostValue* value, bool counter64Form)
{
    const ScriptState& state = scriptState();
    if (counter64Form) {
        addCounter64Binding(pdu, state.lastOid, state.lastOidCount, type, truncateToLow32(value[0].number),
                            truncateToLow32(value[1].number));
    } else if (isNumberValue(value[0])) {
        addIntegerBinding(pdu, state.lastOid, state.lastOidCount, type, truncateToLow32(value[0].number));
    } else if (isBinaryVariable(value[0])) {
        // A host binary variable; an unknown one sends the request without a binding.
        BinData* data = lookupBinaryVariable(value[0]);
        if (data != nullptr) {
            // A binding's length is a 32-bit count; so much never fits a message anyway.
            const DWORD length = data->m_length;
            addBytesBinding(pdu, state.lastOid, state.lastOidCount, type, data->GetData(),
                            length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length));
        }
    } else {
        addTextBinding(pdu, state.lastOid, state.lastOidCount, type, value[0].text);
    }
}

// The rest of every set: open, send the one binding, convert the echo.
void performSet(HostValue& result, const HostValue& oidArgument, uint8_t type, const HostValue* value,
                bool counter64Form, uint16_t remotePort, uint16_t localPort)
{
    ScopedSession session = openRequestSession(remotePort, localPort);
    if (!session)
        return;
    VarListHolder binding;
    PduHolder pdu(createPdu(PduSetRequest));
    if (pdu != nullptr) {
        addSetBinding(pdu.get(), type, value, counter64Form);
        binding = requestVariable(session.get(), std::move(pdu));
    }
    bindingToHostValue(binding.get(), result, oidArgument.text);
}

// The rest of every get: open, request, convert.
void performGet(HostValue& result, const HostValue& oidArgument, uint16_t remotePort, uint16_t localPort)
{
    ScopedSession session = openRequestSession(remotePort, localPort);
    if (!session)
        return;
    const VarListHolder binding = getVariable(session.get());
    bindingToHostValue(binding.get(), result, oidArgument.text);
}

}  // namespace

void snmpget(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isStringValue(args[1]) || !isStringValue(args[2]))
        return;
    takeTarget(args[0], args[1]);
    if (!takeOidArgument(args[2]))
        return;
    if (!takeSettings(args, 3))
        return;
    performGet(result, args[2], 0, 0);
}

void snmpgetEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isStringValue(args[4]))
        return;
    if (!portsAccepted(args))
        return;
    takeTarget(args[0], args[3]);
    if (!takeOidArgument(args[4]))
        return;
    if (!takeSettings(args, 5))
        return;
    performGet(result, args[4], truncateToLow16(args[1].number), truncateToLow16(args[2].number));
}

void snmpgetnext(const HostValue* args, HostValue& result)
{
    if (args[0].type != HostTypeEmpty)
        return;
    ScriptState& state = scriptState();
    ScopedSession session = openRequestSession(state.lastRemotePort, state.lastLocalPort);
    if (!session)
        return;
    const VarListHolder list = getNextVariables(session.get());
    const CString askedFor = formatOidText(state.lastOid, state.lastOidCount);
    bindingToHostValue(list.get(), result, askedFor);
}

void snmpset(const HostValue* args, HostValue& result)
{
    // A missing value is a wrong type like any other: nothing the script did not give goes out.
    if (!isStringValue(args[0]) || !isStringValue(args[1]) || !isStringValue(args[2]) || !isNumberValue(args[3]) ||
        args[4].type == HostTypeEmpty)
        return;
    takeTarget(args[0], args[1]);
    if (!takeOidArgument(args[2]))
        return;
    if (!typeInRange(args[3].number)) {
        CString text;
        text.Format("%lu", static_cast<unsigned long>(truncateToLow32(args[3].number)));
        reportInvalidValue(text);
        return;
    }
    const uint8_t type = typeByte(args[3].number);
    const bool counter64Form = isCounter64Form(args + 4);
    if (!takeSettings(args, counter64Form ? 6 : 5) || !valueAccepted(type, args[4]))
        return;
    performSet(result, args[2], type, args + 4, counter64Form, 0, 0);
}

void snmpsetEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isStringValue(args[4]) || !isNumberValue(args[5]) || args[6].type == HostTypeEmpty)
        return;
    if (!portsAccepted(args))
        return;
    takeTarget(args[0], args[3]);
    if (!takeOidArgument(args[4]))
        return;
    if (!typeInRange(args[5].number)) {
        reportNumber(args[5].number);
        return;
    }
    const uint8_t type = typeByte(args[5].number);
    const bool counter64Form = isCounter64Form(args + 6);
    if (!takeSettings(args, counter64Form ? 8 : 7) || !valueAccepted(type, args[6]))
        return;
    performSet(result, args[4], type, args + 6, counter64Form, truncateToLow16(args[1].number),
               truncateToLow16(args[2].number));
}

#include "script/request_functions.h"

#include "host/vantor_host.h"
#include "hostapi/host_messages.h"
#include "script/arguments.h"
#include "script/exchange.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/read_ahead.h"
#include "script/value_conversion.h"

namespace {

// The rest of every set: open, send the one binding, convert the echo.
void performSet(HostValue& result, const HostValue& oidArgument, uint8_t type, const HostValue* value,
                bool counter64Form, uint16_t remotePort, uint16_t localPort)
{
    // What was read ahead may be what the set changes.
    dropReadAhead();
    ScopedSession session = openRequestSession(remotePort, localPort);
    if (!session)
        return;
    VarListHolder binding;
    PduHolder pdu(createPdu(PduSetRequest));
    if (pdu != nullptr) {
        // An unknown binary variable sends the request without a binding.
        const ScriptState& state = scriptState();
        addValueBinding(pdu.get(), state.lastOid, state.lastOidCount, type, value, counter64Form);
        binding = requestVariable(session, std::move(pdu));
    }
    if (!session.agentSilent())
        bindingToHostValue(binding.get(), result, oidArgument.text);
}

// The rest of every get: open, request, convert.
void performGet(HostValue& result, const HostValue& oidArgument, uint16_t remotePort, uint16_t localPort)
{
    ScopedSession session = openRequestSession(remotePort, localPort);
    if (!session)
        return;
    const VarListHolder binding = getVariable(session);
    if (!session.agentSilent())
        bindingToHostValue(binding.get(), result, oidArgument.text);
}

// A get once its arguments passed their type checks: the peer is argument 0,
// the community, the OID and the optional timeout and retries follow at the
// given indexes.
void get(const HostValue* args, HostValue& result, int community, int oid, uint16_t remotePort,
         uint16_t localPort)
{
    takeTarget(args[0], args[community]);
    if (!takeOidArgument(args[oid]) || !takeSettings(args, oid + 1))
        return;
    performGet(result, args[oid], remotePort, localPort);
}

// A set once its arguments passed their type checks: as a get, with the type
// and the value behind the OID. A type outside 0 to 255 is reported as the
// snmpset form writes it (an unsigned 32-bit number) or as the Ex form does.
void set(const HostValue* args, HostValue& result, int community, int oid, bool unsignedTypeReport,
         uint16_t remotePort, uint16_t localPort)
{
    takeTarget(args[0], args[community]);
    if (!takeOidArgument(args[oid]))
        return;
    const double typeArgument = args[oid + 1].number;
    if (!typeInRange(typeArgument)) {
        if (unsignedTypeReport) {
            CString text;
            text.Format("%lu", static_cast<unsigned long>(truncateToLow32(typeArgument)));
            reportInvalidValue(text);
        } else {
            reportNumber(typeArgument);
        }
        return;
    }
    const uint8_t type = typeByte(typeArgument);
    const HostValue* value = args + oid + 2;
    const bool counter64Form = isCounter64Form(value);
    if (!takeSettings(args, oid + (counter64Form ? 4 : 3)) || !valueAccepted(type, value[0]))
        return;
    performSet(result, args[oid], type, value, counter64Form, remotePort, localPort);
}

}  // namespace

void snmpget(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isStringValue(args[1]) || !isStringValue(args[2]))
        return;
    get(args, result, 1, 2, 0, 0);
}

void snmpgetEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isStringValue(args[4]))
        return;
    if (!portsAccepted(args))
        return;
    get(args, result, 3, 4, truncateToLow16(args[1].number), truncateToLow16(args[2].number));
}

void snmpgetnext(const HostValue* args, HostValue& result)
{
    if (args[0].type != HostTypeEmpty)
        return;
    if (answerFromReadAhead(result))
        return;
    ScriptState& state = scriptState();
    ScopedSession session = openRequestSession(state.lastRemotePort, state.lastLocalPort);
    if (!session)
        return;
    const VarListHolder list = walkStep(session);
    keepReadAhead(!session.agentSilent() && bindingToHostValueForLastOid(list.get(), result));
}

void snmpset(const HostValue* args, HostValue& result)
{
    // A missing value is a wrong type like any other: nothing the script did not give goes out.
    if (!isStringValue(args[0]) || !isStringValue(args[1]) || !isStringValue(args[2]) || !isNumberValue(args[3]) ||
        args[4].type == HostTypeEmpty)
        return;
    set(args, result, 1, 2, true, 0, 0);
}

void snmpsetEx(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]) || !isStringValue(args[3]) ||
        !isStringValue(args[4]) || !isNumberValue(args[5]) || args[6].type == HostTypeEmpty)
        return;
    if (!portsAccepted(args))
        return;
    set(args, result, 3, 4, false, truncateToLow16(args[1].number), truncateToLow16(args[2].number));
}

#include "script/request_functions.h"

#include <cstring>

#include "host/vantor_host.h"
#include "module/host_services.h"
#include "script/dispatcher.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/value_conversion.h"
#include "snmp/session.h"
#include "snmp/sync_request.h"

namespace {

// The largest timeout whose microseconds still fit the engine's 32-bit field.
const double MaxTimeoutMilliseconds = 2147483;

// The module-wide OID as the parser leaves it; false after reporting an invalid text.
bool takeOidArgument(const HostValue& oid)
{
    ScriptState& state = scriptState();
    state.lastOidCount = LastOidCapacity;
    // A name longer than a message may carry is refused, never cut.
    if (!parseOidString(oid.text, state.lastOid, &state.lastOidCount) || state.lastOidCount > SnmpOidCapacity) {
        reportInvalidValue(oid.text);
        return false;
    }
    return true;
}

void takeTarget(const HostValue& peer, const HostValue& community)
{
    CurrentPeer = peer.text;
    CurrentCommunity = community.text;
}

// The type byte of a set, 0 to 255 (checked by the caller).
uint8_t typeByte(double number) { return static_cast<uint8_t>(truncateToLow32(number)); }

bool typeInRange(double number) { return number >= 0 && number <= 255; }

// Only a Response answers a request. A Report that ends the wait is the
// agent's account of why the request failed (statistics counters of the
// user-based mode), and it travels unauthenticated even on a session that
// authenticates: its bindings are never a value.
bool isResponse(const SnmpPdu* reply) { return reply != nullptr && reply->command == PduResponse; }

// Sends pdu and waits. The Response without an error status that came back,
// or null. The error status of whatever reply ended the wait, a Report's too,
// is recorded for the script.
SnmpPdu* answerTo(SnmpSession* session, SnmpPdu* pdu)
{
    SnmpPdu* response = nullptr;
    if (syncRequest(session, pdu, &response) == 0 && response != nullptr) {
        scriptState().lastErrorStatus = static_cast<uint32_t>(response->errorStatus);
        if (isResponse(response) && response->errorStatus == 0)
            return response;
    }
    freePdu(response);
    return nullptr;
}

// Takes the binding named by the module-wide OID out of the response to pdu.
VarBind* requestVariable(SnmpSession* session, SnmpPdu* pdu)
{
    const ScriptState& state = scriptState();
    SnmpPdu* response = answerTo(session, pdu);
    if (response == nullptr)
        return nullptr;
    VarBind* found = findVar(response->variables, state.lastOid, state.lastOidCount);
    if (found != nullptr) {
        unlinkVar(response, found);
        found->next = nullptr;
    }
    freePdu(response);
    return found;
}

// A request of the command for the module-wide OID, or null.
SnmpPdu* requestForLastOid(int32_t command)
{
    const ScriptState& state = scriptState();
    SnmpPdu* pdu = createPdu(command);
    if (pdu != nullptr && addNullVar(pdu, state.lastOid, state.lastOidCount) == nullptr) {
        freePdu(pdu);
        return nullptr;
    }
    return pdu;
}

bool isBinaryVariable(const HostValue& value) { return isStringValue(value) && value.text == "BIN"; }

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

bool isCounter64Form(const HostValue* value)
{
    return isNumberValue(value[0]) && isNumberValue(value[1]) && isNumberValue(value[2]) &&
           isNumberValue(value[3]);
}

// A text the type cannot carry is reported (1129) before anything is sent.
bool valueAccepted(uint8_t type, const HostValue& value)
{
    if (isNumberValue(value) || isBinaryVariable(value) || textConverts(type, value.text))
        return true;
    reportInvalidValue(value.text);
    return false;
}

// The rest of every set: open, send the one binding, convert the echo.
void performSet(HostValue& result, const HostValue& oidArgument, uint8_t type, const HostValue* value,
                bool counter64Form, uint16_t remotePort, uint16_t localPort)
{
    SnmpSession* session = openRequestSession(remotePort, localPort);
    if (session == nullptr) {
        reportError("Couldn't open snmp", nullptr);
        return;
    }
    VarBind* binding = nullptr;
    SnmpPdu* pdu = createPdu(PduSetRequest);
    if (pdu != nullptr) {
        addSetBinding(pdu, type, value, counter64Form);
        binding = requestVariable(session, pdu);
    }
    bindingToHostValue(binding, result, oidArgument.text);
    freeVarList(binding);
    closeSession(session);
}

// The rest of every get: open, request, convert.
void performGet(HostValue& result, const HostValue& oidArgument, uint16_t remotePort, uint16_t localPort)
{
    SnmpSession* session = openRequestSession(remotePort, localPort);
    if (session == nullptr) {
        reportError("Couldn't open snmp", nullptr);
        return;
    }
    VarBind* binding = getVariable(session);
    bindingToHostValue(binding, result, oidArgument.text);
    freeVarList(binding);
    closeSession(session);
}

// The defaults, then the optional timeout and retries at index.
bool takeSettings(const HostValue* args, int index)
{
    ScriptState& state = scriptState();
    state.requestRetries = 3;
    state.requestTimeout = 500;
    return readTimeoutRetries(args, index, state.requestTimeout, state.requestRetries);
}

}  // namespace

bool portsAccepted(const HostValue* args)
{
    for (int i = 1; i <= 2; ++i) {
        if (args[i].number < 0) {
            reportNumber(args[i].number);
            return false;
        }
    }
    return true;
}

bool readTimeoutRetries(const HostValue* args, int index, int32_t& timeout, int32_t& retries)
{
    if (!isNumberValue(args[index]))
        return true;
    const double timeoutArg = args[index].number;
    if (timeoutArg < 0) {
        CString text;
        text.Format("%ld", static_cast<long>(static_cast<int32_t>(truncateToLow32(timeoutArg))));
        reportInvalidValue(text);
        return false;
    }
    // Beyond this the microseconds would overflow the engine's field.
    timeout = timeoutArg > MaxTimeoutMilliseconds ? static_cast<int32_t>(MaxTimeoutMilliseconds)
                                                  : static_cast<int32_t>(truncateToLow32(timeoutArg));
    if (!isNumberValue(args[index + 1]))
        return true;
    const double retriesArg = args[index + 1].number;
    if (retriesArg < 0) {
        CString text;
        text.Format("%d", static_cast<int32_t>(truncateToLow32(retriesArg)));
        reportInvalidValue(text);
        return false;
    }
    retries = static_cast<int32_t>(truncateToLow32(retriesArg));
    return true;
}

SnmpSession* openRequestSession(uint16_t remotePort, uint16_t localPort)
{
    ScriptState& state = scriptState();
    SnmpSession settings;
    std::memset(&settings, 0, sizeof settings);
    settings.retries = state.requestRetries;
    settings.timeout = static_cast<int32_t>(static_cast<int64_t>(state.requestTimeout) * 1000);
    settings.peerName = CurrentPeer.GetString();
    settings.community = reinterpret_cast<const uint8_t*>(CurrentCommunity.GetString());
    settings.communityLength = static_cast<int32_t>(std::strlen(CurrentCommunity.GetString()));
    settings.remotePort = remotePort;
    settings.localPort = localPort;
    state.lastRemotePort = remotePort;
    state.lastLocalPort = localPort;
    syncInstall(&settings);
    return openSession(&settings);
}

VarBind* getVariable(SnmpSession* session)
{
    SnmpPdu* pdu = requestForLastOid(PduGetRequest);
    return pdu != nullptr ? requestVariable(session, pdu) : nullptr;
}

VarBind* getNextVariables(SnmpSession* session)
{
    SnmpPdu* pdu = requestForLastOid(PduGetNextRequest);
    SnmpPdu* response = pdu != nullptr ? answerTo(session, pdu) : nullptr;
    if (response == nullptr)
        return nullptr;
    VarBind* list = response->variables;
    response->variables = nullptr;
    freePdu(response);
    return list;
}

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
    SnmpSession* session = openRequestSession(state.lastRemotePort, state.lastLocalPort);
    if (session == nullptr) {
        reportError("Couldn't open snmp", nullptr);
        return;
    }
    VarBind* list = getNextVariables(session);
    const CString askedFor = formatOidText(state.lastOid, state.lastOidCount);
    bindingToHostValue(list, result, askedFor);
    freeVarList(list);
    closeSession(session);
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

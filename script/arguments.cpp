#include "script/arguments.h"

#include <cstring>

#include "hostapi/host_messages.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/read_ahead.h"
#include "script/value_conversion.h"
#include "snmp/snmp.h"

namespace {

// The largest timeout whose microseconds still fit the engine's 32-bit field.
const double MaxTimeoutMilliseconds = 2147483;

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

void takeTarget(const HostValue& peer, const HostValue& community)
{
    CurrentPeer = peer.text;
    CurrentCommunity = community.text;
    dropReadAheadOfOtherTarget();
}

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

bool takeSettings(const HostValue* args, int index)
{
    ScriptState& state = scriptState();
    state.requestRetries = DefaultRequestRetries;
    state.requestTimeout = DefaultRequestTimeout;
    return readTimeoutRetries(args, index, state.requestTimeout, state.requestRetries);
}

bool typeInRange(double number) { return number >= 0 && number <= 255; }

uint8_t typeByte(double number) { return static_cast<uint8_t>(truncateToLow32(number)); }

bool isCounter64Form(const HostValue* value)
{
    return isNumberValue(value[0]) && isNumberValue(value[1]) && isNumberValue(value[2]) &&
           isNumberValue(value[3]);
}

bool isBinaryVariable(const HostValue& value) { return isStringValue(value) && value.text == "BIN"; }

bool valueAccepted(uint8_t type, const HostValue& value)
{
    if (isNumberValue(value) || isBinaryVariable(value) || textConverts(type, value.text))
        return true;
    reportInvalidValue(value.text);
    return false;
}

void reportCommunityRefused(const char* community)
{
    const char* user = community + (community[0] == '+' ? 1 : 0);
    const char* slash = *user != '\0' ? std::strchr(user + 1, '/') : nullptr;
    reportInvalidValue(CString(community, slash != nullptr ? static_cast<int>(slash - community)
                                                           : static_cast<int>(std::strlen(community))));
}

void reportNumber(double number)
{
    CString text;
    text.Format("%.0lf", number);
    reportInvalidValue(text);
}

#include "script/oid_functions.h"

#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"

void snmpobjid(const HostValue*, HostValue& result)
{
    const ScriptState& state = scriptState();
    setStringResult(result, formatOidText(state.lastOid, state.lastOidCount));
}

void oidGetValue(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]))
        return;
    uint32_t values[LastOidCapacity];
    int32_t count = LastOidCapacity;
    const bool valid = parseOidString(args[0].text, values, &count);
    const double index = args[1].number;
    // Compared as real numbers before truncation; NaN is out of range too.
    if (!valid || index < 0 || !(index < count)) {
        setNumberResult(result, -1);
        return;
    }
    setNumberResult(result, values[static_cast<int>(index)]);
}

void oidSetValue(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]) || !isNumberValue(args[1]) || !isNumberValue(args[2]))
        return;
    uint32_t values[LastOidCapacity];
    int32_t count = LastOidCapacity;
    const bool valid = parseOidString(args[0].text, values, &count);
    const double index = args[1].number;
    if (!valid || index < 0 || !(index < LastOidCapacity)) {
        setStringResult(result, args[0].text);
        return;
    }
    const int position = static_cast<int>(index);
    while (count <= position)
        values[count++] = 0;
    values[position] = truncateToLow32(args[2].number);
    setStringResult(result, formatOidText(values, count));
}

void oidLength(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]))
        return;
    uint32_t values[LastOidCapacity];
    int32_t count = LastOidCapacity;
    const bool valid = parseOidString(args[0].text, values, &count);
    setNumberResult(result, valid ? count : -1);
}

void snmpGetLastError(const HostValue*, HostValue& result)
{
    setNumberResult(result, scriptState().lastErrorStatus);
}

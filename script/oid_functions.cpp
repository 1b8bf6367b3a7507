#include "script/oid_functions.h"

#include <cstring>

#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"

namespace {

// The text snmpobjid() gave last, with the OID it was written from. A walk
// asks for it more than once per variable while the OID stays the same; the
// OID is compared rather than tracked, as it is written in many places.
struct ObjidText {
    uint32_t oid[LastOidCapacity];
    int32_t count = -1;  // none yet
    CString text;
};
ObjidText lastObjidText;

bool sameOid(const ObjidText& kept, const uint32_t* oid, int32_t count)
{
    if (count != kept.count)
        return false;
    return count <= 0 || std::memcmp(kept.oid, oid, sizeof(uint32_t) * static_cast<size_t>(count)) == 0;
}

}  // namespace

void snmpobjid(const HostValue*, HostValue& result)
{
    const ScriptState& state = scriptState();
    const int32_t count = state.lastOidCount < LastOidCapacity ? state.lastOidCount : LastOidCapacity;
    ObjidText& kept = lastObjidText;
    if (!sameOid(kept, state.lastOid, count)) {
        kept.text = formatOidText(state.lastOid, count);
        // A text that memory did not allow is not kept: the next call tries again.
        kept.count = count > 0 && kept.text.IsEmpty() ? -1 : count;
        if (kept.count > 0)
            std::memcpy(kept.oid, state.lastOid, sizeof(uint32_t) * static_cast<size_t>(count));
    }
    setStringResult(result, kept.text);
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

// The one handler behind every row of the function table.
#pragma once

#include "hostapi/host_value.h"

enum ScriptId : int32_t {
    ScriptIdGet = 0,
    ScriptIdSet = 2,
    ScriptIdGetNext = 3,
    ScriptIdObjId = 4,
    ScriptIdOidGetValue = 5,
    ScriptIdOidSetValue = 6,
    ScriptIdOidLength = 7,
    ScriptIdGetLastError = 9,
    ScriptIdGetEx = 10,
    ScriptIdSetEx = 12,
    ScriptIdTrapEx = 13,
    ScriptIdAddVar = 14,
    ScriptIdClearVars = 15,
    ScriptIdGetVars = 16,
    ScriptIdGetVarsEx = 17,
    ScriptIdSetVars = 18,
    ScriptIdSetVarsEx = 19,
    ScriptIdVar = 20,
    ScriptIdReadAhead = 21,
    ScriptIdNotifyEx = 22,
    ScriptIdInformEx = 23,
    ScriptIdEngineIdEx = 24,
};

// Never throws: every problem leaves the result empty or is reported to the host.
// Calls are served one at a time.
HostValue ScriptDispatcher(HostValue* args, int32_t id);

// The module's exit: what the script calls keep between them is released.
void ScriptExit();

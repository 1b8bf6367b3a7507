#include "script/module_state.h"

CString CurrentPeer;
CString CurrentCommunity;

ScriptState& scriptState()
{
    static ScriptState state;
    return state;
}

// Module-wide state of the script functions, kept between calls and never reset.
#pragma once

#include <cstdint>

#include "platform/host_string.h"

enum { LastOidCapacity = 256 };

struct ScriptState {
    uint32_t lastOid[LastOidCapacity] = {};
    int32_t lastOidCount = 0;
    uint32_t lastErrorStatus = 0;
    int32_t requestRetries = 3;
    int32_t requestTimeout = 500;  // milliseconds
    uint16_t lastRemotePort = 0;
    uint16_t lastLocalPort = 0;
};

ScriptState& scriptState();

// The peer and community texts of the last request; constructed when the module loads.
extern CString CurrentPeer;
extern CString CurrentCommunity;

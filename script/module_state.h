// Module-wide state of the script functions, kept between calls and never reset.
#pragma once

#include <cstdint>

#include "platform/host_string.h"

enum { LastOidCapacity = 256 };

// The settings of a request or trap that names none of its own.
constexpr int32_t DefaultRequestRetries = 3;
constexpr int32_t DefaultRequestTimeout = 500;  // milliseconds

struct ScriptState {
    uint32_t lastOid[LastOidCapacity] = {};
    int32_t lastOidCount = 0;
    uint32_t lastErrorStatus = 0;
    int32_t requestRetries = DefaultRequestRetries;
    int32_t requestTimeout = DefaultRequestTimeout;  // milliseconds
    uint16_t lastRemotePort = 0;
    uint16_t lastLocalPort = 0;
};

ScriptState& scriptState();

// The peer and community texts of the last request; constructed when the module loads.
extern CString CurrentPeer;
extern CString CurrentCommunity;

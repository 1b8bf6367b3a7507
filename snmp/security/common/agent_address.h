// An agent's address and port, of either family: the key of what the engine
// keeps per agent between calls. An agent reached over IPv6 is another key
// than the same host over IPv4.
#pragma once

#include "platform/endpoint.h"

using AgentAddress = Endpoint;

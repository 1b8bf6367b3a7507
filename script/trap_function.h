// The script function that sends SNMPv1 traps.
#pragma once

#include "module/host_interface.h"

void snmptrapEx(const HostValue* args, HostValue& result);

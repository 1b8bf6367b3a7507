// The script functions that need no network.
#pragma once

#include "hostapi/host_value.h"

void snmpobjid(const HostValue* args, HostValue& result);
void oidGetValue(const HostValue* args, HostValue& result);
void oidSetValue(const HostValue* args, HostValue& result);
void oidLength(const HostValue* args, HostValue& result);
void snmpGetLastError(const HostValue* args, HostValue& result);

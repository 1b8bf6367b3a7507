// The script functions that read and write variables on agents.
#pragma once

#include "hostapi/host_value.h"

void snmpget(const HostValue* args, HostValue& result);
void snmpgetEx(const HostValue* args, HostValue& result);
void snmpgetnext(const HostValue* args, HostValue& result);
void snmpset(const HostValue* args, HostValue& result);
void snmpsetEx(const HostValue* args, HostValue& result);

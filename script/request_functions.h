// The script functions that read and write variables on agents, and the
// steps they share.
#pragma once

#include <cstdint>

#include "module/host_interface.h"
#include "snmp/pdu.h"
#include "snmp/session.h"

void snmpget(const HostValue* args, HostValue& result);
void snmpgetEx(const HostValue* args, HostValue& result);
void snmpgetnext(const HostValue* args, HostValue& result);
void snmpset(const HostValue* args, HostValue& result);
void snmpsetEx(const HostValue* args, HostValue& result);

// The remote and local ports of the Ex forms and the trap (arguments 1 and 2)
// must not be negative; false after reporting the first that is.
bool portsAccepted(const HostValue* args);

// Reads the optional timeout (milliseconds) at index and retries at index + 1.
// Answers false after reporting a negative value with message 1129. A timeout
// above 2147483 ms is limited to that.
bool readTimeoutRetries(const HostValue* args, int index, int32_t& timeout, int32_t& retries);

// Opens a session for the module-wide target and settings; null when the
// engine cannot. Remembers the ports for the next get-next.
SnmpSession* openRequestSession(uint16_t remotePort, uint16_t localPort);

// A get of the module-wide OID: the binding of that name out of the response
// (standing alone, owned by the caller), or null.
VarBind* getVariable(SnmpSession* session);

// A get-next of the module-wide OID: the response's whole binding list, or null.
VarBind* getNextVariables(SnmpSession* session);

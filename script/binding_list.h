// Many variables per request: a binding list the script fills, one get or
// set that sends all of it, and the outcome of each variable, which the
// script reads one at a time as it reads the value of a get.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"
#include "snmp/snmp.h"

// Bindings a list may hold.
constexpr int32_t BindingListCapacity = 1024;

// snmpaddvar(oid [, type, value [, low]]): appends the name, with a value for
// a set (the forms of snmpset's value; two numbers after the type are the
// Counter64 form). The result is the list's length.
void snmpaddvar(const HostValue* args, HostValue& result);
// snmpclearvars(): empties the list; the result is 0.
void snmpclearvars(const HostValue* args, HostValue& result);
// snmpgetvars(peer, community [, timeout, retries]) and snmpgetvarsEx(peer,
// remote port, local port, community [, timeout, retries]): every listed name
// in as few GetRequests as the agent and the message size allow. The result
// is the number of variables that have a value.
void snmpgetvars(const HostValue* args, HostValue& result);
void snmpgetvarsEx(const HostValue* args, HostValue& result);
// snmpsetvars and snmpsetvarsEx, as the gets: every listed binding in one
// SetRequest, which the agent makes as one. The result is the number made.
void snmpsetvars(const HostValue* args, HostValue& result);
void snmpsetvarsEx(const HostValue* args, HostValue& result);
// snmpvar(k): the k-th variable's outcome of the last list get or set, as a
// get gives it (value and LastOid its name, or message 1127).
void snmpvar(const HostValue* args, HostValue& result);

// Appends copies of the listed bindings (values for those that have one,
// NULL for names alone) to pdu, in order; false when memory ran out.
bool appendListedBindings(SnmpPdu* pdu);

// The module's exit: list and outcomes are released.
void releaseBindingList();

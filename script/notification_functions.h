// SNMPv2c notifications with the binding list: an SNMPv2-Trap, which nobody
// answers, or an InformRequest, which the receiver acknowledges.
#pragma once

#include "hostapi/host_value.h"

// snmpnotifyEx(peer, remotePort, localPort, community, trapOid [, timeout [,
// retries]]): an SNMPv2-Trap of sysUpTime.0, snmpTrapOID.0 and the listed
// bindings; 1 when it went out, 0 when it could not be sent.
void snmpnotifyEx(const HostValue* args, HostValue& result);
// snmpinformEx, the same arguments: an InformRequest of the same bindings,
// retransmitted until the receiver acknowledges it; 1 then, else message
// 1127 naming the trap OID and 0.
void snmpinformEx(const HostValue* args, HostValue& result);

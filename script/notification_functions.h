// Notifications with the binding list: an SNMPv2-Trap, which nobody answers,
// or an InformRequest, which the receiver acknowledges; SNMPv2c, or SNMPv3
// for a "#user/..." community.
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

// snmpengineidEx([engineIdHex]): the module's own SNMPv3 engine identifier
// (the one its SNMPv3 traps carry) as hexadecimal text; with an argument of
// 5 to 32 octets in hexadecimal, that identifier first becomes the module's
// for the rest of the load (anything else: message 1129 and no result).
void snmpengineidEx(const HostValue* args, HostValue& result);

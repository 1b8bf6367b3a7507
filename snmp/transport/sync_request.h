// One blocking request: send, then serve every open session until the reply
// arrives, the request times out, or something fails.
#pragma once

#include <cstdint>

#include "snmp/snmp.h"

// The single wait record of the process.
struct SyncWait {
    int32_t waiting;    // 1 while syncExchange waits
    int32_t status;     // 0 reply stored, 1 copying it failed, 2 timed out
    int32_t requestId;  // the id awaited
    SnmpPdu* response;  // the engine-made copy of the reply, handed to the caller
};

SyncWait& syncWaitRecord();

// The reply callback: takes a copy of a Response or Report with the awaited id.
int32_t syncCallback(int32_t operation, SnmpSession* session, int32_t requestId, SnmpPdu* pdu, void* callbackArg);

// (syncInstall is declared in snmp/snmp.h.)

// syncRequest without the known agents of the user-based mode: sends the PDU
// (taking it) and serves every open session until the reply arrives (0, the
// copy in *response), the request times out (2) or something fails (1).
int32_t syncExchange(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response);

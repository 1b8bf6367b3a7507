// One blocking request: send, then serve every open session until the reply
// arrives, the request times out, or something fails.
#pragma once

#include <cstdint>

#include "snmp/pdu.h"
#include "snmp/session.h"

// The single wait record of the process.
struct SyncWait {
    int32_t waiting;    // 1 while syncRequest waits
    int32_t status;     // 0 reply stored, 1 copying it failed, 2 timed out
    int32_t requestId;  // the id awaited
    SnmpPdu* response;  // the engine-made copy of the reply, handed to the caller
};

SyncWait& syncWaitRecord();

// Installs syncCallback and the wait record in a settings record (before the
// open) and clears the wait record. Answers the same record.
SnmpSession* syncInstall(SnmpSession* settings);

// The reply callback: takes a copy of a Response or Report with the awaited id.
int32_t syncCallback(int32_t operation, SnmpSession* session, int32_t requestId, SnmpPdu* pdu, void* callbackArg);

// Sends pdu (which the engine takes over in every case) and waits. 0: a reply
// arrived (*response, when not null, is the caller's); 1: an error (no PDU,
// the send failed, the wait failed, copying the reply failed, or the PDU is of
// a command that is never answered); 2: timed out after the last transmission.
int32_t syncRequest(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response);

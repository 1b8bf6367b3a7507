#include "snmp/transport/sync_request.h"

#include <cstring>

#include "platform/winsock.h"
#include "snmp/base/diagnostics.h"
#include "snmp/codec/pdu.h"
#include "snmp/transport/engine_records.h"
#include "snmp/transport/receive.h"
#include "snmp/transport/retransmission.h"

SyncWait& syncWaitRecord()
{
    static SyncWait wait;
    return wait;
}

SnmpSession* syncInstall(SnmpSession* settings)
{
    SyncWait& wait = syncWaitRecord();
    if (settings != nullptr) {
        settings->callback = syncCallback;
        settings->callbackArg = &wait;
    }
    std::memset(&wait, 0, sizeof wait);
    return settings;
}

int32_t syncCallback(int32_t operation, SnmpSession*, int32_t requestId, SnmpPdu* pdu, void* callbackArg)
{
    SyncWait* wait = static_cast<SyncWait*>(callbackArg);
    if (wait == nullptr || requestId != wait->requestId)
        return 0;
    if (operation == SnmpOpReceived) {
        // Only a reply ends the wait.
        if (pdu == nullptr || (pdu->command != PduResponse && pdu->command != PduReport))
            return 0;
        wait->waiting = 0;
        // The engine releases the PDU after this call: what it holds moves
        // over rather than being copied, binding by binding.
        wait->response = takePdu(pdu);
        wait->status = wait->response != nullptr ? 0 : 1;
    } else if (operation == SnmpOpTimedOut) {
        wait->waiting = 0;
        wait->status = 2;
    } else if (operation == SnmpOpTooLong) {
        wait->waiting = 0;
        wait->status = SyncReplyTooLong;
    }
    return 1;
}

int32_t syncExchange(SnmpSession* session, SnmpPdu* pdu, SnmpPdu** response)
{
    SyncWait& wait = syncWaitRecord();
    if (response != nullptr)
        *response = nullptr;
    wait.response = nullptr;
    if (pdu == nullptr)
        return 1;
    if (!isRequestCommand(pdu->command)) {
        // Such a PDU leaves no pending entry: nothing would ever end the wait.
        freePdu(pdu);
        return 1;
    }
    wait.requestId = sendPdu(session, pdu);
    if (wait.requestId == 0) {
        freePdu(pdu);
        return 1;
    }

    int32_t result = -1;
    wait.waiting = 1;
    while (wait.waiting != 0) {
        int32_t socketLimit = 0;
        WinFdSet readSet;
        winFdZero(&readSet);
        int32_t block = 1;
        timeval timeLeft = {0, 0};
        prepareWait(&socketLimit, &readSet, &timeLeft, &block);
        if (block == 1) {
            // The awaited request is no longer pending anywhere (its session
            // was closed): neither a reply nor a time-out can end the wait.
            result = 1;
            break;
        }
        // With one session open the wait is a receive with a time limit:
        // mostly one system call instead of a select and a receive.
        SessionSlot* only = libraryState().sessions;
        if (only != nullptr && only->next == nullptr && only->transport->socket != INVALID_SOCKET) {
            if (receiveWithin(only, timeLeft) != 1)
                processTimeouts();
            continue;
        }
        const int ready = winSelect(socketLimit, &readSet, nullptr, nullptr, &timeLeft);
        if (ready > 0) {
            readSockets(&readSet);
        } else if (ready == 0) {
            processTimeouts();
        } else {
            if (ready == -1)
                diagnoseSystemError("select");
            result = 1;
            break;
        }
    }
    wait.waiting = 0;
    if (result < 0)
        result = wait.status;
    // The caller owns whatever reply was copied, whatever the result.
    if (response != nullptr)
        *response = wait.response;
    else
        freePdu(wait.response);
    wait.response = nullptr;
    return result;
}

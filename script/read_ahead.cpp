#include "script/read_ahead.h"

#include <cstring>

#include "platform/runtime.h"
#include "script/arguments.h"
#include "script/module_state.h"
#include "script/value_conversion.h"

namespace {

struct ReadAhead {
    int32_t setting = -1;  // as the script set it: -1 the default, 0 off, above 0 fixed
    int32_t repetitions = ReadAheadStart;  // of the next GetBulk
    int32_t ceiling = 0;  // at most this: half a count the target found too big; 0: none
    VarBind* held = nullptr;  // the rest of the reply that answers the call under way
    VarBind* kept = nullptr;  // what answers the next calls
    // The target the repetitions and the kept bindings belong to.
    CString peer;
    CString community;
    uint16_t remotePort = 0;
    uint16_t localPort = 0;
    DWORD takenAt = 0;  // tick count when the reply of held or kept came
    uint32_t after[LastOidCapacity] = {};  // the name last answered
    int32_t afterCount = 0;
};

ReadAhead& readAhead()
{
    static ReadAhead state;
    return state;
}

int32_t startingRepetitions(const ReadAhead& ahead) { return ahead.setting > 0 ? ahead.setting : ReadAheadStart; }

bool isCurrentTarget(const ReadAhead& ahead)
{
    const ScriptState& state = scriptState();
    return ahead.remotePort == state.lastRemotePort && ahead.localPort == state.lastLocalPort &&
           ahead.peer == CurrentPeer && ahead.community == CurrentCommunity;
}

void takeCurrentTarget(ReadAhead& ahead)
{
    const ScriptState& state = scriptState();
    ahead.peer = CurrentPeer;
    ahead.community = CurrentCommunity;
    ahead.remotePort = state.lastRemotePort;
    ahead.localPort = state.lastLocalPort;
}

// -1, 0, 1 as name a sorts before, equal to or after name b.
int compareNames(const VarBind* a, const VarBind* b)
{
    const int32_t common = a->nameLength < b->nameLength ? a->nameLength : b->nameLength;
    for (int32_t i = 0; i < common; ++i) {
        if (a->name[i] != b->name[i])
            return a->name[i] < b->name[i] ? -1 : 1;
    }
    return a->nameLength == b->nameLength ? 0 : (a->nameLength < b->nameLength ? -1 : 1);
}

// What of the rest of a reply may continue the walk behind its first
// binding: names that increase, up to and including an endOfMibView (which
// repeats the name before it); nothing after either end.
VarBind* continuingPart(const VarBind* first, VarBind* rest)
{
    const VarBind* previous = first;
    VarBind** link = &rest;
    if (first->type != ASN_ENDOFMIBVIEW) {
        while (*link != nullptr) {
            VarBind* next = *link;
            const int order = compareNames(next, previous);
            if (next->type == ASN_ENDOFMIBVIEW && order >= 0) {
                link = &next->next;
                break;
            }
            if (order <= 0)
                break;
            previous = next;
            link = &next->next;
        }
    }
    freeVarList(*link);
    *link = nullptr;
    return rest;
}

// A full reply well inside the message limit lets the next ask for twice
// as many; a third leaves room for values longer than these, since an agent
// may send more than we can receive and such a reply would be lost.
void grow(ReadAhead& ahead, int32_t asked, const SnmpPdu* reply)
{
    int32_t limit = ahead.setting > 0 ? ahead.setting : ReadAheadGrowthLimit;
    if (ahead.ceiling > 0 && ahead.ceiling < limit)
        limit = ahead.ceiling;
    int32_t count = 0;
    for (const VarBind* var = reply->variables; var != nullptr; var = var->next)
        ++count;
    if (asked >= limit || count < asked || reply->messageLength <= 0 || reply->messageLength > SnmpPacketSize / 3)
        return;
    ahead.repetitions = asked > limit / 2 ? limit : 2 * asked;
}

bool isResponse(const SnmpPdu* reply) { return reply != nullptr && reply->command == PduResponse; }

// The get-next that stands in for a GetBulk the agent did not answer: one
// transmission, since the bulk request has waited its whole schedule already.
// An answer means the agent takes GetNext but ignored GetBulk.
VarListHolder getNextAfterSilence(ScopedSession& session, int32_t bulkStatus, bool remember)
{
    SnmpSession* engineSession = session.get();
    const int32_t retries = engineSession->retries;
    engineSession->retries = 0;
    PduHolder request = requestForLastOid(PduGetNextRequest);
    int32_t status = bulkStatus;
    PduHolder reply = request != nullptr ? replyTo(session, std::move(request), &status) : nullptr;
    engineSession->retries = retries;
    if (status == 2 && bulkStatus == SyncAgentSilent)
        status = SyncAgentSilent;
    if (status == 0 && remember)
        rememberBulkRefusal(engineSession);
    return takeVariables(answerFrom(session, status, std::move(reply)));
}

void dropKept(ReadAhead& ahead)
{
    freeVarList(ahead.kept);
    ahead.kept = nullptr;
}

}  // namespace

bool answerFromReadAhead(HostValue& result)
{
    ReadAhead& ahead = readAhead();
    if (ahead.kept == nullptr)
        return false;
    ScriptState& state = scriptState();
    // Unsigned, so that the tick count's wrap does not matter.
    const DWORD age = runtimeTickCount() - ahead.takenAt;
    if (!isCurrentTarget(ahead) || age > ReadAheadFreshMs || ahead.afterCount != state.lastOidCount ||
        std::memcmp(ahead.after, state.lastOid, sizeof(uint32_t) * static_cast<size_t>(state.lastOidCount)) != 0) {
        dropKept(ahead);
        return false;
    }
    const VarListHolder next(ahead.kept);
    ahead.kept = next->next;
    next->next = nullptr;
    state.lastErrorStatus = SNMP_ERR_NOERROR;
    if (bindingToHostValueForLastOid(next.get(), result) && ahead.kept != nullptr) {
        ahead.afterCount = state.lastOidCount;
        std::memcpy(ahead.after, state.lastOid, sizeof(uint32_t) * static_cast<size_t>(state.lastOidCount));
    } else {
        dropKept(ahead);
    }
    return true;
}

VarListHolder walkStep(ScopedSession& session)
{
    ReadAhead& ahead = readAhead();
    SnmpSession* engineSession = session.get();
    const bool bulk = ahead.setting != 0 &&
                      (engineSession->version == SnmpVersion2c || engineSession->version == SnmpVersion3) &&
                      !agentRefusesBulk(engineSession);
    if (!bulk)
        return getNextVariables(session);
    if (!isCurrentTarget(ahead)) {
        dropKept(ahead);
        takeCurrentTarget(ahead);
        ahead.repetitions = startingRepetitions(ahead);
        ahead.ceiling = 0;
    }
    for (;;) {
        const int32_t asked = ahead.repetitions;
        PduHolder request = requestForLastOid(PduGetBulkRequest);
        if (request == nullptr)
            return nullptr;
        request->errorStatus = 0;  // non-repeaters
        request->errorIndex = asked;  // max-repetitions
        int32_t status = 0;
        PduHolder reply = replyTo(session, std::move(request), &status);
        const int32_t errorStatus = status == 0 && isResponse(reply.get()) ? reply->errorStatus : SNMP_ERR_NOERROR;
        // A reply too long to receive says what tooBig says; so, perhaps, does silence.
        const bool tooBig = status == SyncReplyTooLong || errorStatus == SNMP_ERR_TOOBIG;
        const bool silent = status == 2 || status == SyncAgentSilent;
        if ((tooBig || silent) && asked > 1) {
            ahead.repetitions = asked / 2;
            ahead.ceiling = ahead.repetitions;
            if (tooBig)
                continue;
        }
        if (silent) {
            // Silence to a request no larger than a walk starts with is a refusal;
            // to a larger one it may be a reply too large to arrive.
            return getNextAfterSilence(session, status, asked <= startingRepetitions(ahead));
        }
        if (errorStatus != SNMP_ERR_NOERROR && errorStatus != SNMP_ERR_TOOBIG) {
            rememberBulkRefusal(engineSession);
            return getNextVariables(session);
        }
        PduHolder answer = answerFrom(session, status, std::move(reply));
        if (answer != nullptr)
            grow(ahead, asked, answer.get());
        VarListHolder list = takeVariables(std::move(answer));
        if (list != nullptr) {
            freeVarList(ahead.held);
            ahead.takenAt = runtimeTickCount();  // nothing is kept while a request goes out
            ahead.held = continuingPart(list.get(), list->next);
            list->next = nullptr;
        }
        return list;
    }
}

void keepReadAhead(bool answered)
{
    ReadAhead& ahead = readAhead();
    dropKept(ahead);
    if (answered && ahead.held != nullptr) {
        const ScriptState& state = scriptState();
        ahead.kept = ahead.held;
        ahead.held = nullptr;
        ahead.afterCount = state.lastOidCount;
        std::memcpy(ahead.after, state.lastOid, sizeof(uint32_t) * static_cast<size_t>(state.lastOidCount));
        return;
    }
    freeVarList(ahead.held);
    ahead.held = nullptr;
}

void dropReadAhead()
{
    ReadAhead& ahead = readAhead();
    dropKept(ahead);
    freeVarList(ahead.held);
    ahead.held = nullptr;
}

void dropReadAheadOfOtherTarget()
{
    ReadAhead& ahead = readAhead();
    if (ahead.kept != nullptr && !isCurrentTarget(ahead))
        dropKept(ahead);
}

int32_t setReadAhead(int32_t repetitions)
{
    ReadAhead& ahead = readAhead();
    dropReadAhead();
    ahead.setting = repetitions < 0 ? -1 : repetitions;
    ahead.repetitions = startingRepetitions(ahead);
    ahead.ceiling = 0;
    return ahead.setting == 0 ? 0 : ahead.repetitions;
}

void snmpreadahead(const HostValue* args, HostValue& result)
{
    int32_t repetitions = -1;
    if (isNumberValue(args[0])) {
        // Written so that NaN is refused too.
        if (!(args[0].number >= 0 && args[0].number <= ReadAheadSettingLimit)) {
            reportNumber(args[0].number);
            return;
        }
        repetitions = static_cast<int32_t>(args[0].number);
    } else if (args[0].type != HostTypeEmpty) {
        return;
    }
    setNumberResult(result, setReadAhead(repetitions));
}

#include "script/binding_list.h"

#include <cstring>
#include <deque>
#include <vector>

#include "hostapi/host_messages.h"
#include "script/arguments.h"
#include "script/exchange.h"
#include "script/module_state.h"
#include "script/number_conversion.h"
#include "script/oid_text.h"
#include "script/read_ahead.h"
#include "script/value_conversion.h"

namespace {

// A variable's outcome after a list request: its binding out of the
// response, or the agent's error status for it, or neither (no reply).
constexpr int32_t NoOutcome = -1;

struct Outcome {
    VarListHolder binding;
    int32_t status = NoOutcome;
};

struct BindingList {
    PduHolder listed;           // only a holder of the bindings, never sent
    PduHolder names;            // the same names with NULL values, for gets
    std::vector<bool> valued;   // per binding: it carries a set's value
    std::vector<CString> texts;  // the names as the script wrote them, for messages
    bool changed = false;        // since the views and sentTexts were made
    std::vector<VarBind*> nameViews;    // the bindings of names and of listed, in order
    std::vector<VarBind*> listedViews;
    // The outcomes of the last get or set, and the names it sent.
    std::vector<Outcome> outcomes;
    std::vector<CString> sentTexts;
    // Bindings per GetRequest that the target answered without tooBig
    // (0: as many as the message size allows), and that target.
    int32_t learnedChunk = 0;
    CString peer;
    CString community;
    uint16_t remotePort = 0;
    uint16_t localPort = 0;
};

BindingList& bindingList()
{
    static BindingList list;
    return list;
}

// A request's bindings are held to two thirds of the message limit, so that
// the reply, the same names with their values, still fits what we receive.
constexpr int32_t ChunkOctets = SnmpPacketSize * 2 / 3;

int32_t lengthOctets(int32_t length) { return length < 128 ? 1 : (length < 256 ? 2 : 3); }

int32_t subidentifierOctets(uint32_t value)
{
    int32_t octets = 1;
    while (value >= 128) {
        value >>= 7;
        ++octets;
    }
    return octets;
}

// The octets a binding takes in a request: its SEQUENCE (with the encoder's
// four-octet header), the name, and the value (NULL for a get).
int32_t bindingOctets(const VarBind* var, bool withValue)
{
    int32_t name = 0;
    for (int32_t i = 0; i < var->nameLength; ++i)
        name += i == 1 ? 0 : subidentifierOctets(i == 0 && var->nameLength > 1 ? 40 * var->name[0] + var->name[1]
                                                                                : var->name[i]);
    const int32_t value = withValue ? var->valueLength + 1 : 0;  // INTEGER may need a sign octet
    return 4 + 1 + lengthOctets(name) + name + 1 + lengthOctets(value) + value;
}

std::vector<VarBind*> bindingsOf(const PduHolder& holder)
{
    std::vector<VarBind*> bindings;
    for (VarBind* var = holder != nullptr ? holder->variables : nullptr; var != nullptr; var = var->next)
        bindings.push_back(var);
    return bindings;
}

bool isListTarget(const BindingList& list)
{
    const ScriptState& state = scriptState();
    return list.remotePort == state.lastRemotePort && list.localPort == state.lastLocalPort &&
           list.peer == CurrentPeer && list.community == CurrentCommunity;
}

// The outcomes, one per listed binding, all without a reply yet; what a
// poll repeats is made again only when the list changed.
void resetOutcomes(BindingList& list)
{
    if (list.changed) {
        list.nameViews = bindingsOf(list.names);
        list.listedViews = bindingsOf(list.listed);
        list.sentTexts = list.texts;
        list.outcomes.clear();
        list.outcomes.resize(list.texts.size());
        list.changed = false;
        return;
    }
    for (Outcome& outcome : list.outcomes) {
        outcome.binding.reset();
        outcome.status = NoOutcome;
    }
}

bool sameName(const VarBind* a, const VarBind* b)
{
    return a->nameLength == b->nameLength &&
           std::memcmp(a->name, b->name, sizeof(uint32_t) * static_cast<size_t>(a->nameLength)) == 0;
}

// Each requested binding's answer out of the response: the next binding
// when it has the name (agents answer in order), else the first of that
// name among the rest. The response keeps none of its bindings.
void takeBindings(BindingList& list, const std::vector<int32_t>& chunk, const std::vector<VarBind*>& bindings,
                  SnmpPdu* response)
{
    VarListHolder rest(response->variables);
    response->variables = nullptr;
    for (int32_t index : chunk) {
        const VarBind* asked = bindings[static_cast<size_t>(index)];
        VarBind* head = rest.release();
        VarBind** link = &head;
        while (*link != nullptr && !sameName(*link, asked))
            link = &(*link)->next;
        VarBind* found = *link;
        if (found != nullptr) {
            *link = found->next;
            found->next = nullptr;
        }
        rest.reset(head);
        if (found == nullptr)
            continue;
        Outcome& outcome = list.outcomes[static_cast<size_t>(index)];
        outcome.binding.reset(found);
        outcome.status = SNMP_ERR_NOERROR;
    }
}

// A request of the chunk's bindings, each appended in constant time: copies
// of the listed names (NULL values) for a get, of the listed bindings for a
// set. None when memory runs out.
PduHolder requestOf(int32_t command, const std::vector<int32_t>& chunk, const std::vector<VarBind*>& bindings)
{
    PduHolder request(createPdu(command));
    if (request == nullptr)
        return nullptr;
    VarBind** tail = &request->variables;
    for (int32_t index : chunk) {
        *tail = cloneVar(bindings[static_cast<size_t>(index)]);
        if (*tail == nullptr)
            return nullptr;
        tail = &(*tail)->next;
    }
    return request;
}

// The listed names in chunks that fit a request, and no more per chunk than
// the target answered before without tooBig.
std::deque<std::vector<int32_t>> chunksOf(const std::vector<VarBind*>& bindings, int32_t learnedChunk)
{
    std::deque<std::vector<int32_t>> chunks;
    int32_t octets = 0;
    for (size_t i = 0; i < bindings.size(); ++i) {
        const int32_t size = bindingOctets(bindings[i], false);
        if (chunks.empty() || octets + size > ChunkOctets ||
            (learnedChunk > 0 && static_cast<int32_t>(chunks.back().size()) >= learnedChunk)) {
            chunks.emplace_back();
            octets = 0;
        }
        chunks.back().push_back(static_cast<int32_t>(i));
        octets += size;
    }
    return chunks;
}

// Gets every listed name: a chunk the agent finds too big is halved, a
// variable the agent names in an error is taken out (its outcome the error
// status) and the rest asked again. Stops at the first chunk without a reply.
// Answers whether any reply came.
bool getListed(ScopedSession& session, BindingList& list)
{
    const std::vector<VarBind*>& bindings = list.nameViews;
    std::deque<std::vector<int32_t>> work = chunksOf(bindings, list.learnedChunk);
    bool replied = false;
    while (!work.empty()) {
        std::vector<int32_t> chunk = std::move(work.front());
        work.pop_front();
        PduHolder request = requestOf(PduGetRequest, chunk, bindings);
        if (request == nullptr)
            break;
        int32_t status = 0;
        PduHolder reply = replyTo(session, std::move(request), &status);
        const int32_t size = static_cast<int32_t>(chunk.size());
        // A reply too long to receive says what tooBig says.
        const bool tooLong = status == SyncReplyTooLong && size > 1;
        if (status != 0 && !tooLong) {
            answerFrom(session, status, nullptr);
            break;
        }
        replied = replied || !tooLong;
        if (!tooLong) {
            scriptState().lastErrorStatus = static_cast<uint32_t>(reply->errorStatus);
            if (reply->command != PduResponse)
                break;  // a Report: the request itself was refused
        }
        const int32_t errorStatus = tooLong ? SNMP_ERR_TOOBIG : reply->errorStatus;
        if (errorStatus == SNMP_ERR_NOERROR) {
            takeBindings(list, chunk, bindings, reply.get());
        } else if (errorStatus == SNMP_ERR_TOOBIG && size > 1) {
            const int32_t half = (size + 1) / 2;
            list.learnedChunk = half;
            work.emplace_front(chunk.begin() + half, chunk.end());
            work.emplace_front(chunk.begin(), chunk.begin() + half);
        } else if (reply->errorIndex >= 1 && reply->errorIndex <= size && size > 1) {
            const auto culprit = chunk.begin() + (reply->errorIndex - 1);
            list.outcomes[static_cast<size_t>(*culprit)].status = errorStatus;
            chunk.erase(culprit);
            work.emplace_front(std::move(chunk));
        } else {
            for (int32_t index : chunk)
                list.outcomes[static_cast<size_t>(index)].status = errorStatus;
        }
    }
    return replied;
}

// Sets every listed binding in one request. The index of the variable the
// agent named in its error (0 when none), or -1 when no Response came.
int32_t setListed(ScopedSession& session, BindingList& list)
{
    const std::vector<VarBind*>& bindings = list.listedViews;
    std::vector<int32_t> all(bindings.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int32_t>(i);
    PduHolder request = requestOf(PduSetRequest, all, bindings);
    if (request == nullptr)
        return -1;
    int32_t status = 0;
    PduHolder reply = replyTo(session, std::move(request), &status);
    if (status != 0) {
        answerFrom(session, status, nullptr);
        return -1;
    }
    scriptState().lastErrorStatus = static_cast<uint32_t>(reply->errorStatus);
    if (reply->command != PduResponse)
        return -1;
    if (reply->errorStatus == SNMP_ERR_NOERROR) {
        takeBindings(list, all, bindings, reply.get());
        return 0;
    }
    const int32_t size = static_cast<int32_t>(bindings.size());
    const int32_t culprit = reply->errorIndex >= 1 && reply->errorIndex <= size ? reply->errorIndex : 0;
    list.outcomes[static_cast<size_t>(culprit > 0 ? culprit - 1 : 0)].status = reply->errorStatus;
    return culprit;
}

int32_t valuesTaken(const BindingList& list)
{
    int32_t count = 0;
    for (const Outcome& outcome : list.outcomes) {
        const uint8_t type = outcome.binding != nullptr ? outcome.binding->type : ASN_NULL;
        count += outcome.status == SNMP_ERR_NOERROR && type != ASN_NOSUCHOBJECT && type != ASN_NOSUCHINSTANCE &&
                         type != ASN_ENDOFMIBVIEW
                     ? 1
                     : 0;
    }
    return count;
}

// The list get or set once the arguments passed their type checks: the
// target, the settings at settingsIndex, the exchange, the count.
void sendList(const HostValue* args, HostValue& result, int community, int settingsIndex, uint16_t remotePort,
              uint16_t localPort, bool set)
{
    takeTarget(args[0], args[community]);
    if (!takeSettings(args, settingsIndex))
        return;
    BindingList& list = bindingList();
    for (size_t i = 0; set && i < list.valued.size(); ++i) {
        if (!list.valued[i]) {
            // A set needs a value for every name; nothing goes out.
            reportInvalidValue(list.texts[i]);
            return;
        }
    }
    if (set)
        dropReadAhead();
    resetOutcomes(list);
    if (list.texts.empty()) {
        setNumberResult(result, 0);
        return;
    }
    ScopedSession session = openRequestSession(remotePort, localPort);
    if (!session)
        return;
    if (!isListTarget(list)) {
        list.learnedChunk = 0;
        list.peer = CurrentPeer;
        list.community = CurrentCommunity;
        list.remotePort = remotePort;
        list.localPort = localPort;
    }
    // The variable a failure names: the one a set's error names, else the first.
    const int32_t named = set ? setListed(session, list) : (getListed(session, list) ? 0 : -1);
    if (session.agentSilent())
        return;
    const int32_t taken = valuesTaken(list);
    if (named < 0 || (set && taken == 0)) {
        // As a get or set that failed: the name, and the number 0.
        bindingToHostValue(nullptr, result, list.sentTexts[static_cast<size_t>(named > 0 ? named - 1 : 0)]);
        return;
    }
    setNumberResult(result, taken);
}

bool listedTypesAccepted(const HostValue* args) { return isStringValue(args[0]) && isStringValue(args[1]); }

bool exTypesAccepted(const HostValue* args)
{
    return isStringValue(args[0]) && isNumberValue(args[1]) && isNumberValue(args[2]) && isStringValue(args[3]) &&
           portsAccepted(args);
}

}  // namespace

void snmpaddvar(const HostValue* args, HostValue& result)
{
    if (!isStringValue(args[0]))
        return;
    uint32_t name[LastOidCapacity];
    int32_t count = LastOidCapacity;
    if (!parseOidString(args[0].text, name, &count) || count > SnmpOidCapacity) {
        reportInvalidValue(args[0].text);
        return;
    }
    BindingList& list = bindingList();
    if (static_cast<int32_t>(list.texts.size()) >= BindingListCapacity) {
        reportInvalidValue(args[0].text);
        return;
    }
    if (list.listed == nullptr)
        list.listed.reset(createPdu(PduSetRequest));
    if (list.names == nullptr)
        list.names.reset(createPdu(PduGetRequest));
    if (list.listed == nullptr || list.names == nullptr)
        return;
    const bool valued = args[1].type != HostTypeEmpty;
    if (valued) {
        if (!isNumberValue(args[1]) || args[2].type == HostTypeEmpty)
            return;
        if (!typeInRange(args[1].number)) {
            reportNumber(args[1].number);
            return;
        }
        const uint8_t type = typeByte(args[1].number);
        const HostValue* value = args + 2;
        const bool counter64Form = isNumberValue(value[0]) && isNumberValue(value[1]);
        if (!valueAccepted(type, value[0]))
            return;
        if (!addValueBinding(list.listed.get(), name, count, type, value, counter64Form)) {
            reportInvalidValue(value[0].text);
            return;
        }
    } else if (addNullVar(list.listed.get(), name, count) == nullptr) {
        return;
    }
    if (addNullVar(list.names.get(), name, count) == nullptr) {
        // No memory: the binding just added goes again, so both lists agree.
        VarBind* last = list.listed->variables;
        while (last->next != nullptr)
            last = last->next;
        unlinkVar(list.listed.get(), last);
        last->next = nullptr;
        freeVarList(last);
        return;
    }
    list.valued.push_back(valued);
    list.texts.push_back(args[0].text);
    list.changed = true;
    setNumberResult(result, static_cast<int32_t>(list.texts.size()));
}

void snmpclearvars(const HostValue* args, HostValue& result)
{
    if (args[0].type != HostTypeEmpty)
        return;
    BindingList& list = bindingList();
    list.listed.reset();
    list.names.reset();
    list.valued.clear();
    list.texts.clear();
    list.changed = true;
    setNumberResult(result, 0);
}

void snmpgetvars(const HostValue* args, HostValue& result)
{
    if (listedTypesAccepted(args))
        sendList(args, result, 1, 2, 0, 0, false);
}

void snmpgetvarsEx(const HostValue* args, HostValue& result)
{
    if (exTypesAccepted(args))
        sendList(args, result, 3, 4, truncateToLow16(args[1].number), truncateToLow16(args[2].number), false);
}

void snmpsetvars(const HostValue* args, HostValue& result)
{
    if (listedTypesAccepted(args))
        sendList(args, result, 1, 2, 0, 0, true);
}

void snmpsetvarsEx(const HostValue* args, HostValue& result)
{
    if (exTypesAccepted(args))
        sendList(args, result, 3, 4, truncateToLow16(args[1].number), truncateToLow16(args[2].number), true);
}

void snmpvar(const HostValue* args, HostValue& result)
{
    if (!isNumberValue(args[0]))
        return;
    BindingList& list = bindingList();
    const double k = args[0].number;
    // Written so that NaN is refused too.
    if (!(k >= 1 && k < static_cast<double>(list.outcomes.size()) + 1)) {
        reportNumber(k);
        return;
    }
    const Outcome& outcome = list.outcomes[static_cast<size_t>(k) - 1];
    if (outcome.status > 0)
        scriptState().lastErrorStatus = static_cast<uint32_t>(outcome.status);
    else if (outcome.status == SNMP_ERR_NOERROR)
        scriptState().lastErrorStatus = SNMP_ERR_NOERROR;
    bindingToHostValue(outcome.status == SNMP_ERR_NOERROR ? outcome.binding.get() : nullptr, result,
                       list.sentTexts[static_cast<size_t>(k) - 1]);
}

bool appendListedBindings(SnmpPdu* pdu)
{
    BindingList& list = bindingList();
    VarBind** tail = &pdu->variables;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    for (const VarBind* var = list.listed != nullptr ? list.listed->variables : nullptr; var != nullptr;
         var = var->next) {
        *tail = cloneVar(var);
        if (*tail == nullptr)
            return false;
        tail = &(*tail)->next;
    }
    return true;
}

void releaseBindingList()
{
    BindingList& list = bindingList();
    list.listed.reset();
    list.names.reset();
    list.valued.clear();
    list.texts.clear();
    list.outcomes.clear();
    list.sentTexts.clear();
    list.nameViews.clear();
    list.listedViews.clear();
    list.changed = false;
}

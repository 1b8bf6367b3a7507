// Prints the engine-made seeds of the user-based and OID text fuzz targets,
// one per line as "target hexoctets", for make_corpus.py to write into
// fuzz/corpus/<target>/.
//
// fuzz_receive_usec gets genuine messages that the agent's side of the
// fixture encodes (digest and all) and near misses of each hook check;
// fuzz_receive_usm the same for SNMPv3, made by the test agent's encoder;
// fuzz_usec_parameters their parameters strings and the boundary cases of
// each field; fuzz_oid_text texts that formatOidText writes.
#include <cstdio>
#include <string>
#include <vector>

#include "script/oid_text.h"
#include "tools/agent/usm.h"
#include "usec_fixture.h"
#include "usm_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

void emit(const char* target, const Bytes& data)
{
    std::printf("%s ", target);
    for (uint8_t octet : data)
        std::printf("%02x", octet);
    std::printf("\n");
}

void emitText(const char* target, const std::string& text) { emit(target, Bytes(text.begin(), text.end())); }

void setValue(VarBind* var, uint8_t type, const void* value, int32_t length)
{
    var->type = type;
    var->valueLength = length;
    var->value = static_cast<uint8_t*>(std::calloc(1, length > 0 ? static_cast<size_t>(length) : 1));
    if (length > 0)
        std::memcpy(var->value, value, static_cast<size_t>(length));
}

// A PDU with one binding of every value type the codec carries.
SnmpPdu* everyType(int32_t command, int32_t requestId)
{
    SnmpPdu* pdu = createPdu(command);
    pdu->requestId = requestId;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    const int32_t integer = -123456;
    const uint32_t unsigned32 = 4000000000u;
    const Counter64 counter = {0x01020304u, 0x05060708u};
    const uint32_t oid[] = {1, 3, 6, 1, 4, 1, 8072, 3, 2, 10};
    const char text[] = "Linux fuzz 6.1";
    const uint8_t address[] = {127, 0, 0, 1};
    struct {
        uint8_t type;
        const void* value;
        int32_t length;
    } const values[] = {
        {ASN_INTEGER, &integer, 4},        {ASN_OCTET_STR, text, sizeof text - 1},
        {ASN_OBJECT_ID, oid, sizeof oid},  {ASN_IPADDRESS, address, 4},
        {ASN_COUNTER, &unsigned32, 4},     {ASN_GAUGE, &unsigned32, 4},
        {ASN_TIMETICKS, &unsigned32, 4},   {ASN_OPAQUE, text, 4},
        {ASN_COUNTER64, &counter, 8},      {ASN_UINTEGER, &unsigned32, 4},
        {ASN_OCTET_STR, text, 0},          {ASN_NSAP, address, 3},
    };
    for (const auto& v : values) {
        ++name[7];
        setValue(addNullVar(pdu, name, 9), v.type, v.value, v.length);
    }
    for (uint8_t type : {ASN_NULL, ASN_NOSUCHOBJECT, ASN_NOSUCHINSTANCE, ASN_ENDOFMIBVIEW}) {
        ++name[7];
        addNullVar(pdu, name, 9)->type = type;
    }
    return pdu;
}

SnmpPdu* oneNull(int32_t command, int32_t requestId)
{
    SnmpPdu* pdu = createPdu(command);
    pdu->requestId = requestId;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
    addNullVar(pdu, name, 9);
    return pdu;
}

SnmpPdu* trap()
{
    SnmpPdu* pdu = createPdu(PduTrap);
    const uint32_t enterprise[] = {1, 3, 6, 1, 4, 1, 8072};
    pdu->enterprise = static_cast<uint32_t*>(std::malloc(sizeof enterprise));
    std::memcpy(pdu->enterprise, enterprise, sizeof enterprise);
    pdu->enterpriseLength = 7;
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(pdu->agentAddress, loopback, sizeof loopback);
    pdu->genericTrap = 6;
    pdu->specificTrap = 17;
    pdu->timeStamp = 12345;
    const uint32_t name[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    addNullVar(pdu, name, 11);
    return pdu;
}

// Many string bindings: a reply close to the largest datagram.
SnmpPdu* large(int32_t requestId)
{
    SnmpPdu* pdu = createPdu(PduResponse);
    pdu->requestId = requestId;
    pdu->errorStatus = 0;
    pdu->errorIndex = 0;
    uint32_t name[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 0};
    const std::string text(180, 'x');
    for (int i = 0; i < 20; ++i) {
        name[10] = static_cast<uint32_t>(i + 1);
        setValue(addNullVar(pdu, name, 11), ASN_OCTET_STR, text.data(), static_cast<int32_t>(text.size()));
    }
    return pdu;
}

Bytes encode(const SnmpSession& role, SnmpPdu* pdu, int32_t flag = 1)
{
    uint8_t packet[SnmpPacketSize];
    int32_t length = sizeof packet;
    const int32_t status = encodeMessage(&role, pdu, packet, &length, flag);
    freePdu(pdu);
    if (status != 0) {
        std::fprintf(stderr, "seed_tool: a seed message does not encode\n");
        return Bytes();
    }
    return Bytes(packet, packet + length);
}

// Where the parameters string lies inside a message.
bool parametersOf(const Bytes& message, size_t* start, size_t* length)
{
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = sizeof community;
    int32_t version = 0;
    int32_t remaining = static_cast<int32_t>(message.size());
    const uint8_t* pduStart = decodeMessageHeader(message.data(), &remaining, community, &communityLength, &version);
    if (pduStart == nullptr)
        return false;
    *start = static_cast<size_t>(pduStart - message.data()) - static_cast<size_t>(communityLength);
    *length = static_cast<size_t>(communityLength);
    return true;
}

// Digest the message again after it was changed, so that the change passes
// the digest check.
void redigest(Bytes* message, const uint8_t* key)
{
    size_t start = 0;
    size_t length = 0;
    if (!parametersOf(*message, &start, &length))
        return;
    const size_t user = (*message)[start + 24];
    uint8_t* field = message->data() + start + 26 + user;
    std::memcpy(field, key, 16);
    messageDigest(message->data(), static_cast<int32_t>(message->size()), key, field);
}

std::vector<Bytes> receiveSeeds(const uint8_t* key)
{
    using fixture::AgentBoots;
    using fixture::AgentTime;
    const uint8_t auth = SecurityAuth;
    std::vector<Bytes> out;
    auto agent = [&](uint8_t flags, uint32_t boots, int32_t time) { return fixture::agent(key, flags, boots, time); };
    const SnmpSession genuine = agent(auth, AgentBoots, AgentTime);

    // Accepted.
    out.push_back(encode(genuine, everyType(PduResponse, 1001)));
    out.push_back(encode(genuine, oneNull(PduResponse, 1002)));
    out.push_back(encode(genuine, oneNull(PduReport, 1003)));
    out.push_back(encode(agent(SecurityReportable, 0, 0), everyType(PduReport, 1004)));  // unauthenticated report
    out.push_back(encode(genuine, trap()));
    out.push_back(encode(genuine, large(1005)));
    for (int32_t command : {PduGetRequest, PduGetNextRequest, PduSetRequest, PduGetBulkRequest, 0xA6, 0xA7})
        out.push_back(encode(genuine, oneNull(command, 1006)));
    SnmpPdu* empty = oneNull(PduResponse, 1007);
    freeVarList(empty->variables);
    empty->variables = nullptr;
    const Bytes noBindings = encode(genuine, empty);
    out.push_back(noBindings);
    // The clock: moves forward, stays, or lies behind the window.
    out.push_back(encode(agent(auth, AgentBoots + 1, 5), oneNull(PduResponse, 1008)));
    out.push_back(encode(agent(auth, AgentBoots, AgentTime + 100), oneNull(PduResponse, 1009)));
    out.push_back(encode(agent(auth, AgentBoots, AgentTime - 150), oneNull(PduResponse, 1010)));
    out.push_back(encode(agent(auth, AgentBoots, AgentTime - 151), oneNull(PduResponse, 1011)));
    out.push_back(encode(agent(auth, AgentBoots - 1, AgentTime + 1000), oneNull(PduResponse, 1012)));
    out.push_back(encode(agent(auth | SecurityReportable, 0xFFFFFFFFu, -5), oneNull(PduResponse, 1013)));
    // Each later check failing.
    SnmpSession role = genuine;
    role.authKey[3] ^= 0x40;
    out.push_back(encode(role, oneNull(PduResponse, 1014)));  // wrong digest
    role = genuine;
    role.userName[0] = 'F';
    out.push_back(encode(role, oneNull(PduResponse, 1015)));  // unknown user
    role = genuine;
    role.contextLength = 0;
    out.push_back(encode(role, oneNull(PduResponse, 1016)));  // other context
    role = genuine;
    role.agentId[11] ^= 1;
    out.push_back(encode(role, oneNull(PduResponse, 1017)));  // other agent
    out.push_back(encode(agent(0, AgentBoots, AgentTime), oneNull(PduResponse, 1018)));  // unauthenticated
    role = genuine;
    role.maxMessageSize = 483;
    out.push_back(encode(role, oneNull(PduResponse, 1019)));  // bad parameters
    role = genuine;
    role.securityFlags = SecurityAuth | SecurityPriv;
    out.push_back(encode(role, oneNull(PduResponse, 1020)));  // claims privacy
    role = genuine;
    role.contextLength = 41;
    std::memset(role.context, 'c', 41);
    out.push_back(encode(role, oneNull(PduResponse, 1021)));  // context too long
    // A genuine digest, with a clock that moves, over a PDU that does not
    // decode: the bindings tag.
    empty = oneNull(PduResponse, 1024);
    freeVarList(empty->variables);
    empty->variables = nullptr;
    Bytes broken = encode(agent(auth, AgentBoots, AgentTime + 10), empty);
    broken[broken.size() - 2] = 0x31;
    redigest(&broken, key);
    out.push_back(broken);
    // Near misses of a genuine message: cut short, a digest bit flipped.
    Bytes cut = out[1];
    cut.pop_back();
    out.push_back(cut);
    Bytes flipped = out[1];
    size_t start = 0;
    size_t length = 0;
    if (parametersOf(flipped, &start, &length))
        flipped[start + 26 + std::strlen(fixture::User)] ^= 0x01;
    out.push_back(flipped);
    // Community messages reach the hook too.
    SnmpSession plain;
    std::memset(&plain, 0, sizeof plain);
    plain.community = reinterpret_cast<const uint8_t*>("public");
    plain.communityLength = 6;
    out.push_back(encode(plain, everyType(PduResponse, 1022), 0));
    plain.version = SnmpVersion2c;
    out.push_back(encode(plain, oneNull(PduReport, 1023), 0));
    out.push_back(Bytes());
    out.push_back(Bytes{0x30});
    return out;
}

// SNMPv3 replies to the fixture's sessions: genuine ones, each check's near
// misses, the clock at and past its edges.
std::vector<Bytes> usmSeeds()
{
    using namespace testagent;
    const std::vector<uint8_t> engine(usmfixture::EngineId, usmfixture::EngineId + sizeof usmfixture::EngineId);
    std::vector<Bytes> out;
    for (int i = 0; i < usmfixture::SessionCount; ++i) {
        UsmUser user;
        if (!parseUsmUser(usmfixture::AgentUsers[i], engine, &user, nullptr))
            return out;
        UsmShape genuine;
        genuine.flags = SecurityAuth | SecurityPriv;
        genuine.engineId = genuine.contextEngineId = engine;
        genuine.boots = usmfixture::Boots;
        genuine.time = usmfixture::Time;
        genuine.user = user.name;
        genuine.context = i == 0 ? usmfixture::Context : "";
        genuine.auth = user.auth;
        genuine.priv = user.priv;
        genuine.authKey = user.authKey;
        genuine.privKey = user.privKey;
        int32_t id = 2000 + 100 * i;
        const size_t first = out.size();
        // The message of the PDU in the shape, msgID the PDU's request id unless given.
        auto make = [&](UsmShape shape, SnmpPdu* pdu, int32_t msgId = -1) {
            shape.msgId = msgId >= 0 ? msgId : pdu->requestId;
            Bytes bytes;
            encodeUsmShaped(shape, *pdu, &bytes);
            freePdu(pdu);
            out.push_back(bytes);
        };
        auto shifted = [&](int32_t boots, int32_t time) {
            UsmShape shape = genuine;
            shape.boots = boots;
            shape.time = time;
            return shape;
        };
        make(genuine, everyType(PduResponse, ++id));
        make(genuine, oneNull(PduReport, ++id));
        make(genuine, oneNull(PduReport, 0), ++id);  // a Report that names no request
        make(genuine, large(++id));
        make(genuine, oneNull(PduGetRequest, ++id));
        make(genuine, oneNull(PduSetRequest, ++id));
        make(genuine, trap(), ++id);
        make(shifted(usmfixture::Boots + 1, 5), oneNull(PduResponse, ++id));
        make(shifted(usmfixture::Boots, usmfixture::Time + 100), oneNull(PduResponse, ++id));
        make(shifted(usmfixture::Boots, usmfixture::Time - 150), oneNull(PduResponse, ++id));
        make(shifted(usmfixture::Boots, usmfixture::Time - 151), oneNull(PduResponse, ++id));
        make(shifted(usmfixture::Boots - 1, usmfixture::Time + 1000), oneNull(PduResponse, ++id));
        make(shifted(2147483647, 0), oneNull(PduResponse, ++id));
        UsmShape shape = genuine;
        shape.flags = SecurityAuth;
        make(shape, oneNull(PduResponse, ++id));  // below the session's level
        shape.flags = 0;
        make(shape, oneNull(PduReport, ++id));
        shape = genuine;
        shape.authKey[0] ^= 1;
        make(shape, oneNull(PduResponse, ++id));  // wrong digest
        shape = genuine;
        shape.privKey[0] ^= 1;
        make(shape, oneNull(PduResponse, ++id));  // wrong privacy key
        make(genuine, oneNull(PduResponse, id + 2), id + 1);  // msgID not the request's
        id += 2;
        shape = genuine;
        shape.engineId.back() ^= 1;
        make(shape, oneNull(PduResponse, ++id));
        shape = genuine;
        shape.user[0] ^= 0x20;
        make(shape, oneNull(PduResponse, ++id));
        shape = genuine;
        shape.context = "other";
        make(shape, oneNull(PduResponse, ++id));
        // Near misses of the first: cut short, an octet flipped.
        Bytes cut = out[first];
        cut.pop_back();
        out.push_back(cut);
        Bytes flipped = out[first];
        flipped[flipped.size() / 3] ^= 0x01;
        out.push_back(flipped);
    }
    return out;
}

Bytes built(const SnmpSession& session, int32_t flag)
{
    uint8_t out[256];
    int32_t length = sizeof out;
    if (buildUsecParameters(&session, flag, out, &length) != 0)
        return Bytes();
    return Bytes(out, out + length);
}

std::vector<Bytes> parameterSeeds(const uint8_t* key, const std::vector<Bytes>& messages)
{
    std::vector<Bytes> out;
    for (const Bytes& message : messages) {
        size_t start = 0;
        size_t length = 0;
        if (parametersOf(message, &start, &length))
            out.emplace_back(message.begin() + static_cast<long>(start),
                             message.begin() + static_cast<long>(start + length));
    }
    SnmpSession s = fixture::agent(key, 0, fixture::AgentBoots, fixture::AgentTime);
    s.contextLength = 0;
    s.userNameLength = 1;
    const Bytes shortest = built(s, 0);  // 26 + u octets, no digest
    out.push_back(shortest);
    out.emplace_back(shortest.begin(), shortest.end() - 1);
    s.securityFlags = SecurityReportable;
    out.push_back(built(s, 1));
    s.maxMessageSize = 484;
    out.push_back(built(s, 0));
    s.maxMessageSize = 483;
    out.push_back(built(s, 0));
    s.maxMessageSize = 1450;
    s.userNameLength = 16;
    std::memset(s.userName, 'u', 16);
    out.push_back(built(s, 0));
    s.userNameLength = 17;
    out.push_back(built(s, 0));
    s.userNameLength = 0;
    out.push_back(built(s, 0));
    s.userNameLength = 4;
    s.contextLength = 40;
    std::memset(s.context, 'c', 40);
    out.push_back(built(s, 0));
    s.contextLength = 41;
    out.push_back(built(s, 0));
    s.securityFlags = SecurityAuth;
    s.contextLength = 40;
    const Bytes longest = built(s, 0);
    out.push_back(longest);
    out.emplace_back(longest.begin(), longest.begin() + 26 + 4 + 15);  // digest cut short
    return out;
}

std::vector<std::string> oidSeeds()
{
    const std::vector<std::vector<uint32_t>> oids = {
        {},
        {0},
        {1, 3},
        {1, 3, 6, 1, 2, 1, 1, 3, 0},
        {1, 3, 6, 1, 4, 1, 8072, 3, 2, 10},
        {0, 0, 4294967295u, 10, 100, 1000},
        {2, 999, 65535, 65536},
    };
    std::vector<std::string> out;
    for (const auto& oid : oids)
        out.push_back(formatOidText(oid.data(), static_cast<int32_t>(oid.size())).GetString());
    std::vector<uint32_t> longest(256);
    for (size_t i = 0; i < longest.size(); ++i)
        longest[i] = static_cast<uint32_t>(i * 7919);
    out.push_back(formatOidText(longest.data(), 256).GetString());
    return out;
}

}  // namespace

int main()
{
    const uint8_t* key = fixture::setUp();
    const std::vector<Bytes> messages = receiveSeeds(key);
    for (const Bytes& message : messages)
        emit("fuzz_receive_usec", message);
    for (const Bytes& parameters : parameterSeeds(key, messages))
        emit("fuzz_usec_parameters", parameters);
    for (const Bytes& message : usmSeeds())
        emit("fuzz_receive_usm", message);
    for (const std::string& text : oidSeeds())
        emitText("fuzz_oid_text", text);
    return 0;
}

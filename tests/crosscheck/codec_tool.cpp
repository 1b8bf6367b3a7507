// A command-line face of the message codec, for checks against independent
// decoders and encoders.
//
//   codec_tool encode < description   prints the encoded message in hex
//   codec_tool decode < hex           prints the decoded message as a description
//
// A description has one field per line:
//   version N | community HEX | command HEX | request-id N | error-status N |
//   error-index N | enterprise DOTTED | agent-addr HEX | generic-trap N |
//   specific-trap N | time-stamp N | bind DOTTED TYPEHEX VALUE
// VALUE by type: decimal for the integer types (Counter64 as one 64-bit
// number), "x:" and hex octets for the string types and BIT STRING, dotted for
// OBJECT IDENTIFIER, "-" for no value. decode prints "result N" first.
#include <arpa/inet.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/codec/message.h"
#include "snmp/security/common/signed_message.h"

namespace {

std::vector<uint8_t> fromHex(const std::string& text)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::string toHex(const uint8_t* data, size_t length)
{
    std::string out;
    char pair[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        out += pair;
    }
    return out;
}

std::vector<uint32_t> fromDotted(const std::string& text)
{
    std::vector<uint32_t> out;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, '.'))
        if (!part.empty())
            out.push_back(static_cast<uint32_t>(std::stoul(part)));
    return out;
}

std::string toDotted(const uint32_t* oid, int32_t count)
{
    std::string out;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0)
            out += '.';
        out += std::to_string(oid[i]);
    }
    return out;
}

template <typename T>
uint8_t* heapValue(const T& value)
{
    auto* block = static_cast<uint8_t*>(std::calloc(1, sizeof(T)));
    std::memcpy(block, &value, sizeof(T));
    return block;
}

uint8_t* heapBytes(const std::vector<uint8_t>& bytes)
{
    auto* block = static_cast<uint8_t*>(std::calloc(bytes.empty() ? 1 : bytes.size(), 1));
    if (!bytes.empty())
        std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

bool setValue(VarBind* var, uint8_t type, const std::string& value)
{
    var->type = type;
    switch (type) {
    case ASN_INTEGER:
        var->value = heapValue(static_cast<int32_t>(std::stol(value)));
        var->valueLength = 4;
        return true;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        var->value = heapValue(static_cast<uint32_t>(std::stoul(value)));
        var->valueLength = 4;
        return true;
    case ASN_COUNTER64: {
        const unsigned long long v = std::stoull(value);
        var->value = heapValue(Counter64{static_cast<uint32_t>(v >> 32), static_cast<uint32_t>(v)});
        var->valueLength = 8;
        return true;
    }
    case ASN_OBJECT_ID: {
        const auto oid = fromDotted(value);
        var->value = static_cast<uint8_t*>(std::calloc(oid.size() + 1, sizeof(uint32_t)));
        if (!oid.empty())
            std::memcpy(var->value, oid.data(), oid.size() * sizeof(uint32_t));
        var->valueLength = static_cast<int32_t>(oid.size() * 4);
        return true;
    }
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_NSAP:
    case ASN_BIT_STR: {
        if (value.compare(0, 2, "x:") != 0)
            return false;
        const auto bytes = fromHex(value.substr(2));
        var->value = heapBytes(bytes);
        var->valueLength = static_cast<int32_t>(bytes.size());
        return true;
    }
    default:
        return value == "-";
    }
}

int encodeCommand()
{
    SnmpSession session{};
    std::vector<uint8_t> community;
    SnmpPdu* pdu = createPdu(PduGetRequest);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::stringstream in(line);
        std::string key;
        if (!(in >> key))
            continue;
        std::string a, b, c;
        in >> a >> b >> c;
        if (key == "version") {
            session.version = static_cast<int32_t>(std::stol(a));
        } else if (key == "community") {
            community = fromHex(a);
        } else if (key == "command") {
            pdu->command = static_cast<int32_t>(std::stoul(a, nullptr, 16));
        } else if (key == "request-id") {
            pdu->requestId = static_cast<int32_t>(std::stol(a));
        } else if (key == "error-status") {
            pdu->errorStatus = static_cast<int32_t>(std::stol(a));
        } else if (key == "error-index") {
            pdu->errorIndex = static_cast<int32_t>(std::stol(a));
        } else if (key == "enterprise") {
            const auto oid = fromDotted(a);
            std::free(pdu->enterprise);
            pdu->enterprise = static_cast<uint32_t*>(std::calloc(oid.size() + 1, sizeof(uint32_t)));
            std::memcpy(pdu->enterprise, oid.data(), oid.size() * sizeof(uint32_t));
            pdu->enterpriseLength = static_cast<int32_t>(oid.size());
        } else if (key == "agent-addr") {
            const auto bytes = fromHex(a);
            std::memcpy(pdu->agentAddress, bytes.data(), bytes.size() < 4 ? bytes.size() : 4);
        } else if (key == "generic-trap") {
            pdu->genericTrap = static_cast<int32_t>(std::stol(a));
        } else if (key == "specific-trap") {
            pdu->specificTrap = static_cast<int32_t>(std::stol(a));
        } else if (key == "time-stamp") {
            pdu->timeStamp = static_cast<uint32_t>(std::stoul(a));
        } else if (key == "bind") {
            const auto name = fromDotted(a);
            VarBind* var = addNullVar(pdu, name.data(), static_cast<int32_t>(name.size()));
            if (var == nullptr || !setValue(var, static_cast<uint8_t>(std::stoul(b, nullptr, 16)), c)) {
                std::cerr << "bad binding: " << line << "\n";
                freePdu(pdu);
                return 2;
            }
        } else {
            std::cerr << "unknown field: " << key << "\n";
            freePdu(pdu);
            return 2;
        }
    }
    session.community = community.data();
    session.communityLength = static_cast<int32_t>(community.size());
    uint8_t packet[SnmpPacketSize];
    int32_t length = sizeof packet;
    const int32_t result = encodeMessage(&session, pdu, packet, &length, 0);
    freePdu(pdu);
    if (result != 0) {
        std::cout << "error " << result << "\n";
        return 1;
    }
    std::cout << toHex(packet, static_cast<size_t>(length)) << "\n";
    return 0;
}

void printValue(const VarBind* var)
{
    if (var->value == nullptr) {
        std::cout << "-";
        return;
    }
    switch (var->type) {
    case ASN_INTEGER: {
        int32_t v;
        std::memcpy(&v, var->value, 4);
        std::cout << v;
        return;
    }
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER: {
        uint32_t v;
        std::memcpy(&v, var->value, 4);
        std::cout << v;
        return;
    }
    case ASN_COUNTER64: {
        Counter64 v;
        std::memcpy(&v, var->value, 8);
        std::cout << ((static_cast<uint64_t>(v.high) << 32) | v.low);
        return;
    }
    case ASN_OBJECT_ID: {
        std::vector<uint32_t> oid(static_cast<size_t>(var->valueLength / 4));
        std::memcpy(oid.data(), var->value, oid.size() * 4);
        std::cout << toDotted(oid.data(), static_cast<int32_t>(oid.size()));
        return;
    }
    default:
        std::cout << "x:" << toHex(var->value, static_cast<size_t>(var->valueLength));
    }
}

int decodeCommand()
{
    std::string hex, line;
    while (std::getline(std::cin, line))
        for (char ch : line)
            if (std::isxdigit(static_cast<unsigned char>(ch)))
                hex += ch;
    auto bytes = fromHex(hex);
    // Exactly as many octets as received.
    auto* data = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());

    int32_t remaining = static_cast<int32_t>(bytes.size());
    uint8_t community[SnmpCommunityCapacity];
    int32_t communityLength = sizeof community;
    int32_t version = -1;
    const bool header =
        decodeMessageHeader(data, &remaining, community, &communityLength, &version) != nullptr;

    auto* pdu = static_cast<SnmpPdu*>(std::calloc(1, sizeof(SnmpPdu)));
    const int32_t result = decodeMessage(nullptr, pdu, data, static_cast<int32_t>(bytes.size()));
    std::cout << "result " << result << "\n";
    if (result == 0 && header) {
        std::cout << "version " << version << "\n";
        std::cout << "community " << toHex(community, static_cast<size_t>(communityLength)) << "\n";
        std::cout << "command " << std::hex << pdu->command << std::dec << "\n";
        if (pdu->command == PduTrap) {
            std::cout << "enterprise " << toDotted(pdu->enterprise, pdu->enterpriseLength) << "\n";
            std::cout << "agent-addr " << toHex(pdu->agentAddress, 4)
                      << "\n";
            std::cout << "generic-trap " << pdu->genericTrap << "\n";
            std::cout << "specific-trap " << pdu->specificTrap << "\n";
            std::cout << "time-stamp " << pdu->timeStamp << "\n";
        } else {
            std::cout << "request-id " << pdu->requestId << "\n";
            std::cout << "error-status " << pdu->errorStatus << "\n";
            std::cout << "error-index " << pdu->errorIndex << "\n";
        }
        for (const VarBind* var = pdu->variables; var != nullptr; var = var->next) {
            char type[3];
            std::snprintf(type, sizeof type, "%02x", var->type);
            std::cout << "bind " << toDotted(var->name, var->nameLength) << " " << type << " ";
            printValue(var);
            std::cout << "\n";
        }
    }
    freePdu(pdu);
    std::free(data);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "encode")
        return encodeCommand();
    if (command == "decode")
        return decodeCommand();
    std::cerr << "usage: codec_tool encode|decode < input\n";
    return 2;
}

#include "tools/agent/mib_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/hex_digits.h"
#include "snmp/codec/message.h"

namespace testagent {

const OidVector BuiltInEnterprise = {1, 3, 6, 1, 4, 1, 99999};
const OidVector BuiltInTypes = {1, 3, 6, 1, 4, 1, 99999, 1};
const OidVector GeneratedTable = {1, 3, 6, 1, 4, 1, 99999, 2};

namespace {

template <typename T>
std::vector<uint8_t> rawValue(const T& v)
{
    std::vector<uint8_t> out(sizeof v);
    std::memcpy(out.data(), &v, sizeof v);
    return out;
}

template <typename T>
T readRaw(const std::vector<uint8_t>& value)
{
    T v{};
    if (value.size() == sizeof v)
        std::memcpy(&v, value.data(), sizeof v);
    return v;
}

std::string lower(std::string s)
{
    for (char& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

std::string trim(const std::string& s)
{
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1])))
        --end;
    return s.substr(begin, end - begin);
}

// Decimal, or hexadecimal after "0x"; no sign. False on overflow of 64 bits.
bool parseUnsigned64(const std::string& text, uint64_t* out)
{
    if (text.empty())
        return false;
    uint64_t v = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        for (size_t i = 2; i < text.size(); ++i) {
            const int d = hexDigitValue(text[i]);
            if (d < 0 || v > (UINT64_MAX >> 4))
                return false;
            v = (v << 4) | static_cast<uint64_t>(d);
        }
    } else {
        for (char ch : text) {
            if (ch < '0' || ch > '9')
                return false;
            const uint64_t d = static_cast<uint64_t>(ch - '0');
            if (v > (UINT64_MAX - d) / 10)
                return false;
            v = v * 10 + d;
        }
    }
    *out = v;
    return true;
}

bool parseUnsigned32(const std::string& text, uint32_t* out)
{
    uint64_t v = 0;
    if (!parseUnsigned64(text, &v) || v > UINT32_MAX)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool parseSigned32(const std::string& text, int32_t* out)
{
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!parseUnsigned64(negative ? text.substr(1) : text, &magnitude))
        return false;
    if (negative ? magnitude > 2147483648ull : magnitude > 2147483647ull)
        return false;
    *out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

// Hex octets: pairs of digits, optionally "0x" first, blanks and ':' between
// octets allowed.
bool parseHex(const std::string& text, std::vector<uint8_t>* out)
{
    std::string digits;
    size_t start = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        start = 2;
    out->clear();
    int pending = -1;
    for (size_t i = start; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ':' || std::isspace(static_cast<unsigned char>(ch))) {
            if (pending >= 0)
                return false;  // a separator inside an octet
            continue;
        }
        const int d = hexDigitValue(ch);
        if (d < 0)
            return false;
        if (pending < 0) {
            pending = d;
        } else {
            out->push_back(static_cast<uint8_t>(pending * 16 + d));
            pending = -1;
        }
    }
    return pending < 0;
}

std::string hexText(const std::vector<uint8_t>& value)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (i > 0)
            out += ':';
        out += digits[value[i] >> 4];
        out += digits[value[i] & 15];
    }
    return out;
}

// A double-quoted string with \\ \" \n \r \t \xHH escapes, nothing after the
// closing quote.
bool parseQuoted(const std::string& text, std::vector<uint8_t>* out, std::string* error)
{
    out->clear();
    size_t i = 1;
    while (i < text.size()) {
        const char ch = text[i];
        if (ch == '"') {
            if (i + 1 != text.size()) {
                *error = "text after the closing quote";
                return false;
            }
            return true;
        }
        if (ch != '\\') {
            out->push_back(static_cast<uint8_t>(ch));
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            break;
        const char esc = text[i + 1];
        switch (esc) {
        case '\\':
        case '"':
            out->push_back(static_cast<uint8_t>(esc));
            i += 2;
            break;
        case 'n':
            out->push_back('\n');
            i += 2;
            break;
        case 'r':
            out->push_back('\r');
            i += 2;
            break;
        case 't':
            out->push_back('\t');
            i += 2;
            break;
        case 'x': {
            const int hi = i + 2 < text.size() ? hexDigitValue(text[i + 2]) : -1;
            const int lo = i + 3 < text.size() ? hexDigitValue(text[i + 3]) : -1;
            if (hi < 0 || lo < 0) {
                *error = "\\x needs two hex digits";
                return false;
            }
            out->push_back(static_cast<uint8_t>(hi * 16 + lo));
            i += 4;
            break;
        }
        default:
            *error = std::string("unknown escape \\") + esc;
            return false;
        }
    }
    *error = "missing closing quote";
    return false;
}

std::string quoted(const std::vector<uint8_t>& value, bool escapeBlanks)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (uint8_t ch : value) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch == ' ' && !escapeBlanks) {
            out += ' ';
        } else if (ch > ' ' && ch < 0x7F) {
            out += static_cast<char>(ch);
        } else {
            out += "\\x";
            out += digits[ch >> 4];
            out += digits[ch & 15];
        }
    }
    out += '"';
    return out;
}

bool plainPrintable(const std::vector<uint8_t>& value)
{
    if (value.empty() || value.front() == ' ' || value.back() == ' ' || value.front() == '"')
        return false;
    for (uint8_t ch : value)
        if (ch < ' ' || ch >= 0x7F)
            return false;
    return true;
}

// How a type's value is written in the table format.
enum class Form { Signed, Unsigned, Wide, Text, Hex, Oid, Address, None, Unsupported };

Form formOf(uint8_t type)
{
    switch (type) {
    case ASN_INTEGER:
        return Form::Signed;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        return Form::Unsigned;
    case ASN_COUNTER64:
        return Form::Wide;
    case ASN_OCTET_STR:
        return Form::Text;
    case ASN_BIT_STR:
    case ASN_OPAQUE:
    case ASN_NSAP:
        return Form::Hex;
    case ASN_OBJECT_ID:
        return Form::Oid;
    case ASN_IPADDRESS:
        return Form::Address;
    case ASN_NULL:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        return Form::None;
    default:
        return Form::Unsupported;
    }
}

struct Keyword {
    const char* word;
    uint8_t type;
};

// The first keyword of each type is the one the table is written with.
const Keyword keywords[] = {
    {"integer", ASN_INTEGER},     {"string", ASN_OCTET_STR},   {"hex", ASN_OCTET_STR},
    {"null", ASN_NULL},           {"oid", ASN_OBJECT_ID},      {"ipaddress", ASN_IPADDRESS},
    {"counter", ASN_COUNTER},     {"gauge", ASN_GAUGE},        {"timeticks", ASN_TIMETICKS},
    {"opaque", ASN_OPAQUE},       {"counter64", ASN_COUNTER64}, {"unsigned", ASN_UINTEGER},
    {"nsap", ASN_NSAP},           {"bitstring", ASN_BIT_STR},  {"integer32", ASN_INTEGER},
    {"octetstring", ASN_OCTET_STR}, {"objectid", ASN_OBJECT_ID}, {"ip", ASN_IPADDRESS},
    {"counter32", ASN_COUNTER},   {"gauge32", ASN_GAUGE},      {"unsigned32", ASN_UINTEGER},
};

}  // namespace

std::vector<uint8_t> int32Value(int32_t v) { return rawValue(v); }
std::vector<uint8_t> uint32Value(uint32_t v) { return rawValue(v); }
std::vector<uint8_t> counter64Value(uint64_t v)
{
    const Counter64 c{static_cast<uint32_t>(v >> 32), static_cast<uint32_t>(v)};
    return rawValue(c);
}
std::vector<uint8_t> oidValue(const OidVector& oid)
{
    std::vector<uint8_t> out(oid.size() * sizeof(uint32_t));
    if (!oid.empty())
        std::memcpy(out.data(), oid.data(), out.size());
    return out;
}
std::vector<uint8_t> bytesValue(const std::string& octets) { return std::vector<uint8_t>(octets.begin(), octets.end()); }

Variable makeVariable(const OidVector& name, uint8_t type, std::vector<uint8_t> value)
{
    Variable var;
    var.name = name;
    var.type = type;
    var.value = std::move(value);
    return var;
}

bool parseOid(const std::string& text, OidVector* oid)
{
    OidVector out;
    size_t i = (!text.empty() && text[0] == '.') ? 1 : 0;
    if (i >= text.size())
        return false;
    while (true) {
        size_t end = text.find('.', i);
        const std::string part = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        uint64_t v = 0;
        if (part.empty() || part.size() > 10 || !std::all_of(part.begin(), part.end(), [](char ch) {
                return ch >= '0' && ch <= '9';
            }))
            return false;
        if (!parseUnsigned64(part, &v) || v > UINT32_MAX)
            return false;
        out.push_back(static_cast<uint32_t>(v));
        if (end == std::string::npos)
            break;
        i = end + 1;
    }
    *oid = std::move(out);
    return true;
}

std::string formatOid(const uint32_t* oid, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += '.';
        out += std::to_string(oid[i]);
    }
    return out;
}

std::string formatOid(const OidVector& oid) { return formatOid(oid.data(), oid.size()); }

bool oidStartsWith(const OidVector& name, const OidVector& prefix)
{
    return name.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

bool parseType(const std::string& word, uint8_t* type)
{
    const std::string w = lower(word);
    for (const Keyword& k : keywords) {
        if (w == k.word) {
            *type = k.type;
            return true;
        }
    }
    uint64_t number = 0;
    if (!parseUnsigned64(w, &number) || number > 255)
        return false;
    if (formOf(static_cast<uint8_t>(number)) == Form::Unsupported)
        return false;
    *type = static_cast<uint8_t>(number);
    return true;
}

std::string typeKeyword(uint8_t type)
{
    for (const Keyword& k : keywords)
        if (k.type == type)
            return k.word;
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02x", static_cast<unsigned>(type));
    return buffer;
}

bool parseValue(uint8_t type, const std::string& text, std::vector<uint8_t>* value, std::string* error)
{
    switch (formOf(type)) {
    case Form::Signed: {
        int32_t v = 0;
        if (!parseSigned32(text, &v)) {
            *error = "not a 32-bit signed integer: '" + text + "'";
            return false;
        }
        *value = int32Value(v);
        return true;
    }
    case Form::Unsigned: {
        uint32_t v = 0;
        if (!parseUnsigned32(text, &v)) {
            *error = "not a 32-bit unsigned integer: '" + text + "'";
            return false;
        }
        *value = uint32Value(v);
        return true;
    }
    case Form::Wide: {
        const size_t comma = text.find(',');
        if (comma != std::string::npos) {
            uint32_t high = 0;
            uint32_t low = 0;
            if (!parseUnsigned32(trim(text.substr(0, comma)), &high) || !parseUnsigned32(trim(text.substr(comma + 1)), &low)) {
                *error = "not a high,low pair of 32-bit words: '" + text + "'";
                return false;
            }
            *value = counter64Value((static_cast<uint64_t>(high) << 32) | low);
            return true;
        }
        uint64_t v = 0;
        if (!parseUnsigned64(text, &v)) {
            *error = "not a 64-bit unsigned integer: '" + text + "'";
            return false;
        }
        *value = counter64Value(v);
        return true;
    }
    case Form::Text:
        if (!text.empty() && text[0] == '"')
            return parseQuoted(text, value, error);
        *value = bytesValue(text);
        return true;
    case Form::Hex:
        if (!parseHex(text, value)) {
            *error = "not hex octets: '" + text + "'";
            return false;
        }
        return true;
    case Form::Oid: {
        OidVector oid;
        if (!parseOid(text, &oid)) {
            *error = "not a dotted OID: '" + text + "'";
            return false;
        }
        *value = oidValue(oid);
        return true;
    }
    case Form::Address: {
        OidVector parts;
        if (!parseOid(text, &parts) || parts.size() != 4 || text[0] == '.' ||
            std::any_of(parts.begin(), parts.end(), [](uint32_t p) { return p > 255; })) {
            *error = "not a dotted IPv4 address: '" + text + "'";
            return false;
        }
        value->assign(parts.begin(), parts.end());
        return true;
    }
    case Form::None:
        if (!text.empty()) {
            *error = "this type takes no value: '" + text + "'";
            return false;
        }
        value->clear();
        return true;
    case Form::Unsupported:
        break;
    }
    *error = "unsupported type " + typeKeyword(type);
    return false;
}

std::string formatValue(uint8_t type, const std::vector<uint8_t>& value, bool oneToken)
{
    switch (formOf(type)) {
    case Form::Signed:
        return std::to_string(readRaw<int32_t>(value));
    case Form::Unsigned:
        return std::to_string(readRaw<uint32_t>(value));
    case Form::Wide: {
        const Counter64 c = readRaw<Counter64>(value);
        return std::to_string((static_cast<uint64_t>(c.high) << 32) | c.low);
    }
    case Form::Text:
        if (!oneToken && plainPrintable(value))
            return std::string(value.begin(), value.end());
        return quoted(value, oneToken);
    case Form::Hex:
        return hexText(value);
    case Form::Oid: {
        OidVector oid(value.size() / 4);
        if (!oid.empty())
            std::memcpy(oid.data(), value.data(), oid.size() * 4);
        return formatOid(oid);
    }
    case Form::Address:
        if (value.size() == 4)
            return std::to_string(value[0]) + "." + std::to_string(value[1]) + "." + std::to_string(value[2]) + "." +
                   std::to_string(value[3]);
        return hexText(value);
    case Form::None:
        return "";
    case Form::Unsupported:
        break;
    }
    return hexText(value);
}

bool representable(const OidVector& oid)
{
    // BER folds the first two arcs into one sub-identifier (40 * first +
    // second); anything else would travel as another name.
    if (oid.size() < 2 || oid[0] > 2)
        return false;
    return oid[0] == 2 ? oid[1] <= UINT32_MAX - 80 : oid[1] < 40;
}

bool encodable(const Variable& var)
{
    if (var.name.size() > static_cast<size_t>(SnmpOidCapacity) || var.value.size() > static_cast<size_t>(SnmpPacketSize))
        return false;
    if (!representable(var.name))
        return false;
    if (var.type == ASN_OBJECT_ID) {
        OidVector value(var.value.size() / 4);
        if (!value.empty())
            std::memcpy(value.data(), var.value.data(), value.size() * 4);
        if (var.value.size() % 4 != 0 || !representable(value))
            return false;
    }
    uint8_t buffer[SnmpPacketSize];
    int32_t remaining = SnmpPacketSize;
    return encodeVarBind(buffer, &remaining, var.name.data(), static_cast<int32_t>(var.name.size()), var.type,
                         static_cast<int32_t>(var.value.size()), var.value.empty() ? nullptr : var.value.data()) !=
           nullptr;
}

bool parseLine(const std::string& line, Variable* var, std::string* error)
{
    error->clear();
    const std::string text = trim(line);
    if (text.empty() || text[0] == '#')
        return false;
    std::istringstream words(text);
    std::string oidWord;
    std::string typeWord;
    words >> oidWord >> typeWord;
    if (typeWord.empty()) {
        *error = "expected 'OID TYPE VALUE'";
        return false;
    }
    Variable out;
    if (!parseOid(oidWord, &out.name)) {
        *error = "not a dotted OID: '" + oidWord + "'";
        return false;
    }
    if (!parseType(typeWord, &out.type)) {
        *error = "unknown type '" + typeWord + "'";
        return false;
    }
    std::string rest;
    std::getline(words, rest);
    rest = trim(rest);
    if (lower(typeWord) == "hex") {
        // Binary OCTET STRING written as hex octets.
        if (!parseHex(rest, &out.value)) {
            *error = "not hex octets: '" + rest + "'";
            return false;
        }
    } else if (!parseValue(out.type, rest, &out.value, error)) {
        return false;
    }
    if (!encodable(out)) {
        *error = "the engine cannot send this variable faithfully (an OID that BER cannot carry, a name or "
                 "value too long, or a malformed value)";
        return false;
    }
    *var = std::move(out);
    return true;
}

std::string formatLine(const Variable& var)
{
    const bool binary = std::any_of(var.value.begin(), var.value.end(), [](uint8_t ch) { return ch < ' ' || ch >= 0x7F; });
    if (var.type == ASN_OCTET_STR && binary)
        return formatOid(var.name) + " hex " + hexText(var.value);
    std::string line = formatOid(var.name) + " " + typeKeyword(var.type);
    const std::string value = formatValue(var.type, var.value, false);
    if (!value.empty())
        line += " " + value;
    return line;
}

void MibTable::addObject(const OidVector& name)
{
    if (!name.empty())
        ++objects_[OidVector(name.begin(), name.end() - 1)];
}

void MibTable::removeObject(const OidVector& name)
{
    if (name.empty())
        return;
    auto it = objects_.find(OidVector(name.begin(), name.end() - 1));
    if (it != objects_.end() && --it->second == 0)
        objects_.erase(it);
}

void MibTable::put(Variable var)
{
    auto it = map_.find(var.name);
    if (it != map_.end()) {
        it->second = std::move(var);
        return;
    }
    insert(std::move(var));
}

bool MibTable::insert(Variable var)
{
    OidVector key = var.name;
    const bool added = map_.emplace(key, std::move(var)).second;
    if (added)
        addObject(key);
    return added;
}

bool MibTable::erase(const OidVector& name)
{
    if (map_.erase(name) == 0)
        return false;
    removeObject(name);
    return true;
}

bool MibTable::underKnownObject(const OidVector& name) const
{
    OidVector prefix;
    for (size_t k = 0; k <= name.size(); ++k) {
        if (objects_.count(prefix) > 0)
            return true;
        if (k < name.size())
            prefix.push_back(name[k]);
    }
    return false;
}

const Variable* MibTable::find(const OidVector& name) const
{
    auto it = map_.find(name);
    return it == map_.end() ? nullptr : &it->second;
}

const Variable* MibTable::next(const OidVector& name) const
{
    auto it = map_.upper_bound(name);
    return it == map_.end() ? nullptr : &it->second;
}

bool MibTable::hasUnder(const OidVector& prefix) const
{
    auto it = map_.lower_bound(prefix);
    return it != map_.end() && oidStartsWith(it->first, prefix);
}

bool MibTable::loadText(const std::string& text, std::string* error)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        Variable var;
        std::string reason;
        if (!parseLine(line, &var, &reason)) {
            if (reason.empty())
                continue;  // blank or comment
            *error = std::to_string(number) + ": " + reason;
            return false;
        }
        const std::string name = formatOid(var.name);
        if (!insert(std::move(var))) {
            *error = std::to_string(number) + ": " + name + " is already in the table";
            return false;
        }
    }
    return true;
}

bool MibTable::loadFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open";
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (!loadText(content.str(), error)) {
        *error = path + ":" + *error;
        return false;
    }
    return true;
}

std::string MibTable::toText() const
{
    std::string out;
    for (const auto& entry : map_)
        out += formatLine(entry.second) + "\n";
    return out;
}

MibTable MibTable::builtIn()
{
    MibTable table;
    const OidVector system = {1, 3, 6, 1, 2, 1, 1};
    auto sys = [&](uint32_t column) {
        OidVector name = system;
        name.push_back(column);
        name.push_back(0);
        return name;
    };
    table.put(makeVariable(sys(1), ASN_OCTET_STR, bytesValue("Vantor SNMP test agent")));
    table.put(makeVariable(sys(2), ASN_OBJECT_ID, oidValue(BuiltInEnterprise)));
    table.put(makeVariable(sys(3), ASN_TIMETICKS, uint32Value(123456)));
    table.put(makeVariable(sys(4), ASN_OCTET_STR, bytesValue("tests@localhost")));
    table.put(makeVariable(sys(5), ASN_OCTET_STR, bytesValue("test-agent")));
    table.put(makeVariable(sys(6), ASN_OCTET_STR, bytesValue("loopback")));
    table.put(makeVariable(sys(7), ASN_INTEGER, int32Value(72)));

    auto typed = [&](uint32_t n) {
        OidVector name = BuiltInTypes;
        name.push_back(n);
        name.push_back(0);
        return name;
    };
    OidVector pointer = BuiltInEnterprise;
    pointer.push_back(42);
    pointer.push_back(7);
    table.put(makeVariable(typed(1), ASN_INTEGER, int32Value(-42)));
    table.put(makeVariable(typed(2), ASN_OCTET_STR, bytesValue("Hello, world")));
    table.put(makeVariable(typed(3), ASN_OCTET_STR, bytesValue(std::string("\x00\x01\x7f\x80\xfe\xff", 6))));
    table.put(makeVariable(typed(4), ASN_NULL, {}));
    table.put(makeVariable(typed(5), ASN_OBJECT_ID, oidValue(pointer)));
    table.put(makeVariable(typed(6), ASN_IPADDRESS, {192, 0, 2, 1}));
    table.put(makeVariable(typed(7), ASN_COUNTER, uint32Value(4294967295u)));
    table.put(makeVariable(typed(8), ASN_GAUGE, uint32Value(1000000)));
    table.put(makeVariable(typed(9), ASN_TIMETICKS, uint32Value(8640000)));
    table.put(makeVariable(typed(10), ASN_OPAQUE, {0x9f, 0x78, 0x04, 0x3f, 0x80, 0x00, 0x00}));
    table.put(makeVariable(typed(11), ASN_COUNTER64, counter64Value(0x0000000100000005ull)));
    table.put(makeVariable(typed(12), ASN_UINTEGER, uint32Value(3000000000u)));
    table.put(makeVariable(typed(13), ASN_NSAP, {0x47, 0x00, 0x05}));
    table.put(makeVariable(typed(14), ASN_OCTET_STR, {}));
    table.put(makeVariable(typed(15), ASN_INTEGER, int32Value(2147483647)));
    table.put(makeVariable(typed(16), ASN_COUNTER64, counter64Value(0xFFFFFFFFFFFFFFFFull)));
    return table;
}

void MibTable::addRows(uint32_t rows)
{
    for (uint32_t row = 1; row <= rows && row != 0; ++row) {
        auto cell = [&](uint32_t column) {
            OidVector name = GeneratedTable;
            name.push_back(1);
            name.push_back(column);
            name.push_back(row);
            return name;
        };
        put(makeVariable(cell(1), ASN_INTEGER, int32Value(static_cast<int32_t>(row))));
        put(makeVariable(cell(2), ASN_OCTET_STR, bytesValue("row " + std::to_string(row))));
        put(makeVariable(cell(3), ASN_COUNTER, uint32Value(row * 1000u)));
    }
}

}  // namespace testagent

// The test agent's variables: a table sorted by name, each variable holding a
// type and its value exactly as the engine's VarBind stores it (machine
// integers, octets, sub-identifier arrays), plus the text form of the table
// files (one "OID TYPE VALUE" per line, see tools/agent/README.md).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "snmp/codec/ber.h"

namespace testagent {

using OidVector = std::vector<uint32_t>;

struct Variable {
    OidVector name;
    uint8_t type = ASN_NULL;
    std::vector<uint8_t> value;  // VarBind storage: see snmp/pdu.h

    bool operator==(const Variable& other) const
    {
        return name == other.name && type == other.type && value == other.value;
    }
};

// Value buffers as a VarBind holds them.
std::vector<uint8_t> int32Value(int32_t v);
std::vector<uint8_t> uint32Value(uint32_t v);
std::vector<uint8_t> counter64Value(uint64_t v);
std::vector<uint8_t> oidValue(const OidVector& oid);
std::vector<uint8_t> bytesValue(const std::string& octets);
Variable makeVariable(const OidVector& name, uint8_t type, std::vector<uint8_t> value);

// Dotted decimal, a leading dot allowed; at least one sub-identifier, each
// within 32 bits. Returns false on anything else.
bool parseOid(const std::string& text, OidVector* oid);
std::string formatOid(const uint32_t* oid, size_t count);
std::string formatOid(const OidVector& oid);

// True when name begins with prefix (or equals it).
bool oidStartsWith(const OidVector& name, const OidVector& prefix);

// Type keywords (case-insensitive: integer, string, hex, null, oid, ipaddress,
// counter, gauge, timeticks, opaque, counter64, unsigned, nsap, bitstring and
// a few aliases) or a tag number (decimal or 0x..) of a type the engine can
// send. Returns false for anything else.
bool parseType(const std::string& word, uint8_t* type);
// The keyword the table format uses for a type ("0x80" style for the
// exception values and anything without a keyword).
std::string typeKeyword(uint8_t type);

// The value text of the table format for the given type (see the README).
// `text` is everything after the type word, surrounding blanks removed.
bool parseValue(uint8_t type, const std::string& text, std::vector<uint8_t>* value, std::string* error);
// The value text for a type and stored value. With `oneToken` the result has
// no blanks (strings are always quoted, blanks escaped), as the request log
// needs it; otherwise printable strings come out as they are when that reads
// back unchanged.
std::string formatValue(uint8_t type, const std::vector<uint8_t>& value, bool oneToken);

// Whether BER carries the OID as it is: at least two arcs, the first 0, 1 or
// 2, the second below 40 unless the first is 2.
bool representable(const OidVector& oid);

// Whether the engine's encoder can send this variable in a binding so that
// it arrives as it is (name and OID value representable, within the
// encoder's limits, integer widths right).
bool encodable(const Variable& var);

// One table-file line: "OID TYPE VALUE". Blank lines and lines whose first
// non-blank character is '#' give false with an empty error.
bool parseLine(const std::string& line, Variable* var, std::string* error);
std::string formatLine(const Variable& var);

class MibTable {
public:
    using Map = std::map<OidVector, Variable>;  // std::vector's ordering is OID ordering

    // Adds or replaces the variable.
    void put(Variable var);
    // Adds the variable unless its name is taken; false then.
    bool insert(Variable var);
    bool erase(const OidVector& name);

    const Variable* find(const OidVector& name) const;
    // The first variable whose name follows `name` in OID order.
    const Variable* next(const OidVector& name) const;
    // Whether some variable's name begins with prefix.
    bool hasUnder(const OidVector& prefix) const;
    // Whether the name lies under an object the table has instances of: some
    // variable's name without its last sub-identifier begins the name (for
    // sysDescr.0 that is sysDescr, for a table cell its column).
    bool underKnownObject(const OidVector& name) const;

    size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    Map::const_iterator begin() const { return map_.begin(); }
    Map::const_iterator end() const { return map_.end(); }

    // Adds the lines of a table text; a name that is already in the table, a
    // line that does not parse or a variable the engine cannot send fails
    // with "LINE: reason" (the table keeps the lines before it).
    bool loadText(const std::string& text, std::string* error);
    // As loadText, the error prefixed with the file name.
    bool loadFile(const std::string& path, std::string* error);
    // The whole table in the file format, in OID order.
    std::string toText() const;

    // System-group scalars and one variable of every value type under
    // BuiltInEnterprise (see the README for the list).
    static MibTable builtIn();
    // Adds `rows` rows of a three-column table under GeneratedTable, entries
    // GeneratedTable.1.<column>.<row>, rows numbered from 1: column 1 INTEGER
    // row, column 2 OCTET STRING "row <row>", column 3 Counter32 row * 1000.
    void addRows(uint32_t rows);

private:
    void addObject(const OidVector& name);
    void removeObject(const OidVector& name);

    Map map_;
    std::map<OidVector, size_t> objects_;  // names without their last sub-identifier, with counts
};

// Where the agent's own variables live (a private enterprise subtree).
extern const OidVector BuiltInEnterprise;  // 1.3.6.1.4.1.99999
extern const OidVector BuiltInTypes;       // 1.3.6.1.4.1.99999.1
extern const OidVector GeneratedTable;     // 1.3.6.1.4.1.99999.2

}  // namespace testagent

// Conversion between host values and variable bindings.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"
#include "snmp/snmp.h"

// The script's result from a binding taken out of a response. On success the
// module-wide OID becomes the binding's name and the answer is true. Without a
// binding, or with a value that cannot be read, reports with message 1127
// naming oidText, sets the number 0, empties the module-wide OID and answers
// false. The caller keeps the binding.
bool bindingToHostValue(const VarBind* binding, HostValue& result, const char* oidText);
// Only the message of a value that did not come (1127 "Couldn't get
// variable (oidText)"); the module-wide state stays as it is.
void reportNoValue(const char* oidText);
// The same as bindingToHostValue, naming the module-wide OID as it stands when the call began (the
// name a get-next asked for), written out only when a message needs it.
bool bindingToHostValueForLastOid(const VarBind* binding, HostValue& result);

// Each appends one binding named name[0..count) to a fresh request PDU with
// the given type and a newly allocated copy of the value. They answer false
// when the binding could not be made (no memory), leaving the PDU as it was.
bool addIntegerBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t value);
bool addCounter64Binding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t high,
                         uint32_t low);
bool addBytesBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes,
                     int32_t length);
// By type: ASN_OBJECT_ID parses the text as an OID value, ASN_IPADDRESS as an
// IPv4 address (textConverts says which texts do); any other type sends
// every byte of the text. False, and no binding, for a text that does not
// convert.
bool addTextBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const CString& text);

// The binding of a set's value argument(s): the Counter64 form's two numbers
// (high word, low word), a number, the host binary variable a "BIN" text
// names, or a text (addTextBinding). False when none was made (an unknown
// binary variable, a text that does not convert, no memory).
bool addValueBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const HostValue* value,
                     bool counter64Form);

// Whether a set's text converts to the type: for ASN_OBJECT_ID an OID text
// that parses whole to 2 up to SnmpOidCapacity sub-identifiers, for
// ASN_IPADDRESS a text Winsock's inet_addr reads (winParseInetAddress) without
// a zero byte inside; any text for the other types.
bool textConverts(uint8_t type, const CString& text);

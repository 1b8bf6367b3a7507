// Conversion between host values and variable bindings.
#pragma once

#include <cstdint>

#include "module/host_interface.h"
#include "snmp/pdu.h"

// The script's result from a binding taken out of a response. On success the
// module-wide OID becomes the binding's name and the answer is true. Without a
// binding, or with a value that cannot be read, reports with message 1127
// naming oidText, sets the number 0, empties the module-wide OID and answers
// false. The caller keeps the binding.
bool bindingToHostValue(const VarBind* binding, HostValue& result, const char* oidText);

// Each appends one binding named name[0..count) to a fresh request PDU with
// the given type and a newly allocated copy of the value. They answer false
// when the binding could not be made (no memory), leaving the PDU as it was.
bool addIntegerBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t value);
bool addCounter64Binding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, uint32_t high,
                         uint32_t low);
bool addBytesBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const void* bytes,
                     int32_t length);
// By type: ASN_OBJECT_ID parses the text as an OID (what was read before the
// parser stopped, at most 64 sub-identifiers); ASN_IPADDRESS converts a dotted
// address (anything else gives 255.255.255.255); any other type sends the
// text's bytes.
bool addTextBinding(SnmpPdu* pdu, const uint32_t* name, int32_t count, uint8_t type, const char* text);

// Sends the number, formatted "%.0lf", with message 1129.
void reportNumber(double number);

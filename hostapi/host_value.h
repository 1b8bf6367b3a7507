// The host's script value: the record every script function takes its
// arguments in and gives its result in, with the type tests and the result
// setters the script functions share.
#pragma once

#include <cstdint>

#include "platform/host_string.h"

// Value type words of a HostValue.
enum : uint32_t {
    HostTypeEmpty = 0,
    HostTypeNumber = 0x1000,  // compared after masking with 0xF000: the low 12 bits are free
    HostTypeString = 0x2000,  // compared exactly
};

// The host's script value. Members in the host's order, packed to 4 bytes.
// The host's own record is 20 bytes (the string is a 32-bit pointer there);
// on a 64-bit platform the string member is pointer-sized, so it is 24.
// Arguments arrive as a contiguous array of these.
#pragma pack(push, 4)
struct HostValue {
    uint32_t type = HostTypeEmpty;
    double number = 0.0;
    CString text;
    uint32_t extra = 0;  // names a host binary variable when text is "BIN"
};
#pragma pack(pop)
static_assert(sizeof(HostValue) == 16 + sizeof(void*), "HostValue is packed to 4 bytes");
static_assert(sizeof(void*) != 4 || sizeof(HostValue) == 20, "the host's 32-bit HostValue is 20 bytes");

inline bool isNumberValue(const HostValue& value) { return (value.type & 0xF000u) == HostTypeNumber; }
inline bool isStringValue(const HostValue& value) { return value.type == HostTypeString; }

// The result of a script function: a number, or a string.
void setNumberResult(HostValue& result, double number);
void setStringResult(HostValue& result, const CString& text);

// Building host argument arrays for calls into the dispatcher.
#pragma once

#include <string>
#include <vector>

#include "hostapi/host_value.h"

inline HostValue numberArg(double number, uint32_t type = HostTypeNumber)
{
    HostValue value;
    value.type = type;
    value.number = number;
    return value;
}

inline HostValue stringArg(const std::string& text, uint32_t type = HostTypeString)
{
    HostValue value;
    value.type = type;
    value.text = CString(text.data(), static_cast<int>(text.size()));
    return value;
}

// The host always hands over a generous array; unused entries are empty.
inline std::vector<HostValue> argList(std::vector<HostValue> values)
{
    values.resize(values.size() < 16 ? 16 : values.size());
    return values;
}

inline std::string textOf(const HostValue& value)
{
    return std::string(value.text.GetString(), static_cast<size_t>(value.text.GetLength()));
}

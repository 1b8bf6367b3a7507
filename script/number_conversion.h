// Truncation of host numbers (doubles) to the integers the module works with.
#pragma once

#include <cmath>
#include <cstdint>

// Toward zero to a 64-bit integer. A value outside the 64-bit range, or NaN,
// gives the integer indefinite value (INT64_MIN), as the processor's own
// conversion does, instead of undefined behaviour.
inline int64_t truncateToInt64(double value)
{
    if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<int64_t>(value);
}

// The low 32 bits of the truncated value (so -1 gives 0xFFFFFFFF, 2^32 gives 0).
inline uint32_t truncateToLow32(double value)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(truncateToInt64(value)));
}

// The low 16 bits, for ports.
inline uint16_t truncateToLow16(double value)
{
    return static_cast<uint16_t>(truncateToLow32(value));
}

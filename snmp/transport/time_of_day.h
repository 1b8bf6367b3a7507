// The engine's clock: the runtime's time of day with millisecond resolution.
#pragma once

#include <cstdint>

// A clock reading: seconds since 1970 and microseconds (a multiple of 1000).
struct TimeOfDay {
    int32_t seconds;
    int32_t microseconds;
};

// The runtime clock with millisecond resolution; always 0.
int32_t timeOfDay(TimeOfDay* now);
// t + microseconds, normalized.
TimeOfDay addMicroseconds(TimeOfDay t, int64_t microseconds);
// a earlier than b.
bool isEarlier(const TimeOfDay& a, const TimeOfDay& b);

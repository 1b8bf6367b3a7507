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
// Microseconds until the clock reads later than t, which is when t counts as
// passed: until its next whole millisecond, measured with the runtime's finer
// reading, so that a wait for it ends when the clock turns, not up to a
// millisecond after nor before (then it would have to wait again). 0 when the
// clock already reads later.
int64_t microsecondsUntilPassed(const TimeOfDay& t);

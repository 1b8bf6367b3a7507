#include "snmp/transport/time_of_day.h"

#include "platform/runtime.h"

TimeOfDay addMicroseconds(TimeOfDay t, int64_t microseconds)
{
    int64_t total = static_cast<int64_t>(t.microseconds) + microseconds;
    int64_t seconds = total / 1000000;
    total %= 1000000;
    if (total < 0) {
        total += 1000000;
        --seconds;
    }
    t.seconds = static_cast<int32_t>(static_cast<int64_t>(t.seconds) + seconds);
    t.microseconds = static_cast<int32_t>(total);
    return t;
}

bool isEarlier(const TimeOfDay& a, const TimeOfDay& b)
{
    return a.seconds < b.seconds || (a.seconds == b.seconds && a.microseconds < b.microseconds);
}

int32_t timeOfDay(TimeOfDay* now)
{
    _timeb reading;
    runtimeFtime(&reading);
    now->seconds = static_cast<int32_t>(reading.time);
    now->microseconds = static_cast<int32_t>(reading.millitm) * 1000;
    return 0;
}

int64_t microsecondsUntilPassed(const TimeOfDay& t)
{
    const int64_t at = static_cast<int64_t>(t.seconds) * 1000000 + t.microseconds;
    const int64_t turn = (at / 1000 + 1) * 1000;
    const int64_t left = turn - runtimeClockMicroseconds();
    return left > 0 ? left : 0;
}

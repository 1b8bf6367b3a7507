#include "platform/system_sources.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace {

// strerror_r comes in two shapes (GNU: answers the text; XSI: fills the
// buffer and answers 0); either way the text is found.
[[maybe_unused]] const char* errorDescription(const char* gnuResult, const char*)
{
    return gnuResult;
}

[[maybe_unused]] const char* errorDescription(int xsiResult, const char* buffer)
{
    return xsiResult == 0 ? buffer : "Unknown error";
}

}  // namespace

int64_t systemClockMicroseconds()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

uint64_t systemTicks()
{
    timespec now;
#ifdef CLOCK_BOOTTIME
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
#endif
        clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

bool systemRandom(uint32_t* value)
{
    return getrandom(value, sizeof *value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof *value);
}

uint64_t systemProcessMark() { return static_cast<uint64_t>(getpid()); }

const char* systemErrorText(int error, char* buffer, size_t size)
{
    return errorDescription(strerror_r(error, buffer, size), buffer);
}

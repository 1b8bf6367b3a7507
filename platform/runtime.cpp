#include "platform/runtime.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int64_t realClock()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int libraryRand()
{
    return std::rand();
}

uint64_t bootTicks()
{
    timespec now;
#ifdef CLOCK_BOOTTIME
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
#endif
        clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

uint32_t systemEntropy()
{
    uint32_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value))
        return value;
    // No random generator to read (a very early boot, a sandbox without the
    // call): the clocks, the process and a counter still differ between loads.
    static std::atomic<uint32_t> calls{0};
    timespec real;
    timespec monotonic;
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    uint64_t mix = static_cast<uint64_t>(real.tv_nsec) ^ (static_cast<uint64_t>(real.tv_sec) << 20) ^
                   (static_cast<uint64_t>(monotonic.tv_nsec) << 7) ^ (static_cast<uint64_t>(getpid()) << 32) ^
                   (static_cast<uint64_t>(calls.fetch_add(1)) * 0x9E3779B97F4A7C15ull);
    mix ^= mix >> 33;
    mix *= 0xFF51AFD7ED558CCDull;
    mix ^= mix >> 33;
    return static_cast<uint32_t>(mix);
}

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

std::atomic<ClockSource> clockSource{realClock};
std::atomic<RandomSource> randomSource{libraryRand};
std::atomic<TickSource> tickSource{bootTicks};
std::atomic<EntropySource> entropySource{systemEntropy};

// Whole seconds and milliseconds of a reading, also before 1970 (the
// milliseconds stay within 0..999).
void splitMilliseconds(int64_t milliseconds, int64_t* seconds, int* remainder)
{
    int64_t whole = milliseconds / 1000;
    int64_t rest = milliseconds % 1000;
    if (rest < 0) {
        rest += 1000;
        --whole;
    }
    *seconds = whole;
    *remainder = static_cast<int>(rest);
}

}  // namespace

ClockSource setClockSource(ClockSource source)
{
    return clockSource.exchange(source != nullptr ? source : realClock);
}

RandomSource setRandomSource(RandomSource source)
{
    return randomSource.exchange(source != nullptr ? source : libraryRand);
}

TickSource setTickSource(TickSource source)
{
    return tickSource.exchange(source != nullptr ? source : bootTicks);
}

EntropySource setEntropySource(EntropySource source)
{
    return entropySource.exchange(source != nullptr ? source : systemEntropy);
}

void runtimeFtime(_timeb* now)
{
    if (now == nullptr)
        return;
    int64_t seconds;
    int milliseconds;
    splitMilliseconds(clockSource.load()(), &seconds, &milliseconds);
    now->time = static_cast<time_t>(seconds);
    now->millitm = static_cast<unsigned short>(milliseconds);
    now->timezone = 0;
    now->dstflag = 0;
}

time_t runtimeTime(time_t* now)
{
    int64_t seconds;
    int milliseconds;
    splitMilliseconds(clockSource.load()(), &seconds, &milliseconds);
    const time_t result = static_cast<time_t>(seconds);
    if (now != nullptr)
        *now = result;
    return result;
}

int64_t runtimeClockMicroseconds()
{
    const ClockSource source = clockSource.load();
    if (source != realClock)
        return source() * 1000;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int runtimeRand()
{
    return randomSource.load()();
}

uint32_t runtimeEntropy()
{
    return entropySource.load()();
}

size_t runtimeFormatError(const char* label, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return 0;
    const int error = errno;
    char text[256];
    const char* description = errorDescription(strerror_r(error, text, sizeof text), text);
    const int length = label != nullptr && label[0] != '\0'
                           ? std::snprintf(out, size, "%.700s: %s\n", label, description)
                           : std::snprintf(out, size, "%s\n", description);
    errno = error;
    if (length < 0)
        return 0;
    return static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size - 1;
}

void runtimeReportError(const char* label)
{
    const int error = errno;
    // The line goes out in one piece, so other output cannot tear it apart.
    char line[1024];
    runtimeFormatError(label, line, sizeof line);
    std::fputs(line, stderr);
    std::fflush(stderr);
    errno = error;
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(tickSource.load()());
}

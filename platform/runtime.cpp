#include "platform/runtime.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system_sources.h"

namespace {

int64_t realClock() { return systemClockMicroseconds() / 1000; }

int libraryRand()
{
    return std::rand();
}

uint64_t bootTicks() { return systemTicks(); }

uint32_t systemEntropy()
{
    uint32_t value = 0;
    if (systemRandom(&value))
        return value;
    // No random generator to read (a very early boot, a sandbox without the
    // call): the clocks, the process and a counter still differ between loads.
    static std::atomic<uint32_t> calls{0};
    const uint64_t real = static_cast<uint64_t>(systemClockMicroseconds());
    uint64_t mix = real ^ (real << 20) ^ (systemTicks() << 7) ^ (systemProcessMark() << 32) ^
                   (static_cast<uint64_t>(calls.fetch_add(1)) * 0x9E3779B97F4A7C15ull);
    mix ^= mix >> 33;
    mix *= 0xFF51AFD7ED558CCDull;
    mix ^= mix >> 33;
    return static_cast<uint32_t>(mix);
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
    return systemClockMicroseconds();
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
    const char* description = systemErrorText(error, text, sizeof text);
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

DWORD runtimeTickCount()
{
    return static_cast<DWORD>(tickSource.load()());
}

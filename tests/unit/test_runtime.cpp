#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "platform/system_sources.h"

namespace {

// The readings the fake sources hand out.
int64_t fakeMilliseconds = 0;
int fakeRandomValues[8];
int fakeRandomCount = 0;
int fakeRandomNext = 0;
uint64_t fakeTicks = 0;

int64_t fakeClock()
{
    return fakeMilliseconds;
}

int fakeRandom()
{
    return fakeRandomValues[fakeRandomNext++ % fakeRandomCount];
}

uint64_t fakeTickSource()
{
    return fakeTicks;
}

// Installs a source for one test and puts back whatever was there before.
template <typename Source, Source (*Set)(Source)>
class ScopedSource {
public:
    explicit ScopedSource(Source source) : previous_(Set(source)) {}
    ~ScopedSource() { Set(previous_); }
    ScopedSource(const ScopedSource&) = delete;
    ScopedSource& operator=(const ScopedSource&) = delete;

private:
    Source previous_;
};
using ScopedClock = ScopedSource<ClockSource, setClockSource>;
using ScopedRandom = ScopedSource<RandomSource, setRandomSource>;
using ScopedTicks = ScopedSource<TickSource, setTickSource>;

TEST(RuntimeClock, FtimeAndTimeReadTheInjectedClock)
{
    const struct {
        int64_t milliseconds;
        time_t seconds;
        unsigned short millitm;
    } cases[] = {
        {0, 0, 0},
        {999, 0, 999},
        {1000, 1, 0},
        {1234567890123LL, 1234567890, 123},
        {4102444800500LL, 4102444800, 500},  // after 2038
        {-1, -1, 999},                        // before 1970: milliseconds stay 0..999
        {-1500, -2, 500},
    };
    ScopedClock clock(fakeClock);
    for (const auto& c : cases) {
        fakeMilliseconds = c.milliseconds;
        _timeb now;
        std::memset(&now, 0x5a, sizeof now);
        runtimeFtime(&now);
        EXPECT_EQ(now.time, c.seconds) << c.milliseconds;
        EXPECT_EQ(now.millitm, c.millitm) << c.milliseconds;
        EXPECT_EQ(now.timezone, 0);
        EXPECT_EQ(now.dstflag, 0);

        time_t stored = 0;
        EXPECT_EQ(runtimeTime(&stored), c.seconds) << c.milliseconds;
        EXPECT_EQ(stored, c.seconds);
        EXPECT_EQ(runtimeTime(nullptr), c.seconds);
        EXPECT_EQ(runtimeClockMicroseconds(), c.milliseconds * 1000);
    }
}

TEST(RuntimeClock, FollowsTheInjectedClockAsItMoves)
{
    ScopedClock clock(fakeClock);
    fakeMilliseconds = 1700000000000LL;
    _timeb first;
    runtimeFtime(&first);
    fakeMilliseconds += 1750;
    _timeb second;
    runtimeFtime(&second);
    EXPECT_EQ(second.time - first.time, 1);
    EXPECT_EQ(second.millitm, 750);
}

TEST(RuntimeClock, SetterAnswersThePreviousSourceAndNullRestoresTheDefault)
{
    const ClockSource original = setClockSource(fakeClock);
    EXPECT_NE(original, nullptr);
    EXPECT_EQ(setClockSource(nullptr), fakeClock);
    // The default again: the same source the process started with.
    EXPECT_EQ(setClockSource(original), original);
}

TEST(RuntimeClock, DefaultIsTheRealClock)
{
    {
        ScopedClock clock(fakeClock);
        fakeMilliseconds = 5000;
        EXPECT_EQ(runtimeTime(nullptr), 5);
    }
    // Restored: the reading agrees with the C library's clock (the two are
    // read a moment apart, so allow a second either way).
    const time_t before = std::time(nullptr);
    _timeb now;
    runtimeFtime(&now);
    const int64_t micro = runtimeClockMicroseconds();
    _timeb later;
    runtimeFtime(&later);
    const time_t after = std::time(nullptr);
    EXPECT_GE(now.time, before - 1);
    EXPECT_LE(now.time, after + 1);
    EXPECT_LT(now.millitm, 1000);
    EXPECT_GE(runtimeTime(nullptr), before);
    // The fine reading is the same clock: it falls between the two readings.
    EXPECT_GE(micro / 1000, static_cast<int64_t>(now.time) * 1000 + now.millitm);
    EXPECT_LE(micro / 1000, static_cast<int64_t>(later.time) * 1000 + later.millitm);
}

TEST(RuntimeClock, NullRecordIsIgnored)
{
    ScopedClock clock(fakeClock);
    fakeMilliseconds = 42000;
    runtimeFtime(nullptr);
    EXPECT_EQ(runtimeTime(nullptr), 42);
}

TEST(RuntimeRandom, InjectedSequence)
{
    const int values[] = {0, 499, 500, 1234, RAND_MAX};
    fakeRandomCount = 0;
    for (int v : values)
        fakeRandomValues[fakeRandomCount++] = v;
    fakeRandomNext = 0;
    ScopedRandom random(fakeRandom);
    for (int v : values)
        EXPECT_EQ(runtimeRand(), v);
    EXPECT_EQ(runtimeRand(), values[0]);  // wraps around the fake's table
}

TEST(RuntimeRandom, DefaultIsTheLibraryGenerator)
{
    {
        fakeRandomValues[0] = 7;
        fakeRandomCount = 1;
        fakeRandomNext = 0;
        ScopedRandom random(fakeRandom);
        ASSERT_EQ(runtimeRand(), 7);
    }
    // Restored: the same sequence rand() gives from the same seed.
    std::srand(12345);
    const int first = std::rand();
    const int second = std::rand();
    std::srand(12345);
    EXPECT_EQ(runtimeRand(), first);
    EXPECT_EQ(runtimeRand(), second);

    const RandomSource original = setRandomSource(fakeRandom);
    EXPECT_EQ(setRandomSource(nullptr), fakeRandom);
    EXPECT_EQ(setRandomSource(original), original);
}

std::string reportOf(const char* label, int error)
{
    testing::internal::CaptureStderr();
    errno = error;
    runtimeReportError(label);
    const int after = errno;
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(after, error) << "errno must survive the report";
    return output;
}

// The system's own text of an errno value (the C library's, or on Windows
// Winsock's for the socket errors).
std::string systemText(int error)
{
    char buffer[256];
    return systemErrorText(error, buffer, sizeof buffer);
}

TEST(RuntimeReportError, LabelColonBlankTextLineBreak)
{
    const struct {
        const char* label;
        int error;
    } cases[] = {
        {"socket", EMFILE},
        {"bind", EADDRINUSE},
        {"sendto", ENETUNREACH},
        {"recvfrom", ECONNREFUSED},
        {"select", EINTR},
    };
    for (const auto& c : cases) {
        const std::string expected = std::string(c.label) + ": " + systemText(c.error) + "\n";
        EXPECT_EQ(reportOf(c.label, c.error), expected);
    }
}

TEST(RuntimeReportError, WithoutLabelOnlyTheText)
{
    const std::string expected = systemText(EACCES) + "\n";
    EXPECT_EQ(reportOf(nullptr, EACCES), expected);
    EXPECT_EQ(reportOf("", EACCES), expected);
}

TEST(RuntimeReportError, LongLabelIsCutNotOverrun)
{
    const std::string label(5000, 'L');
    const std::string output = reportOf(label.c_str(), ENOENT);
    const std::string expected = std::string(700, 'L') + ": " + std::strerror(ENOENT) + "\n";
    EXPECT_EQ(output, expected);
}

TEST(TickCount, InjectedUptimeAndWrap)
{
    const struct {
        uint64_t milliseconds;
        DWORD ticks;
    } cases[] = {
        {0, 0},
        {10000, 10000},              // ten seconds of uptime
        {0xffffffffULL, 0xffffffffu},
        {0x100000000ULL, 0},         // wraps after about 49.7 days
        {0x100000000ULL + 5, 5},
    };
    ScopedTicks ticks(fakeTickSource);
    for (const auto& c : cases) {
        fakeTicks = c.milliseconds;
        EXPECT_EQ(runtimeTickCount(), c.ticks) << c.milliseconds;
    }
}

TEST(TickCount, DefaultIsTheSystemUptime)
{
    const TickSource original = setTickSource(fakeTickSource);
    EXPECT_EQ(setTickSource(nullptr), fakeTickSource);
    EXPECT_EQ(setTickSource(original), original);

    // The same clock as /proc/uptime (on Windows the system's tick count):
    // milliseconds since boot, not since 1970.
#ifdef _WIN32
    const uint64_t expected = GetTickCount64();
#else
    std::ifstream uptime("/proc/uptime");
    double seconds = 0;
    if (!(uptime >> seconds))
        GTEST_SKIP() << "no /proc/uptime";
    const uint64_t expected = static_cast<uint64_t>(seconds * 1000);
#endif
    const DWORD ticks = runtimeTickCount();
    if (expected < 0xffffffffULL - 60000) {
        // Read a moment apart, and /proc/uptime has only hundredths.
        EXPECT_GE(static_cast<uint64_t>(ticks) + 50, expected);
        EXPECT_LE(ticks, expected + 60000);
    }
    EXPECT_GE(runtimeTickCount(), ticks);
}

}  // namespace

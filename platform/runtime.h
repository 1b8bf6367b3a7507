// The runtime library's clock, random numbers and error report, as the engine
// uses them, plus the kernel's tick count (runtimeTickCount, read through a
// source of its own so tests can drive it; on Windows its default is the
// system's tick count).
//
// The names differ from the C library's so both can live in one program. The
// wall clock behind runtimeFtime and runtimeTime, the random source behind
// runtimeRand, the entropy source behind runtimeEntropy and the tick source
// behind runtimeTickCount can each be replaced, so tests can drive time-outs,
// retransmission jitter, request ids and trap time stamps without waiting on
// the real clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "platform/win_types.h"

#ifdef _WIN32
#include <sys/timeb.h>  // the runtime's own _timeb
#else
// The runtime's time of day with milliseconds.
struct _timeb {
    time_t time;             // whole seconds since 1970-01-01 00:00 UTC
    unsigned short millitm;  // milliseconds, 0 to 999
    short timezone;          // always 0 here: the engine reads only time and millitm
    short dstflag;           // always 0 here
};
#endif

// A wall clock: milliseconds since 1970-01-01 00:00 UTC.
typedef int64_t (*ClockSource)();
// A random source: values from 0 to RAND_MAX, as rand() gives them.
typedef int (*RandomSource)();
// An uptime source: milliseconds since the system started.
typedef uint64_t (*TickSource)();
// An unpredictable source: 32 random bits per call, for what others must not
// guess (the platform's rand_s).
typedef uint32_t (*EntropySource)();

// Each setter installs a source and answers the one it replaces, so a test
// can put it back; a null source restores the default.
// Default: the system's real-time clock.
ClockSource setClockSource(ClockSource source);
// Default: the C library's rand(), never seeded here.
RandomSource setRandomSource(RandomSource source);
// Default: on Windows the system's tick count (GetTickCount64); elsewhere
// CLOCK_BOOTTIME (the clock behind /proc/uptime), which goes on counting
// while the system is suspended, as the platform's tick count does;
// CLOCK_MONOTONIC where CLOCK_BOOTTIME is not available.
TickSource setTickSource(TickSource source);
// Default: the system's random generator (getrandom; on Windows
// BCryptGenRandom), or where that cannot be read, a mix of the clocks, the
// process id and a counter.
EntropySource setEntropySource(EntropySource source);

// _ftime: fills the seconds and milliseconds of one clock reading.
void runtimeFtime(_timeb* now);
// time: whole seconds of the same clock, also stored through *now when given.
time_t runtimeTime(time_t* now);
// The same clock in microseconds: the system's real-time clock to its
// microsecond, an installed source's milliseconds times 1000. What a wait
// needs to end when runtimeFtime turns to a given millisecond, which may be
// less than one millisecond away (the platform's precise system time).
int64_t runtimeClockMicroseconds();
// rand: the next value of the random source.
int runtimeRand();
// rand_s: 32 bits of the entropy source.
uint32_t runtimeEntropy();
// perror: "label: <text of errno>\n" on standard error; without a label (null
// or empty) only the text and the line break; a label is cut after 700
// bytes. errno is left as it was.
void runtimeReportError(const char* label);
// The same line written into out (at most size - 1 octets and a terminator);
// answers its length.
size_t runtimeFormatError(const char* label, char* out, size_t size);

// Milliseconds since the system started, wrapping to 0 after 2^32 - 1
// (about 49.7 days), like the platform's 32-bit tick count (GetTickCount).
DWORD runtimeTickCount();

// What the runtime (platform/runtime.cpp) reads from the operating system: its
// clocks, its random generator, its error texts. platform/system_sources.cpp
// reads them on POSIX systems, platform/windows/system_sources.cpp on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

// The real-time clock in microseconds since 1970-01-01 00:00 UTC.
int64_t systemClockMicroseconds();
// Milliseconds since the system started, counting on while it is suspended.
uint64_t systemTicks();
// 32 bits from the system's random generator; false when it cannot be read.
bool systemRandom(uint32_t* value);
// Something that differs between processes (the process id).
uint64_t systemProcessMark();
// The text of an errno value.
const char* systemErrorText(int error, char* buffer, size_t size);

// The runtime's clocks, random generator and error texts on Windows.
#include "platform/system_sources.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win_types.h"
#include "platform/windows/socket_errors.h"

#include <bcrypt.h>

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochIntervals = 116444736000000000LL;

}  // namespace

int64_t systemClockMicroseconds()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const int64_t intervals = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (intervals - kUnixEpochIntervals) / 10;
}

uint64_t systemTicks() { return GetTickCount64(); }

bool systemRandom(uint32_t* value)
{
    return BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(value), sizeof *value,
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

uint64_t systemProcessMark() { return GetCurrentProcessId(); }

const char* systemErrorText(int error, char* buffer, size_t size)
{
    // The socket errors are Winsock's, worded by the system; the runtime's
    // own table knows the rest.
    const int socketError = winsockErrorOf(error);
    if (socketError != 0 &&
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(socketError), 0, buffer, static_cast<DWORD>(size), nullptr) != 0) {
        // The system's texts end in a line break (and a period), the runtime's do not.
        size_t length = std::strlen(buffer);
        while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == '.'))
            buffer[--length] = '\0';
        return buffer;
    }
    if (strerror_s(buffer, size, error) != 0)
        std::snprintf(buffer, size, "Unknown error %d", error);
    return buffer;
}

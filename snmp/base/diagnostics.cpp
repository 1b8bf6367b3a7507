#include "snmp/base/diagnostics.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "platform/runtime.h"

namespace {

void writeToStdio(DiagnosticStream stream, const char* text, size_t length)
{
    FILE* file = stream == DiagnosticStream::Output ? stdout : stderr;
    std::fwrite(text, 1, length, file);
    std::fflush(file);
}

std::atomic<DiagnosticSink> sink{writeToStdio};

void emit(DiagnosticStream stream, const char* format, va_list arguments)
{
    // Every text of the engine fits; a longer one (a peer name) is cut.
    char text[1024];
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    if (length <= 0)
        return;
    sink.load()(stream, text, static_cast<size_t>(length) < sizeof text ? static_cast<size_t>(length) : sizeof text - 1);
}

}  // namespace

DiagnosticSink setDiagnosticSink(DiagnosticSink replacement)
{
    return sink.exchange(replacement != nullptr ? replacement : writeToStdio);
}

void diagnose(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    emit(DiagnosticStream::Error, format, arguments);
    va_end(arguments);
}

void diagnoseOutput(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    emit(DiagnosticStream::Output, format, arguments);
    va_end(arguments);
}

void diagnoseSystemError(const char* label)
{
    const int error = errno;
    char line[1024];
    const size_t length = runtimeFormatError(label, line, sizeof line);
    sink.load()(DiagnosticStream::Error, line, length);
    errno = error;
}

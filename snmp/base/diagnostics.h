// The engine's diagnostics: every line it writes goes through one sink, which
// writes it to standard error or standard output and flushes it. A test (or a
// host that wants them elsewhere) installs its own sink.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

enum class DiagnosticStream {
    Error,   // standard error: every diagnostic but one
    Output,  // standard output: the discovery's failure line
};

// Receives one finished line (or lines) of text, newline included.
typedef void (*DiagnosticSink)(DiagnosticStream stream, const char* text, size_t length);

// Installs a sink and answers the one it replaces; null restores the default.
DiagnosticSink setDiagnosticSink(DiagnosticSink sink);

// A formatted diagnostic to standard error ("Mangled packet\n").
void diagnose(const char* format, ...) PLATFORM_PRINTF(1, 2);
// The same to standard output.
void diagnoseOutput(const char* format, ...) PLATFORM_PRINTF(1, 2);
// The runtime's error report for the failed call `label`: "label: <text of
// errno>\n" to standard error. errno is left as it was.
void diagnoseSystemError(const char* label);

// The text form of object identifiers: dotted decimal with a few symbolic prefixes.
#pragma once

#include <cstdint>

#include "platform/host_string.h"

// Reads text (zero-terminated) into values. count is the capacity on entry and
// the number of sub-identifiers stored on return. Answers the number of
// characters consumed; the text is valid exactly when that equals its length.
int parseOidText(const char* text, uint32_t* values, int32_t* count);

// Convenience for the callers: parses a host string and answers whether all of
// it was consumed (a zero byte inside the string makes it invalid).
bool parseOidString(const CString& text, uint32_t* values, int32_t* count);

// Dotted decimal, no prefix names; a count of 0 or less gives the empty text.
CString formatOidText(const uint32_t* values, int32_t count);

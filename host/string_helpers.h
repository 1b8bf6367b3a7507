// Text helpers of the host's class library, exported by libvantor.
//
// The host's string class hands its text to these; the module reaches them
// through the members of CZEL_String. All of them work on bytes: a character is
// one byte, and bytes from 0x80 up are neither letters nor digits. None of them
// throws; when memory runs out a text is left as it was.
#pragma once

#include "platform/host_string.h"
#include "platform/string_list.h"
#include "platform/win_types.h"

#ifndef VANTOR_API
#define VANTOR_API PLATFORM_EXPORT
#endif

// Splits text at every separator byte into fields, which replace the content
// of fields (the list is emptied first). Answers the number of fields stored.
//  - An empty text has no fields (answer 0).
//  - Otherwise there is one field more than there are separators: "a,,b" gives
//    "a", "" and "b"; "a," gives "a" and "".
//  - trim removes leading and trailing spaces and tabs (only those) from each
//    field: " a , b\t" gives "a" and "b".
// Should memory run out, the fields stored so far stay and are counted.
VANTOR_API int SplitField(const CString& text, CStringList& fields, char separator, bool trim);

// Expands every tab into the spaces that reach the next tab stop; stops stand
// every 8 columns, and the column count starts again behind each line feed or
// carriage return. "a\tb" becomes "a" + 7 spaces + "b"; a text without tabs
// is left alone.
VANTOR_API void UnTab(CString& text);

// Inserts insert into text before the byte at position and answers the new
// length. A negative position counts as 0. A position beyond the end first pads
// the text with spaces up to the position, so the inserted text starts exactly
// there ("ab" with "X" at 4 gives "ab  X"). An empty insert changes nothing
// (and pads nothing). The insert may hold zero bytes. A result longer than a
// host string may grow (0x3FFFFFFF bytes) leaves the text as it was.
VANTOR_API int InsertEx(CString& text, int position, const CString& insert);

// True when the byte at position may be part of a C identifier: an ASCII
// letter, a decimal digit or "_". False for a position outside the text.
VANTOR_API bool STR_IsCWORD(const CString& text, int position);

// True when the text is not empty and every byte is a decimal digit (no sign,
// no blanks).
VANTOR_API bool STR_IsDigit(const CString& text);

// True when the text is an optional "0x" or "0X" followed by at least one
// hexadecimal digit and nothing else: exactly the texts that STR_HexToLong reads
// to their end.
VANTOR_API bool STR_IsHex(const CString& text);

// Reads an optional "0x" or "0X" and then hexadecimal digits (either case),
// stopping at the first other byte. The value keeps its low 32 bits, as a
// register would: "1FFFFFFFF" gives 0xFFFFFFFF. No digits give 0.
VANTOR_API DWORD STR_HexToLong(const CString& text);

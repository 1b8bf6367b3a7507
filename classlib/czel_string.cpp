// CZEL_String: the host's string with its editing helpers.
#include <climits>
#include <cstdlib>

#include "classlib/class_library.h"

namespace {

const char* const spaceAndTab = " \t";

// strtol clamped to [low, high]; strtol itself already clamps to long.
long clampedDecimal(const char* text, long low, long high)
{
    const long value = std::strtol(text, nullptr, 10);
    return value < low ? low : value > high ? high : value;
}

}  // namespace

CZEL_String::CZEL_String() = default;
CZEL_String::CZEL_String(char ch, int repeat) : CString(ch, repeat) {}
CZEL_String::CZEL_String(const char* text) : CString(text) {}
CZEL_String::CZEL_String(const char* text, int length) : CString(text, length) {}
CZEL_String::CZEL_String(const CZEL_String& other) : CString(other) {}
CZEL_String::CZEL_String(const CString& other) : CString(other) {}
CZEL_String::~CZEL_String() = default;

CZEL_String& CZEL_String::operator=(const CZEL_String& other)
{
    CString::operator=(other);
    return *this;
}

CZEL_String& CZEL_String::TrimRightSpace()
{
    TrimRight(spaceAndTab);
    return *this;
}

CZEL_String& CZEL_String::TrimLeftSpace()
{
    TrimLeft(spaceAndTab);
    return *this;
}

CZEL_String& CZEL_String::TrimSpace()
{
    TrimRight(spaceAndTab);
    TrimLeft(spaceAndTab);
    return *this;
}

int CZEL_String::ReverseFind(char ch) const { return CString::ReverseFind(ch); }

CZEL_String& CZEL_String::DelTab()
{
    Replace('\t', ' ');
    return *this;
}

int CZEL_String::SplitParam(CStringList& fields) { return SplitField(*this, fields, ',', true); }

int CZEL_String::SplitObject(CStringList& fields) { return SplitField(*this, fields, '.', true); }

CZEL_String& CZEL_String::ReplaceEx(int position, int count, const CString& text)
{
    Delete(position, count);
    ::InsertEx(*this, position, text);
    return *this;
}

CZEL_String& CZEL_String::DeleteLastByte()
{
    if (!IsEmpty())
        Delete(GetLength() - 1, 1);
    return *this;
}

CZEL_String& CZEL_String::DeleteFirstByte()
{
    if (!IsEmpty())
        Delete(0, 1);
    return *this;
}

CZEL_String& CZEL_String::Normal()
{
    UnTab(*this);
    TrimRight(spaceAndTab);
    return *this;
}

bool CZEL_String::IsCWORD(int position) { return STR_IsCWORD(*this, position); }

bool CZEL_String::IsDigit() { return STR_IsDigit(*this); }

bool CZEL_String::IsHex() { return STR_IsHex(*this); }

DWORD CZEL_String::HexToLong() { return STR_HexToLong(*this); }

int CZEL_String::ToInt() { return static_cast<int>(clampedDecimal(GetString(), INT_MIN, INT_MAX)); }

LONG CZEL_String::ToLong() { return static_cast<LONG>(clampedDecimal(GetString(), INT32_MIN, INT32_MAX)); }

double CZEL_String::ToDouble() { return std::strtod(GetString(), nullptr); }

CZEL_String& CZEL_String::InsertEx(int position, char ch)
{
    // The zero-terminated one-byte text: a zero byte makes it empty.
    const char text[2] = {ch, 0};
    ::InsertEx(*this, position, CString(text));
    return *this;
}

CZEL_String& CZEL_String::MakeDialogStaticText()
{
    Replace("&", "&&");
    return *this;
}

CZEL_String& CZEL_String::MakePrintText()
{
    Replace("&", "&&");
    Replace("%", "%%");
    Replace("\\", "\\\\");
    return *this;
}

#include "host/string_helpers.h"

#include "platform/hex_digits.h"

namespace {

bool isBlank(char ch) { return ch == ' ' || ch == '\t'; }
bool isDecimal(char ch) { return ch >= '0' && ch <= '9'; }
bool isLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

// Index behind an optional "0x" / "0X" prefix.
int hexStart(const CString& text)
{
    return text.GetLength() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
}

}  // namespace

int SplitField(const CString& text, CStringList& fields, char separator, bool trim)
{
    fields.RemoveAll();
    const int length = text.GetLength();
    if (length == 0)
        return 0;
    const char* bytes = text.GetString();
    int start = 0;
    for (;;) {
        int end = start;
        while (end < length && bytes[end] != separator)
            ++end;
        int first = start, last = end;
        if (trim) {
            while (first < last && isBlank(bytes[first]))
                ++first;
            while (last > first && isBlank(bytes[last - 1]))
                --last;
        }
        if (fields.AddTail(CString(bytes + first, last - first)) == nullptr)
            break;
        if (end == length)
            break;
        start = end + 1;
    }
    return fields.GetCount();
}

void UnTab(CString& text)
{
    const int tabStop = 8;
    if (text.Find('\t') < 0)
        return;
    const int length = text.GetLength();
    CString result;
    long long expected = 0;  // what the result must hold; tells a result cut short by memory
    int column = 0;
    for (int i = 0; i < length; ++i) {
        const char ch = text[i];
        if (ch == '\t') {
            const int spaces = tabStop - column % tabStop;
            result += CString(' ', spaces);
            column += spaces;
            expected += spaces;
        } else {
            result += ch;
            column = (ch == '\n' || ch == '\r') ? 0 : column + 1;
            expected += 1;
        }
    }
    if (result.GetLength() == expected)
        text = static_cast<CString&&>(result);
}

int InsertEx(CString& text, int position, const CString& insert)
{
    // Host strings hold at most this many bytes.
    const long long maxLength = 0x3FFFFFFF;
    const int length = text.GetLength();
    if (insert.IsEmpty())
        return length;
    if (position < 0)
        position = 0;
    const long long padded = position > length ? position : length;
    if (padded + insert.GetLength() > maxLength)
        return length;
    CString result(text.GetString(), position < length ? position : length);
    if (position > length)
        result += CString(' ', position - length);
    result += insert;
    if (position < length)
        result.Append(text.GetString() + position, length - position);
    if (result.GetLength() == padded + insert.GetLength())
        text = static_cast<CString&&>(result);
    return text.GetLength();
}

bool STR_IsCWORD(const CString& text, int position)
{
    if (position < 0 || position >= text.GetLength())
        return false;
    const char ch = text[position];
    return isLetter(ch) || isDecimal(ch) || ch == '_';
}

bool STR_IsDigit(const CString& text)
{
    const int length = text.GetLength();
    if (length == 0)
        return false;
    for (int i = 0; i < length; ++i)
        if (!isDecimal(text[i]))
            return false;
    return true;
}

bool STR_IsHex(const CString& text)
{
    const int length = text.GetLength();
    const int start = hexStart(text);
    if (start >= length)
        return false;
    for (int i = start; i < length; ++i)
        if (hexDigitValue(text[i]) < 0)
            return false;
    return true;
}

DWORD STR_HexToLong(const CString& text)
{
    const int length = text.GetLength();
    DWORD value = 0;
    for (int i = hexStart(text); i < length; ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<DWORD>(digit);
    }
    return value;
}

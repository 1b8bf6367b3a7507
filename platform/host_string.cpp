#include "platform/host_string.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The compiler follows a default-constructed string into the release paths and
// warns of freeing the static empty representation; isShared() keeps those
// paths from ever reaching it.
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"

CStringEmptyRep cstringEmptyRep = {0, -1, {0}};

namespace {

char* emptyText() { return cstringEmptyRep.text; }

int clampedLength(size_t n) { return n > static_cast<size_t>(INT_MAX / 2) ? INT_MAX / 2 : static_cast<int>(n); }

}  // namespace

void CString::release() { std::free(header()); }

// Makes room for capacity characters plus the terminator. keep: preserve content.
bool CString::reserve(int capacity, bool keep)
{
    if (capacity < 0)
        return false;
    if (!isShared() && header()->capacity >= capacity)
        return true;
    const size_t bytes = sizeof(Header) + static_cast<size_t>(capacity) + 1;
    Header* fresh = static_cast<Header*>(std::malloc(bytes));
    if (fresh == nullptr)
        return false;
    fresh->capacity = capacity;
    fresh->length = 0;
    char* text = reinterpret_cast<char*>(fresh + 1);
    text[0] = 0;
    if (keep) {
        const int length = GetLength();
        std::memcpy(text, m_pchData, static_cast<size_t>(length) + 1);
        fresh->length = length;
    }
    if (!isShared())
        std::free(header());
    m_pchData = text;
    return true;
}

void CString::assign(const char* bytes, int count)
{
    if (count <= 0 || bytes == nullptr) {
        Empty();
        return;
    }
    if (bytes >= m_pchData && bytes < m_pchData + GetLength() + 1) {
        CString copy(bytes, count);  // source lies inside this string
        *this = static_cast<CString&&>(copy);
        return;
    }
    if (!isShared() && header()->capacity >= count) {
        std::memmove(m_pchData, bytes, static_cast<size_t>(count));
    } else {
        CString fresh;
        if (!fresh.reserve(count, false))
            return;
        std::memcpy(fresh.m_pchData, bytes, static_cast<size_t>(count));
        *this = static_cast<CString&&>(fresh);
    }
    header()->length = count;
    m_pchData[count] = 0;
}

CString::CString(const CString& other) : m_pchData(emptyText())
{
    assign(other.m_pchData, other.GetLength());
}

CString::CString(CString&& other) noexcept : m_pchData(other.m_pchData)
{
    other.m_pchData = emptyText();
}

CString::CString(const char* text) : m_pchData(emptyText())
{
    if (text != nullptr)
        assign(text, clampedLength(std::strlen(text)));
}

CString::CString(const char* text, int length) : m_pchData(emptyText())
{
    assign(text, length);
}

CString::CString(char ch, int repeat) : m_pchData(emptyText())
{
    if (repeat > 0 && reserve(repeat, false)) {
        std::memset(m_pchData, static_cast<unsigned char>(ch), static_cast<size_t>(repeat));
        m_pchData[repeat] = 0;
        header()->length = repeat;
    }
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        assign(other.m_pchData, other.GetLength());
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other) {
        if (!isShared())
            std::free(header());
        m_pchData = other.m_pchData;
        other.m_pchData = emptyText();
    }
    return *this;
}

CString& CString::operator=(const char* text)
{
    if (text == nullptr)
        Empty();
    else
        assign(text, clampedLength(std::strlen(text)));
    return *this;
}

CString& CString::operator=(char ch)
{
    assign(&ch, 1);
    return *this;
}

void CString::Empty()
{
    if (!isShared())
        std::free(header());
    m_pchData = emptyText();
}

char CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return 0;
    return m_pchData[index];
}

void CString::SetAt(int index, char ch)
{
    if (index >= 0 && index < GetLength())
        m_pchData[index] = ch;
}

void CString::Append(const char* bytes, int count)
{
    if (count <= 0 || bytes == nullptr)
        return;
    const int length = GetLength();
    if (count > INT_MAX / 2 - length)
        return;
    if (bytes >= m_pchData && bytes < m_pchData + length + 1) {
        CString copy(bytes, count);
        Append(copy.m_pchData, count);
        return;
    }
    int capacity = isShared() ? 0 : header()->capacity;
    if (capacity < length + count) {
        int grown = capacity + capacity / 2;
        if (grown < length + count)
            grown = length + count;
        if (!reserve(grown, true))
            return;
    }
    std::memcpy(m_pchData + length, bytes, static_cast<size_t>(count));
    header()->length = length + count;
    m_pchData[length + count] = 0;
}

CString& CString::operator+=(const CString& other)
{
    Append(other.m_pchData, other.GetLength());
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (text != nullptr)
        Append(text, clampedLength(std::strlen(text)));
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const char* b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const char* a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}

namespace {

int compareBytes(const char* a, size_t na, const char* b, size_t nb)
{
    const size_t n = na < nb ? na : nb;
    const int c = n == 0 ? 0 : std::memcmp(a, b, n);
    if (c != 0)
        return c < 0 ? -1 : 1;
    if (na == nb)
        return 0;
    return na < nb ? -1 : 1;
}

}  // namespace

int CString::Compare(const char* text) const
{
    if (text == nullptr)
        text = "";
    return compareBytes(m_pchData, static_cast<size_t>(GetLength()), text, std::strlen(text));
}

int CString::Compare(const CString& other) const
{
    return compareBytes(m_pchData, static_cast<size_t>(GetLength()), other.m_pchData,
                        static_cast<size_t>(other.GetLength()));
}

int CString::CompareNoCase(const char* text) const
{
    CString a(*this), b(text);
    a.MakeLower();
    b.MakeLower();
    return a.Compare(b);
}

CString CString::Mid(int first) const { return Mid(first, GetLength() - (first < 0 ? 0 : first)); }

CString CString::Mid(int first, int count) const
{
    const int length = GetLength();
    if (first < 0)
        first = 0;
    if (count < 0)
        count = 0;
    if (first > length)
        first = length;
    if (count > length - first)
        count = length - first;
    return CString(m_pchData + first, count);
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const
{
    const int length = GetLength();
    if (count < 0)
        count = 0;
    if (count > length)
        count = length;
    return Mid(length - count, count);
}

int CString::Find(char ch, int start) const
{
    const int length = GetLength();
    for (int i = start < 0 ? 0 : start; i < length; ++i)
        if (m_pchData[i] == ch)
            return i;
    return -1;
}

int CString::Find(const char* sub, int start) const
{
    if (sub == nullptr)
        return -1;
    const int length = GetLength();
    const int n = clampedLength(std::strlen(sub));
    if (start < 0)
        start = 0;
    for (int i = start; i + n <= length; ++i)
        if (std::memcmp(m_pchData + i, sub, static_cast<size_t>(n)) == 0)
            return i;
    return -1;
}

int CString::ReverseFind(char ch) const
{
    for (int i = GetLength() - 1; i >= 0; --i)
        if (m_pchData[i] == ch)
            return i;
    return -1;
}

int CString::Replace(char oldChar, char newChar)
{
    int replaced = 0;
    const int length = GetLength();
    for (int i = 0; i < length; ++i) {
        if (m_pchData[i] == oldChar) {
            m_pchData[i] = newChar;
            ++replaced;
        }
    }
    return replaced;
}

int CString::Replace(const char* oldText, const char* newText)
{
    if (oldText == nullptr || *oldText == 0)
        return 0;
    if (newText == nullptr)
        newText = "";
    const int oldLength = clampedLength(std::strlen(oldText));
    const int newLength = clampedLength(std::strlen(newText));
    const int length = GetLength();
    CString result;
    int replaced = 0;
    int i = 0;
    while (i < length) {
        if (i + oldLength <= length && std::memcmp(m_pchData + i, oldText, static_cast<size_t>(oldLength)) == 0) {
            result.Append(newText, newLength);
            i += oldLength;
            ++replaced;
        } else {
            result.Append(m_pchData + i, 1);
            ++i;
        }
    }
    if (replaced > 0)
        *this = static_cast<CString&&>(result);
    return replaced;
}

int CString::Insert(int index, char ch) { return Insert(index, CString(ch, 1)); }

int CString::Insert(int index, const char* text)
{
    if (text == nullptr || *text == 0)
        return GetLength();
    const int length = GetLength();
    if (index < 0)
        index = 0;
    if (index > length)
        index = length;
    CString result(m_pchData, index);
    result += text;
    result.Append(m_pchData + index, length - index);
    *this = static_cast<CString&&>(result);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    const int length = GetLength();
    if (index < 0)
        index = 0;
    if (count > 0 && index < length) {
        if (count > length - index)
            count = length - index;
        std::memmove(m_pchData + index, m_pchData + index + count, static_cast<size_t>(length - index - count) + 1);
        header()->length = length - count;
    }
    return GetLength();
}

namespace {

bool inSet(char ch, const char* set) { return ch != 0 && std::strchr(set, ch) != nullptr; }
bool isSpace(char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; }

}  // namespace

void CString::TrimRight()
{
    int length = GetLength();
    while (length > 0 && isSpace(m_pchData[length - 1]))
        --length;
    Delete(length, GetLength() - length);
}

void CString::TrimRight(char target)
{
    int length = GetLength();
    while (length > 0 && m_pchData[length - 1] == target)
        --length;
    Delete(length, GetLength() - length);
}

void CString::TrimRight(const char* targets)
{
    if (targets == nullptr)
        return;
    int length = GetLength();
    while (length > 0 && inSet(m_pchData[length - 1], targets))
        --length;
    Delete(length, GetLength() - length);
}

void CString::TrimLeft()
{
    int i = 0;
    while (i < GetLength() && isSpace(m_pchData[i]))
        ++i;
    Delete(0, i);
}

void CString::TrimLeft(char target)
{
    int i = 0;
    while (i < GetLength() && m_pchData[i] == target)
        ++i;
    Delete(0, i);
}

void CString::TrimLeft(const char* targets)
{
    if (targets == nullptr)
        return;
    int i = 0;
    while (i < GetLength() && inSet(m_pchData[i], targets))
        ++i;
    Delete(0, i);
}

void CString::MakeUpper()
{
    for (int i = 0; i < GetLength(); ++i)
        m_pchData[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(m_pchData[i])));
}

void CString::MakeLower()
{
    for (int i = 0; i < GetLength(); ++i)
        m_pchData[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(m_pchData[i])));
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    if (format == nullptr) {
        Empty();
        return;
    }
    va_list probe;
    va_copy(probe, args);
    const int needed = std::vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    if (needed <= 0 || needed > INT_MAX / 2) {
        Empty();
        return;
    }
    CString result;
    if (!result.reserve(needed, false)) {
        Empty();
        return;
    }
    std::vsnprintf(result.m_pchData, static_cast<size_t>(needed) + 1, format, args);
    result.header()->length = needed;
    *this = static_cast<CString&&>(result);
}

char* CString::GetBuffer(int minLength)
{
    if (minLength < GetLength())
        minLength = GetLength();
    if (!reserve(minLength, true))
        return nullptr;
    return m_pchData;
}

void CString::ReleaseBuffer(int newLength)
{
    if (isShared())
        return;
    if (newLength < 0)
        newLength = clampedLength(std::strlen(m_pchData));
    if (newLength > header()->capacity)
        newLength = header()->capacity;
    header()->length = newLength;
    m_pchData[newLength] = 0;
}

char* CString::GetBufferSetLength(int length)
{
    if (length < 0)
        length = 0;
    char* buffer = GetBuffer(length);
    if (buffer == nullptr)
        return nullptr;
    if (!isShared()) {
        // New room beyond the old length reads as zero bytes, never as garbage.
        const int old = header()->length;
        if (length > old)
            std::memset(m_pchData + old, 0, static_cast<size_t>(length - old));
        header()->length = length;
        m_pchData[length] = 0;
    }
    return m_pchData;
}

// The host string: the platform class library's CString.
//
// An owned, length-counted byte string. It may hold zero bytes; the text
// pointer is always followed by a terminating zero. The object is a single
// pointer to the characters, with the length and the capacity stored in front
// of them, so it has the size of a pointer like the platform's own.
//
// The class is packed to 4-byte alignment because the host's value record
// (HostValue) holds it at an offset of 12 in a record packed to 4 bytes.
//
// No member throws: when memory runs out the string is left empty (or, for
// the operations that grow it, unchanged).
#pragma once

#include <cstdarg>

#include "platform/win_types.h"

// The empty representation, never written and never freed. Its capacity of -1
// marks it, rather than its address: the module and the host each carry a
// copy of this code (hidden in each), and a string made by one may be
// destroyed by the other.
struct alignas(8) CStringEmptyRep {
    int length;
    int capacity;
    char text[8];
};
extern CStringEmptyRep cstringEmptyRep PLATFORM_HIDDEN;

class __attribute__((packed, aligned(4))) CString {
public:
    // Inline, as every host value holds one: an argument list makes and
    // destroys sixteen empty ones per call.
    CString() : m_pchData(cstringEmptyRep.text) {}
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString(const char* text);              // a null pointer gives the empty string
    CString(const char* text, int length);  // exactly length bytes, zero bytes included
    CString(char ch, int repeat = 1);
    ~CString()
    {
        if (!isShared())
            release();
    }

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const { return isShared() ? 0 : header()->length; }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty();

    // The characters; for a string with zero bytes inside, reading stops at the first.
    operator const char*() const { return m_pchData; }
    const char* GetString() const { return m_pchData; }

    char GetAt(int index) const;  // index must lie in 0 .. length - 1
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch);

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    void Append(const char* bytes, int count);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);

    // Byte-wise comparison over the whole length (zero bytes included).
    int Compare(const char* text) const;
    int Compare(const CString& other) const;
    int CompareNoCase(const char* text) const;
    friend bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const char* b) { return a.Compare(b) != 0; }

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int start) const;
    int Find(const char* sub) const { return Find(sub, 0); }
    int Find(const char* sub, int start) const;
    int ReverseFind(char ch) const;

    // Replaces every occurrence; answers the number replaced.
    int Replace(char oldChar, char newChar);
    int Replace(const char* oldText, const char* newText);
    // Insert answers the new length; an index past the end appends.
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    // Delete answers the new length.
    int Delete(int index, int count = 1);

    void TrimRight();  // white space as isspace() sees it
    void TrimRight(char target);
    void TrimRight(const char* targets);
    void TrimLeft();
    void TrimLeft(char target);
    void TrimLeft(const char* targets);

    void MakeUpper();
    void MakeLower();

    void Format(const char* format, ...) PLATFORM_PRINTF(2, 3);
    void FormatV(const char* format, va_list args);

    // Direct access for writers that know the length only afterwards.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);  // -1: up to the first zero byte
    char* GetBufferSetLength(int length);

private:
    struct Header {
        int length;
        int capacity;
    };
    Header* header() const { return reinterpret_cast<Header*>(m_pchData) - 1; }
    bool isShared() const { return header()->capacity < 0; }
    void release();  // frees the characters of a string that is not the empty one
    bool reserve(int capacity, bool keep);
    void assign(const char* bytes, int count);

    char* m_pchData;
};

// The host class library's small members that every module built against the
// host's headers carries and exports itself. The module calls none of them; a
// host or another module may bind to them by name, so each class is exported
// with default visibility and every member is defined out of line (inline
// members would stay hidden). Helpers live in the source files, outside the
// classes, so that nothing beyond the listed members is exported.
//
// BinData, the host's binary buffer, is declared in host/vantor_host.h; its
// exported members are defined in classlib/bin_data_members.cpp.
#pragma once

#include "host/vantor_host.h"
#include "platform/critical_section.h"
#include "platform/global_memory.h"
#include "platform/host_string.h"
#include "platform/string_list.h"
#include "platform/win_types.h"

#define VTR_CLASS PLATFORM_EXPORT

// The count of holders of a handle or critical section shared by assignment
// (classlib/shared_ownership.h).
struct SharedOwnership;

// The host's string: a CString with the host's editing helpers. It has no data
// of its own. Members that change the text answer the string itself.
class VTR_CLASS CZEL_String : public CString {
public:
    CZEL_String();
    CZEL_String(char ch, int repeat);
    CZEL_String(const char* text);               // a null pointer gives the empty string
    CZEL_String(const char* text, int length);   // exactly length bytes
    CZEL_String(const CZEL_String& other);
    CZEL_String(const CString& other);
    ~CZEL_String();
    CZEL_String& operator=(const CZEL_String& other);

    // Trimming removes spaces and tabs only; other white space stays.
    CZEL_String& TrimRightSpace();
    CZEL_String& TrimLeftSpace();
    CZEL_String& TrimSpace();  // trailing first, then leading
    int ReverseFind(char ch) const;  // index of the last ch, -1 when absent
    CZEL_String& DelTab();           // every tab becomes one space
    // Fill the list with the comma- / dot-separated fields, each trimmed of
    // spaces and tabs; answer their number (SplitField).
    int SplitParam(CStringList& fields);
    int SplitObject(CStringList& fields);
    // Deletes count bytes at position, then inserts text there (InsertEx).
    CZEL_String& ReplaceEx(int position, int count, const CString& text);
    // Each removes one byte; on an empty string nothing happens.
    CZEL_String& DeleteLastByte();
    CZEL_String& DeleteFirstByte();
    CZEL_String& Normal();  // tabs expanded (UnTab), then trailing spaces and tabs removed
    bool IsCWORD(int position);  // STR_IsCWORD
    bool IsDigit();              // STR_IsDigit
    bool IsHex();                // STR_IsHex
    DWORD HexToLong();           // STR_HexToLong
    // Decimal conversions after the standard library's atoi / atol / atof: leading
    // white space and a sign are read, reading stops at the first other byte, and
    // no digits give 0. Values out of range are clamped to the result type (the
    // library's own functions leave them undefined). ToLong answers the host's
    // 32-bit long.
    int ToInt();
    LONG ToLong();
    double ToDouble();
    // The imported InsertEx with the one-byte text of ch (a zero byte inserts nothing).
    CZEL_String& InsertEx(int position, char ch);
    CZEL_String& MakeDialogStaticText();  // "&" becomes "&&"
    // "&" becomes "&&", then "%" becomes "%%", then "\" becomes "\\".
    CZEL_String& MakePrintText();
};

// An owned global memory handle (null when empty), released with GlobalFree.
//
// Assignment copies the handle word, so that afterwards both objects answer
// the same handle. The copy does not make a second owner that would free the
// block again: both objects then share the block through a count of holders
// (m_share), and only the last holder to let go frees it. So
//     CZEL_Handle h; h = CZEL_Handle("text");
// leaves h with a good handle after the temporary is gone. Detach on a shared
// handle hands the block to the caller: none of the holders frees it any more,
// and those left keep the word without owning it.
// The count is not guarded: objects that share a handle must not be assigned
// or destroyed on several threads at once.
class VTR_CLASS CZEL_Handle {
public:
    CZEL_Handle();
    CZEL_Handle(const CZEL_Handle& other);  // a new block with a copy of the content (CopyHandle)
    CZEL_Handle(const char* text);          // MakeHandle of the text
    CZEL_Handle(const void* data, DWORD length);  // MakeHandle of the block
    ~CZEL_Handle();

    // Takes ownership of handle and answers 1; answers 0 and keeps the handle it
    // holds when it is not empty. Attach only handles that nobody else frees.
    BOOL Attach(HGLOBAL handle);
    // Answers the handle and leaves the object empty; the caller now owns it.
    HGLOBAL Detach();
    operator HGLOBAL();
    operator CString();  // the content as text (GetHandleStr)
    void* GetData();     // address of the content (GetHandleData)
    DWORD GetDataLength();  // the block's size
    CZEL_Handle& operator=(const CZEL_Handle& other);

private:
    HGLOBAL m_hHandle;
    // Null while this object is the only holder; set by assignment. Mutable:
    // assignment from a const source makes the source a holder of the count too.
    mutable SharedOwnership* m_share;
};

// A critical section object (a recursive lock).
//
// Assignment copies the critical-section record, so that afterwards both
// objects enter and leave one lock. The copy does not make a second owner that
// would delete the lock again: both objects share it through a count of
// holders, and only the last to go deletes it. The lock the target held before
// is deleted when the target was its last holder (assign only over a section
// that no other thread is in). Copy construction would make an unaccounted
// second owner and is not offered.
class VTR_CLASS CZEL_CHMS {
public:
    CZEL_CHMS();   // InitializeCriticalSection
    ~CZEL_CHMS();  // DeleteCriticalSection, by the last holder
    CZEL_CHMS(const CZEL_CHMS&) = delete;
    void EnterCS();
    void LeaveCS();
    CZEL_CHMS& operator=(const CZEL_CHMS& other);

private:
    CRITICAL_SECTION m_cs;
    mutable SharedOwnership* m_share;  // as in CZEL_Handle
};

// A scoped lock: enters the section on construction and leaves it on
// destruction; a null pointer makes it do neither.
//
// Assignment copies the pointer. So that every enter is matched by one leave,
// the target first leaves the section it entered and then enters the one it now
// points at (a recursive section lets the same thread in twice). Copy
// construction would leave a section that it never entered and is not offered.
class VTR_CLASS CAutoCHMS {
public:
    explicit CAutoCHMS(CZEL_CHMS* section);
    explicit CAutoCHMS(CZEL_CHMS& section);
    ~CAutoCHMS();
    CAutoCHMS(const CAutoCHMS&) = delete;
    CAutoCHMS& operator=(const CAutoCHMS& other);

private:
    CZEL_CHMS* m_pCS;
};

// A host static control. The host draws it with the stored colours and mode;
// the module only reads them. Colours are 0x00BBGGRR words.
class VTR_CLASS CColorStatic {
public:
    DWORD GetTextColor();
    DWORD GetBkColor();
    DWORD GetBkMode();

    DWORD m_textColor = 0x00000000;  // black
    DWORD m_bkColor = 0x00FFFFFF;    // white
    DWORD m_bkMode = 2;              // 1 transparent, 2 opaque
};

// A host listening socket; the module reads how many clients it serves.
class VTR_CLASS CZEL_ServerSocket {
public:
    int GetClientCount();

    int m_clientCount = 0;
};

// A host settings file; the module reads its file name.
class VTR_CLASS CZEL_IniFile {
public:
    CString GetFileName();  // a copy

    CString m_fileName;
};

// A host socket for one user's connection. The host's derived sockets greet a
// new user by overriding ShowWelcome; the base class greets nobody.
class VTR_CLASS CZEL_UserSocket {
public:
    virtual ~CZEL_UserSocket() = default;
    virtual void ShowWelcome();
};

// The class library's list of host strings (CStringList).
//
// A doubly linked list of CString. Positions are opaque handles of list nodes:
// a position stays good until its node is removed or the list is emptied.
// Iteration follows the class library's pattern:
//
//     for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
//         use(list.GetNext(pos));
//
// No member throws. A node that cannot be allocated is not added (the adding
// member answers a null position). Reading members never fail: asked for the
// head or tail of an empty list, or handed a null position, they answer an
// empty string and leave the position null.
#pragma once

#include "platform/host_string.h"

typedef struct __POSITION* POSITION;

class CStringList {
public:
    CStringList() = default;
    ~CStringList();
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;

    int GetCount() const { return m_count; }
    int GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }

    // The first / last string; an empty string for an empty list.
    const CString& GetHead() const;
    const CString& GetTail() const;

    // Each answers the position of the new node, null when memory runs out.
    POSITION AddHead(const CString& text);
    POSITION AddTail(const CString& text);
    // Appends copies of every string of the other list (which may be this one);
    // answers the number added.
    int AddTail(const CStringList& other);
    POSITION InsertBefore(POSITION position, const CString& text);  // null position: at the head
    POSITION InsertAfter(POSITION position, const CString& text);   // null position: at the tail

    // Remove and answer the first / last string; an empty string for an empty list.
    CString RemoveHead();
    CString RemoveTail();
    void RemoveAt(POSITION position);  // a null position is ignored
    void RemoveAll();

    POSITION GetHeadPosition() const;
    POSITION GetTailPosition() const;
    // The string at the position, moving the position to the next / previous
    // node (null past the end).
    const CString& GetNext(POSITION& position) const;
    const CString& GetPrev(POSITION& position) const;
    const CString& GetAt(POSITION position) const;
    void SetAt(POSITION position, const CString& text);  // a null position is ignored

    // Position of the element with the zero-based index; null when out of range.
    POSITION FindIndex(int index) const;
    // Position of the first string equal to text, searching from the node after
    // start (from the head when start is null); null when absent.
    POSITION Find(const char* text, POSITION start = nullptr) const;

private:
    struct Node;
    static Node* nodeOf(POSITION position);
    static POSITION positionOf(Node* node);
    Node* newNode(const CString& text);
    void unlink(Node* node);

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
};

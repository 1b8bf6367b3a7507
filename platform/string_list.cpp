#include "platform/string_list.h"

#include <new>

struct CStringList::Node {
    CString text;
    Node* prev;
    Node* next;
};

namespace {

// What the reading members answer when there is nothing to read. Never written.
const CString& noString()
{
    static const CString empty;
    return empty;
}

}  // namespace

CStringList::Node* CStringList::nodeOf(POSITION position) { return reinterpret_cast<Node*>(position); }

POSITION CStringList::positionOf(Node* node) { return reinterpret_cast<POSITION>(node); }

CStringList::~CStringList() { RemoveAll(); }

CStringList::Node* CStringList::newNode(const CString& text)
{
    Node* node = new (std::nothrow) Node{text, nullptr, nullptr};
    if (node != nullptr && node->text.GetLength() != text.GetLength()) {
        // The copy of the string ran out of memory: adding a shortened string
        // would be worse than adding nothing.
        delete node;
        return nullptr;
    }
    return node;
}

void CStringList::unlink(Node* node)
{
    (node->prev != nullptr ? node->prev->next : m_head) = node->next;
    (node->next != nullptr ? node->next->prev : m_tail) = node->prev;
    --m_count;
    delete node;
}

const CString& CStringList::GetHead() const { return m_head != nullptr ? m_head->text : noString(); }

const CString& CStringList::GetTail() const { return m_tail != nullptr ? m_tail->text : noString(); }

POSITION CStringList::AddHead(const CString& text) { return InsertBefore(GetHeadPosition(), text); }

POSITION CStringList::AddTail(const CString& text) { return InsertAfter(GetTailPosition(), text); }

int CStringList::AddTail(const CStringList& other)
{
    // Counted first, so that appending a list to itself copies it once.
    const int count = other.m_count;
    int added = 0;
    Node* node = other.m_head;
    for (int i = 0; i < count && node != nullptr; ++i, node = node->next)
        if (AddTail(node->text) != nullptr)
            ++added;
    return added;
}

POSITION CStringList::InsertBefore(POSITION position, const CString& text)
{
    Node* before = nodeOf(position);
    if (before == nullptr)
        before = m_head;
    Node* node = newNode(text);
    if (node == nullptr)
        return nullptr;
    node->next = before;
    node->prev = before != nullptr ? before->prev : nullptr;
    (node->prev != nullptr ? node->prev->next : m_head) = node;
    (before != nullptr ? before->prev : m_tail) = node;
    ++m_count;
    return positionOf(node);
}

POSITION CStringList::InsertAfter(POSITION position, const CString& text)
{
    Node* after = nodeOf(position);
    if (after == nullptr)
        after = m_tail;
    Node* node = newNode(text);
    if (node == nullptr)
        return nullptr;
    node->prev = after;
    node->next = after != nullptr ? after->next : nullptr;
    (node->next != nullptr ? node->next->prev : m_tail) = node;
    (after != nullptr ? after->next : m_head) = node;
    ++m_count;
    return positionOf(node);
}

CString CStringList::RemoveHead()
{
    if (m_head == nullptr)
        return CString();
    CString text(static_cast<CString&&>(m_head->text));
    unlink(m_head);
    return text;
}

CString CStringList::RemoveTail()
{
    if (m_tail == nullptr)
        return CString();
    CString text(static_cast<CString&&>(m_tail->text));
    unlink(m_tail);
    return text;
}

void CStringList::RemoveAt(POSITION position)
{
    if (position != nullptr)
        unlink(nodeOf(position));
}

void CStringList::RemoveAll()
{
    Node* node = m_head;
    while (node != nullptr) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    m_head = m_tail = nullptr;
    m_count = 0;
}

POSITION CStringList::GetHeadPosition() const { return positionOf(m_head); }

POSITION CStringList::GetTailPosition() const { return positionOf(m_tail); }

const CString& CStringList::GetNext(POSITION& position) const
{
    Node* node = nodeOf(position);
    if (node == nullptr)
        return noString();
    position = positionOf(node->next);
    return node->text;
}

const CString& CStringList::GetPrev(POSITION& position) const
{
    Node* node = nodeOf(position);
    if (node == nullptr)
        return noString();
    position = positionOf(node->prev);
    return node->text;
}

const CString& CStringList::GetAt(POSITION position) const
{
    Node* node = nodeOf(position);
    return node != nullptr ? node->text : noString();
}

void CStringList::SetAt(POSITION position, const CString& text)
{
    Node* node = nodeOf(position);
    if (node != nullptr)
        node->text = text;
}

POSITION CStringList::FindIndex(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    Node* node = m_head;
    while (index-- > 0)
        node = node->next;
    return positionOf(node);
}

POSITION CStringList::Find(const char* text, POSITION start) const
{
    if (text == nullptr)
        return nullptr;
    Node* node = start != nullptr ? nodeOf(start)->next : m_head;
    for (; node != nullptr; node = node->next)
        if (node->text == text)
            return positionOf(node);
    return nullptr;
}

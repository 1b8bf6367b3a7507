// CZEL_CHMS and CAutoCHMS: a critical section object and its scoped lock. How
// assignment shares one lock without deleting it twice is told in
// classlib/class_library.h.
#include "classlib/class_library.h"
#include "classlib/shared_ownership.h"

namespace {

// Lets go of the lock; deletes it when this was its last holder. A free
// function rather than a member, so that it is not exported with the class.
void releaseSection(CRITICAL_SECTION& section, SharedOwnership*& share)
{
    if (leaveOwnership(share))
        DeleteCriticalSection(&section);
    section = CRITICAL_SECTION{};
}

}  // namespace

CZEL_CHMS::CZEL_CHMS() : m_cs{}, m_share(nullptr) { InitializeCriticalSection(&m_cs); }

CZEL_CHMS::~CZEL_CHMS() { releaseSection(m_cs, m_share); }

void CZEL_CHMS::EnterCS() { EnterCriticalSection(&m_cs); }

void CZEL_CHMS::LeaveCS() { LeaveCriticalSection(&m_cs); }

CZEL_CHMS& CZEL_CHMS::operator=(const CZEL_CHMS& other)
{
    // Already one lock (self-assignment among them): nothing to do.
    if (CriticalSectionSame(m_cs, other.m_cs))
        return *this;
    SharedOwnership* joined = nullptr;
    if (!joinOwnership(other.m_share, joined))
        return *this;  // no memory to count a second holder: keep the own lock
    releaseSection(m_cs, m_share);
    m_cs = other.m_cs;
    m_share = joined;
    return *this;
}

CAutoCHMS::CAutoCHMS(CZEL_CHMS* section) : m_pCS(section)
{
    if (m_pCS != nullptr)
        m_pCS->EnterCS();
}

CAutoCHMS::CAutoCHMS(CZEL_CHMS& section) : m_pCS(&section) { m_pCS->EnterCS(); }

CAutoCHMS::~CAutoCHMS()
{
    if (m_pCS != nullptr)
        m_pCS->LeaveCS();
}

CAutoCHMS& CAutoCHMS::operator=(const CAutoCHMS& other)
{
    if (m_pCS == other.m_pCS)
        return *this;
    if (m_pCS != nullptr)
        m_pCS->LeaveCS();
    m_pCS = other.m_pCS;
    if (m_pCS != nullptr)
        m_pCS->EnterCS();
    return *this;
}

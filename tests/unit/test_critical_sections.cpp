// Critical sections: the platform stand-in, CZEL_CHMS and the scoped CAutoCHMS.
// A lock deleted twice or used after deletion shows up in the sanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>
#include <vector>

#include "classlib/class_library.h"
#include "platform/critical_section.h"

namespace {

// Whether another thread could enter the section right now.
bool otherThreadCanEnter(LPCRITICAL_SECTION section)
{
    bool entered = false;
    std::thread other([&] {
        entered = TryEnterCriticalSection(section) != FALSE;
        if (entered)
            LeaveCriticalSection(section);
    });
    other.join();
    return entered;
}

// The lock record of a CZEL_CHMS, its first member.
static_assert(std::is_standard_layout<CZEL_CHMS>::value, "the record is reachable as the first member");
LPCRITICAL_SECTION sectionOf(CZEL_CHMS& chms) { return reinterpret_cast<LPCRITICAL_SECTION>(&chms); }

TEST(CriticalSection, EnterIsReentrantAndExcludesOtherThreads)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EXPECT_TRUE(otherThreadCanEnter(&section));
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // the holder gets in again at once
    EXPECT_EQ(CriticalSectionDepth(&section), 2);
    EXPECT_FALSE(otherThreadCanEnter(&section));
    LeaveCriticalSection(&section);
    EXPECT_EQ(CriticalSectionDepth(&section), 1);
    EXPECT_FALSE(otherThreadCanEnter(&section));  // entered twice, left once: still held
    LeaveCriticalSection(&section);
    EXPECT_EQ(CriticalSectionDepth(&section), 0);
    EXPECT_TRUE(otherThreadCanEnter(&section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, TryEnterSucceedsForTheHolder)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EXPECT_EQ(TryEnterCriticalSection(&section), TRUE);
    EXPECT_EQ(TryEnterCriticalSection(&section), TRUE);
    EXPECT_EQ(CriticalSectionDepth(&section), 2);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_TRUE(otherThreadCanEnter(&section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, LeavingASectionNotHeldChangesNothing)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    LeaveCriticalSection(&section);  // nobody holds it
    EXPECT_TRUE(otherThreadCanEnter(&section));

    EnterCriticalSection(&section);
    std::thread stranger([&] { LeaveCriticalSection(&section); });
    stranger.join();
    EXPECT_EQ(CriticalSectionDepth(&section), 1);  // still the holder's
    EXPECT_FALSE(otherThreadCanEnter(&section));
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, UninitialisedAndDeletedSectionsAreHarmless)
{
    CRITICAL_SECTION zero{};
    EnterCriticalSection(&zero);
    EXPECT_EQ(TryEnterCriticalSection(&zero), FALSE);
    LeaveCriticalSection(&zero);
    DeleteCriticalSection(&zero);
    EXPECT_EQ(zero.lock, nullptr);

    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    ASSERT_NE(section.lock, nullptr);
    DeleteCriticalSection(&section);
    EXPECT_EQ(section.lock, nullptr);
    DeleteCriticalSection(&section);  // a second delete does nothing
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(nullptr);
}

TEST(CriticalSection, DeletingAHeldSectionReleasesItFirst)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    DeleteCriticalSection(&section);  // ASan/LSan would see a leak or a bad free otherwise
    EXPECT_EQ(section.lock, nullptr);
    EXPECT_EQ(CriticalSectionDepth(&section), 0);
}

TEST(CriticalSection, ExcludesConcurrentWriters)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    int counter = 0;
    const int threads = 4, rounds = 2000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                const int seen = counter;
                std::this_thread::yield();  // invites a lost update if exclusion failed
                counter = seen + 1;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(counter, threads * rounds);
    DeleteCriticalSection(&section);
}

TEST(CzelChms, EnterAndLeaveWorkTheLock)
{
    CZEL_CHMS chms;
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(chms)));
    chms.EnterCS();
    chms.EnterCS();
    EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 2);
    EXPECT_FALSE(otherThreadCanEnter(sectionOf(chms)));
    chms.LeaveCS();
    chms.LeaveCS();
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(chms)));
}

TEST(CzelChms, AssignmentCopiesTheRecordSoBothUseOneLock)
{
    CZEL_CHMS a, b;
    b = a;
    EXPECT_EQ(sectionOf(b)->lock, sectionOf(a)->lock);
    a.EnterCS();
    EXPECT_EQ(CriticalSectionDepth(sectionOf(b)), 1);
    EXPECT_FALSE(otherThreadCanEnter(sectionOf(b)));
    b.EnterCS();  // the same lock, entered again by its holder
    EXPECT_EQ(CriticalSectionDepth(sectionOf(a)), 2);
    b.LeaveCS();
    a.LeaveCS();
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(a)));
    // Both destructors run here; the lock is deleted once (ASan would report twice).
}

TEST(CzelChms, TheLockOutlivesTheObjectItWasCopiedFrom)
{
    CZEL_CHMS target;
    {
        CZEL_CHMS source;
        target = source;
    }
    ASSERT_NE(sectionOf(target)->lock, nullptr);
    target.EnterCS();
    EXPECT_FALSE(otherThreadCanEnter(sectionOf(target)));
    target.LeaveCS();
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(target)));
}

TEST(CzelChms, ChainsAndReassignmentKeepOneDeletePerLock)
{
    CZEL_CHMS a, b, c, d;
    b = a;
    c = b;
    d = c;
    EXPECT_EQ(sectionOf(d)->lock, sectionOf(a)->lock);
    CZEL_CHMS fresh;
    c = fresh;  // c lets go of its share of a's lock
    EXPECT_EQ(sectionOf(c)->lock, sectionOf(fresh)->lock);
    EXPECT_NE(sectionOf(c)->lock, sectionOf(a)->lock);
    c = c;
    a = d;  // already one lock
    EXPECT_EQ(sectionOf(a)->lock, sectionOf(d)->lock);
    a.EnterCS();
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(c)));
    EXPECT_FALSE(otherThreadCanEnter(sectionOf(b)));
    a.LeaveCS();
}

TEST(CzelChms, AssigningOverAHeldSectionReleasesIt)
{
    CZEL_CHMS held, other;
    held.EnterCS();
    held = other;  // the old lock is deleted, released first
    EXPECT_EQ(CriticalSectionDepth(sectionOf(held)), 0);
    held.LeaveCS();  // leaves a lock it does not hold: nothing happens
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(other)));
}

TEST(CzelChms, SharedLockExcludesThreadsUsingEitherObject)
{
    CZEL_CHMS a, b;
    b = a;
    int counter = 0;
    const int rounds = 2000;
    auto work = [&](CZEL_CHMS& chms) {
        for (int i = 0; i < rounds; ++i) {
            CAutoCHMS lock(chms);
            const int seen = counter;
            std::this_thread::yield();
            counter = seen + 1;
        }
    };
    std::thread t1(work, std::ref(a)), t2(work, std::ref(b)), t3(work, std::ref(a)), t4(work, std::ref(b));
    t1.join();
    t2.join();
    t3.join();
    t4.join();
    EXPECT_EQ(counter, 4 * rounds);
}

TEST(CAutoChms, NullPointerEntersNothing)
{
    {
        CAutoCHMS lock(static_cast<CZEL_CHMS*>(nullptr));
    }
    CZEL_CHMS chms;
    {
        CAutoCHMS none(static_cast<CZEL_CHMS*>(nullptr));
        CAutoCHMS real(&chms);
        none = real;  // now holds chms too
        EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 2);
        CAutoCHMS other(static_cast<CZEL_CHMS*>(nullptr));
        real = other;  // leaves chms, enters nothing
        EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 1);
    }
    EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 0);
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(chms)));
}

TEST(CAutoChms, ScopesEnterAndLeaveReentrantly)
{
    CZEL_CHMS chms;
    {
        CAutoCHMS outer(&chms);
        EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 1);
        EXPECT_FALSE(otherThreadCanEnter(sectionOf(chms)));
        {
            CAutoCHMS inner(chms);  // the same thread again: no deadlock
            EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 2);
        }
        EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 1);
        EXPECT_FALSE(otherThreadCanEnter(sectionOf(chms)));
    }
    EXPECT_EQ(CriticalSectionDepth(sectionOf(chms)), 0);
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(chms)));
}

TEST(CAutoChms, AssignmentMovesTheEntryToTheOtherSection)
{
    CZEL_CHMS first, second;
    {
        CAutoCHMS a(first);
        CAutoCHMS b(second);
        a = b;
        EXPECT_EQ(CriticalSectionDepth(sectionOf(first)), 0);
        EXPECT_TRUE(otherThreadCanEnter(sectionOf(first)));
        EXPECT_EQ(CriticalSectionDepth(sectionOf(second)), 2);
        a = b;  // the same section already
        EXPECT_EQ(CriticalSectionDepth(sectionOf(second)), 2);
        a = a;
        EXPECT_EQ(CriticalSectionDepth(sectionOf(second)), 2);
    }
    // Every enter was matched by one leave.
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(first)));
    EXPECT_TRUE(otherThreadCanEnter(sectionOf(second)));
}

}  // namespace

#include "platform/sync/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"

namespace {

using plat::Handle;

TEST(Events, AutoResetWakesOneWaiterManualStaysSignalled) {
    Handle autoEv(CreateEvent(FALSE, TRUE));
    EXPECT_EQ(WaitForSingleObject(autoEv.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEv.get(), 0), WAIT_TIMEOUT);  // reset by the wait

    Handle manual(CreateEvent(TRUE, FALSE));
    EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_TIMEOUT);
    SetEvent(manual.get());
    EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
    ResetEvent(manual.get());
    EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_TIMEOUT);
}

TEST(Events, WaitAnyReportsLowestSignalledIndexAndWaitAllNeedsAll) {
    Handle a(CreateEvent(TRUE, FALSE)), b(CreateEvent(TRUE, TRUE)), c(CreateEvent(TRUE, TRUE));
    HANDLE hs[] = {a.get(), b.get(), c.get()};
    EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, hs, TRUE, 0), WAIT_TIMEOUT);
    SetEvent(a.get());
    EXPECT_EQ(WaitForMultipleObjects(3, hs, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, FALSE, 0), WAIT_TIMEOUT);
    HANDLE bad[] = {a.get(), nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);
}

TEST(Events, SignalFromAnotherThreadEndsAnInfiniteWait) {
    Handle ev(CreateEvent(FALSE, FALSE));
    std::thread t([&] { SetEvent(ev.get()); });
    EXPECT_EQ(WaitForSingleObject(ev.get(), INFINITE), WAIT_OBJECT_0);
    t.join();
}

TEST(Events, NamedEventsAreOneObjectPerProcess) {
    Handle a(CreateEvent(TRUE, FALSE, "test.named.event"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    Handle b(CreateEvent(TRUE, FALSE, "test.named.event"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(CreateMutex(FALSE, "test.named.event"), nullptr);  // other kind: refused
}

TEST(Clock, ManualClockDrivesTimeOutsAndScaledClockShortensThem) {
    {
        plat::ManualClock clock;
        plat::ScopedClock scope(clock);
        Handle ev(CreateEvent(TRUE, FALSE));
        std::atomic<bool> done{false};
        // Another thread moves the clock; the wait ends exactly when 5 s have passed on it.
        std::thread mover([&] {
            while (!done) {
                clock.Advance(250);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        uint64_t start = GetTickCount64();
        EXPECT_EQ(WaitForSingleObject(ev.get(), 5000), WAIT_TIMEOUT);
        EXPECT_GE(GetTickCount64() - start, 5000u);
        done = true;
        mover.join();
    }
    {
        plat::ScaledClock clock(0.001);  // one clock second = 1 real ms
        plat::ScopedClock scope(clock);
        uint64_t before = GetTickCount64();
        Sleep(10000);
        EXPECT_GE(GetTickCount64() - before, 10000u);
    }
}

TEST(Mutexes, RecursiveOnOwnerExclusiveForOthersAndOwnerOnlyRelease) {
    Handle m(CreateMutex(TRUE));
    EXPECT_EQ(WaitForSingleObject(m.get(), 0), WAIT_OBJECT_0);  // recursion 2
    std::atomic<DWORD> other{0};
    std::thread t([&] {
        other = WaitForSingleObject(m.get(), 0);
        EXPECT_FALSE(ReleaseMutex(m.get()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    });
    t.join();
    EXPECT_EQ(other.load(), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m.get()));
    EXPECT_TRUE(ReleaseMutex(m.get()));
    EXPECT_FALSE(ReleaseMutex(m.get()));
    std::thread t2([&] {
        EXPECT_EQ(WaitForSingleObject(m.get(), 0), WAIT_OBJECT_0);
        ReleaseMutex(m.get());
    });
    t2.join();
}

TEST(Mutexes, OwnerThreadEndingAbandonsTheMutex) {
    Handle m(CreateMutex(FALSE, "test.abandoned"));
    std::thread t([] {
        Handle mine(OpenMutex("test.abandoned"));
        ASSERT_EQ(WaitForSingleObject(mine.get(), 0), WAIT_OBJECT_0);
    });  // ends without ReleaseMutex
    t.join();
    EXPECT_EQ(WaitForSingleObject(m.get(), 1000), WAIT_ABANDONED_0);
    EXPECT_TRUE(ReleaseMutex(m.get()));
    EXPECT_EQ(WaitForSingleObject(m.get(), 0), WAIT_OBJECT_0);  // no longer abandoned
    ReleaseMutex(m.get());
}

TEST(Threads, SelfSuspendFollowsSuspendCountsAndHandleSignalsAtEnd) {
    Handle parked(CreateEvent(TRUE, FALSE));
    std::atomic<DWORD> suspendedFrom{99};
    std::atomic<int> progress{0};
    HANDLE self = nullptr;
    Handle th(CreateThread([&]() -> DWORD {
        self = GetCurrentThread();
        SetEvent(parked.get());
        suspendedFrom = SuspendThread(self);
        progress = 1;
        CloseHandle(self);
        return 7;
    }));
    ASSERT_EQ(WaitForSingleObject(parked.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(th.get(), 50), WAIT_TIMEOUT);  // suspended (or about to be)
    // Resume until the thread has really gone through: counts below 0 are not kept.
    while (WaitForSingleObject(th.get(), 10) == WAIT_TIMEOUT) ResumeThread(th.get());
    EXPECT_EQ(progress.load(), 1);
    EXPECT_EQ(suspendedFrom.load(), 0u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(th.get(), &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(ResumeThread(th.get()), 0u);
}

TEST(Threads, CreateSuspendedWaitsForResumeAndOthersCannotBeSuspended) {
    std::atomic<bool> ran{false};
    Handle th(CreateThread([&]() -> DWORD {
        ran = true;
        return 0;
    }, CREATE_SUSPENDED));
    EXPECT_EQ(WaitForSingleObject(th.get(), 20), WAIT_TIMEOUT);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(SuspendThread(th.get()), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(ResumeThread(th.get()), 1u);
    EXPECT_EQ(WaitForSingleObject(th.get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(ran.load());
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    plat::CCriticalSection cs;
    int inside = 0, maxInside = 0;
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            plat::CSingleLock outer(cs);
            plat::CSingleLock inner(cs);
            maxInside = std::max(maxInside, ++inside);
            --inside;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(maxInside, 1);
}

}  // namespace

namespace {

// Threads opening and closing one named mutex while others hold it: a lookup must never
// reach an object whose last handle is being closed.
TEST(Mutexes, NamedMutexOpenedAndClosedByManyThreads) {
    auto worker = [] {
        for (int i = 0; i < 2000; ++i) {
            HANDLE m = CreateMutex(FALSE, "test.churn");
            ASSERT_NE(m, nullptr);
            ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
            ReleaseMutex(m);
            CloseHandle(m);
        }
    };
    std::thread a(worker), b(worker), c(worker);
    a.join();
    b.join();
    c.join();
}

}  // namespace

#include "platform/window/window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/window/queue.h"

namespace {

// A window table of this run only.
const bool g_prefix = [] {
    setenv("KAVRO_IPC_PREFIX", ("kwt-" + std::to_string(getpid())).c_str(), 1);
    return true;
}();

constexpr DWORD kLongMs = 60000;  // generous bound for waits that must succeed

// A thread owning one window and running its message loop until WM_CLOSE.
class WindowThread {
  public:
    explicit WindowThread(WNDPROC proc) {
        auto made = std::make_shared<std::promise<HWND>>();
        thread_ = std::thread([this, made, proc] {
            tid_ = GetCurrentThreadId();
            HWND h = CreateHiddenWindow([proc](HWND hwnd, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                if (m == WM_CLOSE) {
                    PostQuitMessage(7);
                    return 0;
                }
                return proc(hwnd, m, w, l);
            });
            made->set_value(h);
            exitCode_ = RunMessageLoop();
        });
        hwnd_ = made->get_future().get();
    }
    ~WindowThread() { Stop(); }
    // Ends the loop; returns its exit code.
    int Stop() {
        if (thread_.joinable()) {
            PostMessage(hwnd_, WM_CLOSE, 0, 0);
            thread_.join();
        }
        return exitCode_;
    }
    HWND hwnd() const { return hwnd_; }
    DWORD tid() const { return tid_; }

  private:
    std::thread thread_;
    HWND hwnd_ = 0;
    DWORD tid_ = 0;
    int exitCode_ = -1;
};

// Waits until `n` sends are queued for the thread owning `hwnd`.
bool WaitSendsQueued(HWND hwnd, size_t n) {
    auto lk = plat::LockWaitHub();
    return plat::WaitHubUntil(lk, GetTickCount64() + kLongMs, [&] {
        auto& windows = plat::win::LocalWindowsLocked();
        auto it = windows.find(hwnd);
        return it != windows.end() && it->second.queue->sent.size() >= n;
    });
}

struct Record {
    UINT msg;
    WPARAM wParam;
};

TEST(WindowMessages, SentRunBeforePostedAndPostedInOrder) {
    std::vector<Record> seen;
    HWND w = CreateHiddenWindow([&](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
        seen.push_back({m, wp});
        return 100 + wp;
    });
    ASSERT_NE(w, 0u);
    for (WPARAM i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessage(w, WM_USER, i, 0));
    LRESULT sent = 0;
    std::thread sender([&] { SendMessageEx(w, WM_USER + 1, 9, 0, &sent); });
    ASSERT_TRUE(WaitSendsQueued(w, 1));
    EXPECT_EQ(PumpMessages(), 4);
    sender.join();
    EXPECT_EQ(sent, 109);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].msg, WM_USER + 1);
    for (WPARAM i = 1; i <= 3; ++i) EXPECT_EQ(seen[i].wParam, i);
    DestroyWindow(w);
}

TEST(WindowMessages, SendOnOwnerThreadRunsDirectlyAndNests) {
    const DWORD self = GetCurrentThreadId();
    HWND w = CreateHiddenWindow([&](HWND h, UINT, WPARAM wp, LPARAM) -> LRESULT {
        EXPECT_EQ(GetCurrentThreadId(), self);
        return wp == 0 ? 1 : 2 * SendMessage(h, WM_USER, wp - 1, 0);
    });
    EXPECT_EQ(SendMessage(w, WM_USER, 5, 0), 32);
    EXPECT_EQ(PumpMessages(), 0);  // nothing was queued
    DestroyWindow(w);
}

TEST(WindowMessages, SendFromAnotherThreadWaitsForTheOwner) {
    std::atomic<DWORD> ranOn{0};
    WindowThread wt([&](HWND, UINT, WPARAM wp, LPARAM lp) -> LRESULT {
        ranOn = GetCurrentThreadId();
        return static_cast<LRESULT>(wp) * lp;
    });
    LRESULT r = 0;
    EXPECT_EQ(SendMessageEx(wt.hwnd(), WM_USER, 6, 7, &r), SendStatus::Delivered);
    EXPECT_EQ(r, 42);
    EXPECT_EQ(ranOn.load(), wt.tid());
    EXPECT_EQ(GetWindowThreadId(wt.hwnd()), wt.tid());
    EXPECT_EQ(GetWindowProcessId(wt.hwnd()), static_cast<DWORD>(getpid()));
    EXPECT_EQ(wt.Stop(), 7);
    EXPECT_FALSE(IsWindow(wt.hwnd()));  // its thread ended
}

TEST(WindowMessages, NestedSendsBetweenThreadsDoNotDeadlock) {
    constexpr UINT kToB = WM_USER, kBackToA = WM_USER + 1, kFirst = WM_USER + 2;
    std::atomic<HWND> a{0}, b{0};
    WindowThread ta([&](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
        if (m == kFirst) return SendMessage(b, kToB, wp + 1, 0) + 1;
        if (m == kBackToA) return static_cast<LRESULT>(wp) * 10;
        return -1;
    });
    WindowThread tb([&](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
        return m == kToB ? SendMessage(a, kBackToA, wp + 1, 0) + 1 : -1;
    });
    a = ta.hwnd();
    b = tb.hwnd();
    EXPECT_EQ(SendMessage(a, kFirst, 1, 0), 32);  // 1 -> 2 -> 3*10, +1, +1
}

// A send that waits on a window whose owner is not pumping, then one of these happens.
enum class Ending { DestroyedByAnotherThread, RemovedByOwner, OwnerThreadEnds, TimedOut };

class PendingSendTest : public ::testing::TestWithParam<Ending> {};

TEST_P(PendingSendTest, EndsWithoutEverRunning) {
    const Ending ending = GetParam();
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    std::atomic<int> ran{0};
    plat::Handle act(CreateEvent(TRUE, FALSE));
    std::promise<HWND> made;
    std::thread owner([&] {
        made.set_value(CreateHiddenWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
            ++ran;
            return 1;
        }));
        WaitForSingleObject(act.get(), INFINITE);  // does not dispatch
        if (ending == Ending::OwnerThreadEnds) return;
        if (ending == Ending::RemovedByOwner) {
            EXPECT_EQ(RemovePendingMessages(WM_USER), 1);
        }
        PumpMessages();
        EXPECT_EQ(RemovePendingMessages(WM_USER), 0);
    });
    const HWND w = made.get_future().get();
    SendStatus status = SendStatus::Delivered;
    LRESULT result = -1;
    std::thread sender([&] {
        status =
            SendMessageEx(w, WM_USER, 0, 0, &result, ending == Ending::TimedOut ? 1000 : INFINITE);
    });
    ASSERT_TRUE(WaitSendsQueued(w, 1));
    switch (ending) {
        case Ending::DestroyedByAnotherThread:
            EXPECT_TRUE(DestroyWindow(w));
            break;
        case Ending::TimedOut:
            clock.Advance(1000);
            sender.join();  // gave up before the owner pumps
            break;
        default:
            break;
    }
    SetEvent(act.get());
    if (sender.joinable()) sender.join();
    owner.join();
    EXPECT_EQ(status, ending == Ending::TimedOut ? SendStatus::TimedOut : SendStatus::NotDelivered);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ran.load(), 0);
    EXPECT_FALSE(IsWindow(w));  // destroyed, or its owner thread ended
}

INSTANTIATE_TEST_SUITE_P(Endings, PendingSendTest,
                         ::testing::Values(Ending::DestroyedByAnotherThread, Ending::RemovedByOwner,
                                           Ending::OwnerThreadEnds, Ending::TimedOut));

TEST(WindowMessages, MissingWindowsRefuseEverything) {
    HWND destroyed = CreateHiddenWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
    ASSERT_TRUE(DestroyWindow(destroyed));
    for (HWND h : {HWND{0}, HWND{0x7FFFF123}, destroyed}) {
        SCOPED_TRACE(h);
        LRESULT r = -1;
        EXPECT_EQ(SendMessageEx(h, WM_USER, 0, 0, &r), SendStatus::NotDelivered);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
        EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(GetWindowThreadId(h), 0u);
        EXPECT_EQ(GetWindowProcessId(h), 0u);
        EXPECT_FALSE(DestroyWindow(h));
    }
}

TEST(WindowMessages, RemovePendingMessagesMatchesNumberAndWindow) {
    std::vector<std::pair<HWND, UINT>> seen;
    WNDPROC proc = [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        seen.emplace_back(h, m);
        return 0;
    };
    HWND w1 = CreateHiddenWindow(proc), w2 = CreateHiddenWindow(proc);
    const UINT a = WM_USER, b = WM_USER + 1, c = WM_USER + 2;
    PostMessage(w1, a, 0, 0);
    PostMessage(w1, b, 0, 0);
    PostMessage(w2, a, 0, 0);
    PostMessage(w2, c, 0, 0);
    EXPECT_EQ(RemovePendingMessages(a, w1), 1);
    EXPECT_EQ(RemovePendingMessages(a), 1);
    EXPECT_EQ(RemovePendingMessages(WM_USER + 9), 0);
    EXPECT_EQ(PumpMessages(), 2);
    EXPECT_EQ(seen, (std::vector<std::pair<HWND, UINT>>{{w1, b}, {w2, c}}));
    DestroyWindow(w1);
    DestroyWindow(w2);
}

TEST(WindowMessages, PumpMessagesTakesQuitLastAndNeverChasesReposts) {
    int count = 0;
    HWND w = CreateHiddenWindow([&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        ++count;
        if (m == WM_USER + 1) PostMessage(h, WM_USER + 1, 0, 0);  // re-posts itself
        return 0;
    });
    PostMessage(w, WM_USER, 0, 0);
    PostQuitMessage(3);
    PostMessage(w, WM_USER, 0, 0);
    bool quit = false;
    EXPECT_EQ(PumpMessages(&quit), 2);
    EXPECT_TRUE(quit);
    EXPECT_EQ(PumpMessages(&quit), 0);
    EXPECT_FALSE(quit);

    PostMessage(w, WM_USER + 1, 0, 0);
    EXPECT_EQ(PumpMessages(&quit), 1);  // the re-post waits for the next round
    EXPECT_EQ(RemovePendingMessages(WM_USER + 1), 1);
    DestroyWindow(w);
}

TEST(WindowMessages, SleepWPMDispatchesWhileSleeping) {
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    const DWORD self = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    HWND w = CreateHiddenWindow([&](HWND, UINT, WPARAM wp, LPARAM) -> LRESULT {
        ranOn = GetCurrentThreadId();
        return static_cast<LRESULT>(wp) + 1;
    });
    LRESULT r = 0;
    std::thread helper([&] {
        r = SendMessage(w, WM_USER, 4, 0);  // answered only from inside SleepWPM
        clock.Advance(1000);
    });
    SleepWPM(1000);
    helper.join();
    EXPECT_EQ(r, 5);
    EXPECT_EQ(ranOn.load(), self);
    DestroyWindow(w);
}

TEST(WindowMessages, WaitForSingleObjectWPMDispatchesUntilSignalled) {
    int ran = 0;
    HWND w = CreateHiddenWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return ++ran; });
    plat::Handle ev(CreateEvent(TRUE, FALSE));
    std::thread helper([&] {
        SendMessage(w, WM_USER, 0, 0);  // answered only from inside the wait
        PostMessage(w, WM_USER, 0, 0);
        SetEvent(ev.get());
    });
    EXPECT_EQ(WaitForSingleObjectWPM(ev.get(), kLongMs), WAIT_OBJECT_0);
    helper.join();
    PumpMessages();
    EXPECT_EQ(ran, 2);
    ResetEvent(ev.get());
    EXPECT_EQ(WaitForSingleObjectWPM(ev.get(), 0), WAIT_TIMEOUT);
    HANDLE none = nullptr;
    EXPECT_EQ(WaitForMultipleObjectsWPM(1, &none, 0), WAIT_FAILED);
    DestroyWindow(w);
}

TEST(WindowMessages, PumpUntilSeesStateChangedWithoutMessages) {
    std::atomic<bool> flag{false};
    std::thread setter([&] { flag = true; });
    EXPECT_TRUE(PumpUntil([&] { return flag.load(); }, kLongMs));
    setter.join();
    EXPECT_FALSE(PumpUntil([] { return false; }, 0));
}

TEST(WindowNames, FindWindowIgnoresCaseAndForgetsDestroyed) {
    HWND w = CreateHiddenWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; },
                                "Kavro Test Window");
    ASSERT_NE(w, 0u);
    EXPECT_EQ(FindWindow("Kavro Test Window"), w);
    EXPECT_EQ(FindWindow("KAVRO test WINDOW"), w);
    EXPECT_EQ(FindWindow("Kavro Test"), 0u);
    EXPECT_EQ(FindWindow(""), 0u);
    EXPECT_EQ(FindWindow(nullptr), 0u);
    DestroyWindow(w);
    EXPECT_EQ(FindWindow("Kavro Test Window"), 0u);
    // A title that cannot be stored whole is refused rather than cut.
    EXPECT_EQ(CreateHiddenWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; },
                                 std::string(64, 'x').c_str()),
              0u);
}

TEST(WindowNames, HandlesAreDistinctAndNeverZero) {
    std::vector<HWND> made;
    for (int i = 0; i < 3; ++i) {
        HWND w = CreateHiddenWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        ASSERT_NE(w, 0u);
        for (HWND old : made) EXPECT_NE(w, old);
        made.push_back(w);
        DestroyWindow(w);  // the row is reused, the handle is not
    }
}

TEST(WindowNames, RegisterWindowMessageByName) {
    UINT a = RegisterWindowMessage("Kavro.Test.Message");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessage("KAVRO.test.MESSAGE"), a);
    UINT b = RegisterWindowMessage("Kavro.Test.Other");
    EXPECT_NE(b, 0u);
    EXPECT_NE(b, a);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
    EXPECT_EQ(RegisterWindowMessage(std::string(128, 'm').c_str()), 0u);
    EXPECT_NE(RegisterWindowMessage(std::string(127, 'm').c_str()), 0u);
}

}  // namespace

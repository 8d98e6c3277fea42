// Message loops, message-dispatching waits and queue maintenance of the calling thread.
#include <algorithm>

#include "platform/clock/clock.h"
#include "platform/window/queue.h"
#include "platform/window/window.h"

using namespace plat::win;

namespace {

uint64_t DeadlineFor(DWORD ms) {
    return ms == INFINITE ? UINT64_MAX : GetTickCount64() + ms;
}

// Clock milliseconds of about 5 ms of real time: how often PumpUntil looks at a
// predicate that may change without a message. UINT64_MAX on a manual clock (its
// waits end when it is advanced or a message comes).
uint64_t PredicatePollMs() {
    auto real = plat::Clock().RealWait(1000);
    if (!real || real->count() <= 0) return UINT64_MAX;
    double usPerClockMs = static_cast<double>(real->count()) / 1000.0;
    return std::max<uint64_t>(1, static_cast<uint64_t>(5000.0 / usPerClockMs));
}

// Waits (no lock held) until the calling thread has a message or the deadline passed.
void WaitForMessage(ThreadQueue* q, uint64_t deadline, bool orQuit = false) {
    auto lk = plat::LockWaitHub();
    plat::WaitHubUntil(lk, deadline, [&] {
        return q != nullptr && (q->HasMessagesLocked() || (orQuit && q->quit));
    });
}

}  // namespace

int RemovePendingMessages(UINT msg, HWND hwnd) {
    ThreadQueue* q = CurrentQueue();
    if (!q) return 0;
    OwedReplies owed;
    int n;
    {
        auto lk = plat::LockWaitHub();
        n = RemoveEntriesLocked(
            *q, [&](const Entry& e) { return e.msg == msg && (hwnd == 0 || e.hwnd == hwnd); },
            &owed);
        if (n > 0) plat::NotifyAllLocked();
    }
    FlushReplies(owed);
    return n;
}

int PumpMessages(bool* quit) {
    bool q = false;
    int n = DispatchWaiting(CurrentQueue(), &q);
    if (quit) *quit = q;
    return n;
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const uint64_t deadline = DeadlineFor(timeoutMs);
    ThreadQueue* q = CurrentQueue();
    for (;;) {
        DispatchWaiting(q, nullptr);
        if (pred()) return true;
        uint64_t now = GetTickCount64();
        if (now >= deadline) return false;
        uint64_t poll = PredicatePollMs();
        uint64_t until = poll == UINT64_MAX || deadline - now <= poll ? deadline : now + poll;
        WaitForMessage(q, until);
    }
}

int RunMessageLoop() {
    ThreadQueue* q = CurrentQueue();
    if (!q) return 0;
    for (;;) {
        bool quit = false;
        DispatchWaiting(q, &quit);
        if (quit) {
            auto lk = plat::LockWaitHub();
            return q->exitCode;
        }
        WaitForMessage(q, UINT64_MAX, true);
    }
}

void PostQuitMessage(int exitCode) {
    ThreadQueue* q = CurrentQueue();
    if (!q) return;
    auto lk = plat::LockWaitHub();
    q->quit = true;
    q->exitCode = exitCode;
    plat::NotifyAllLocked();
}

void SleepWPM(DWORD ms) {
    const uint64_t deadline = DeadlineFor(ms);
    ThreadQueue* q = CurrentQueue();
    for (;;) {
        DispatchWaiting(q, nullptr);
        if (GetTickCount64() >= deadline) return;
        WaitForMessage(q, deadline);
    }
}

DWORD WaitForMultipleObjectsWPM(DWORD count, const HANDLE* handles, DWORD ms) {
    const uint64_t deadline = DeadlineFor(ms);
    ThreadQueue* q = CurrentQueue();
    for (;;) {
        DWORD remaining = INFINITE;
        if (deadline != UINT64_MAX) {
            uint64_t now = GetTickCount64();
            uint64_t left = deadline > now ? deadline - now : 0;
            remaining = static_cast<DWORD>(std::min<uint64_t>(left, INFINITE - 1));
        }
        DWORD r = MsgWaitForMultipleObjects(count, handles, remaining);
        if (r != WAIT_OBJECT_0 + count) return r;
        DispatchWaiting(q, nullptr);
        // Messages that keep coming must not stretch the wait past its time-out.
        if (deadline != UINT64_MAX && GetTickCount64() >= deadline)
            return WaitForMultipleObjects(count, handles, FALSE, 0);
    }
}

DWORD WaitForSingleObjectWPM(HANDLE h, DWORD ms) {
    return WaitForMultipleObjectsWPM(1, &h, ms);
}

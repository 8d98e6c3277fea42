// Windows: creation, lookup, PostMessage and SendMessage.
#include "platform/window/window.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/clock/clock.h"
#include "platform/window/queue.h"
#include "platform/window/table.h"
#include "platform/window/transport.h"

using namespace plat::win;

namespace {

uint32_t SelfPid() {
    return static_cast<uint32_t>(::getpid());
}

uint64_t DeadlineFor(DWORD ms) {
    return ms == INFINITE ? UINT64_MAX : GetTickCount64() + ms;
}

// Waits (hub locked) for `rec`, dispatching messages sent to the calling thread's windows
// meanwhile. False on time-out.
bool WaitForReply(std::unique_lock<std::mutex>& lk, const std::shared_ptr<SendRecord>& rec,
                  uint64_t deadline) {
    ThreadQueue* me = CurrentQueueIfAny();
    for (;;) {
        bool ready = plat::WaitHubUntil(
            lk, deadline, [&] { return rec->done || (me != nullptr && !me->sent.empty()); });
        if (rec->done) return true;
        if (!ready) return false;
        lk.unlock();
        DispatchSent(me);
        lk.lock();
    }
}

SendStatus Finish(const SendRecord& rec, LRESULT* result) {
    if (result && rec.status == SendStatus::Delivered) *result = rec.result;
    return rec.status;
}

SendStatus SendRemote(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result,
                      uint64_t deadline) {
    auto owner = TableOwner(hwnd);
    if (!owner || *owner == SelfPid() || !TransportStart()) return SendStatus::NotDelivered;
    auto rec = std::make_shared<SendRecord>();
    uint64_t seq;
    {
        auto lk = plat::LockWaitHub();
        seq = AddPendingLocked(rec, *owner, hwnd);
    }
    Wire w{};
    w.kind = static_cast<uint32_t>(WireKind::Send);
    w.hwnd = hwnd;
    w.msg = msg;
    w.wParam = wParam;
    w.lParam = lParam;
    w.seq = seq;
    if (TransportSend(*owner, w, false) != 0) {
        auto lk = plat::LockWaitHub();
        RemovePendingLocked(seq);
        return SendStatus::NotDelivered;
    }
    auto lk = plat::LockWaitHub();
    if (WaitForReply(lk, rec, deadline)) return Finish(*rec, result);
    RemovePendingLocked(seq);
    lk.unlock();
    // Withdraw it if the owner has not taken it yet; a late reply finds no waiter.
    w.kind = static_cast<uint32_t>(WireKind::Cancel);
    TransportSend(*owner, w, true);
    return SendStatus::TimedOut;
}

}  // namespace

HWND CreateHiddenWindow(WNDPROC proc, const char* name) {
    size_t len = name ? strnlen(name, kMaxTitle + 1) : 0;
    if (!proc || len > kMaxTitle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::shared_ptr<ThreadQueue> q = CurrentQueueShared();
    if (!q) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // Other processes reach the window through this process's endpoint; without one the
    // window still works inside the process.
    TransportStart();
    HWND hwnd = TableClaim();
    if (hwnd == 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    {
        auto lk = plat::LockWaitHub();
        LocalWindowsLocked()[hwnd] =
            LocalWindow{q, std::make_shared<const WNDPROC>(std::move(proc)), q->tid};
    }
    // Findable only now that it can receive.
    if (len > 0) TablePublishTitle(hwnd, name);
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    LocalWindow gone;  // released after unlocking: the procedure's captures may lock
    OwedReplies owed;
    {
        auto lk = plat::LockWaitHub();
        auto& windows = LocalWindowsLocked();
        auto it = windows.find(hwnd);
        if (hwnd == 0 || it == windows.end()) {
            lk.unlock();
            SetLastError(TableOwner(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
            return FALSE;
        }
        gone = std::move(it->second);
        windows.erase(it);
        RemoveEntriesLocked(
            *gone.queue, [hwnd](const Entry& e) { return e.hwnd == hwnd; }, &owed);
        plat::NotifyAllLocked();
    }
    FlushReplies(owed);
    TableRelease(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (hwnd == 0) return FALSE;
    {
        auto lk = plat::LockWaitHub();
        if (LocalWindowsLocked().count(hwnd)) return TRUE;
    }
    auto owner = TableOwner(hwnd);
    if (!owner || *owner == SelfPid()) return FALSE;
    return EndpointExists(*owner) ? TRUE : FALSE;
}

DWORD GetWindowThreadId(HWND hwnd) {
    auto lk = plat::LockWaitHub();
    auto& windows = LocalWindowsLocked();
    auto it = windows.find(hwnd);
    return it == windows.end() ? 0 : it->second.tid;
}

DWORD GetWindowProcessId(HWND hwnd) {
    if (hwnd == 0) return 0;
    {
        auto lk = plat::LockWaitHub();
        if (LocalWindowsLocked().count(hwnd)) return SelfPid();
    }
    auto owner = TableOwner(hwnd);
    return owner && *owner != SelfPid() ? *owner : 0;
}

HWND FindWindow(const char* name) {
    return TableFind(name);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        Entry e;
        e.msg = msg;
        e.wParam = wParam;
        e.lParam = lParam;
        auto lk = plat::LockWaitHub();
        if (EnqueueLocked(hwnd, std::move(e), false)) return TRUE;
    }
    auto owner = TableOwner(hwnd);
    if (!owner || *owner == SelfPid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Wire w{};
    w.kind = static_cast<uint32_t>(WireKind::Post);
    w.hwnd = hwnd;
    w.msg = msg;
    w.wParam = wParam;
    w.lParam = lParam;
    int err = TransportSend(*owner, w, false);
    if (err != 0) {
        SetLastError(err == EAGAIN ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

SendStatus SendMessageEx(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result,
                         DWORD timeoutMs) {
    if (result) *result = 0;
    if (hwnd == 0) return SendStatus::NotDelivered;
    const uint64_t deadline = DeadlineFor(timeoutMs);
    ThreadQueue* me = CurrentQueueIfAny();
    std::shared_ptr<const WNDPROC> direct;
    auto rec = std::make_shared<SendRecord>();
    std::shared_ptr<ThreadQueue> target;
    {
        auto lk = plat::LockWaitHub();
        auto& windows = LocalWindowsLocked();
        auto it = windows.find(hwnd);
        if (it != windows.end()) {
            if (it->second.queue.get() == me) {
                direct = it->second.proc;
            } else {
                Entry e;
                e.msg = msg;
                e.wParam = wParam;
                e.lParam = lParam;
                e.rec = rec;
                if (!EnqueueLocked(hwnd, std::move(e), true, &target))
                    return SendStatus::NotDelivered;
                if (WaitForReply(lk, rec, deadline)) return Finish(*rec, result);
                // Timed out: withdraw it so that it never runs later.
                auto& sent = target->sent;
                sent.erase(std::remove_if(sent.begin(), sent.end(),
                                          [&](const Entry& x) { return x.rec == rec; }),
                           sent.end());
                return SendStatus::TimedOut;
            }
        }
    }
    if (direct) {
        LRESULT r = (*direct)(hwnd, msg, wParam, lParam);
        if (result) *result = r;
        return SendStatus::Delivered;
    }
    return SendRemote(hwnd, msg, wParam, lParam, result, deadline);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT r = 0;
    return SendMessageEx(hwnd, msg, wParam, lParam, &r) == SendStatus::Delivered ? r : 0;
}

UINT RegisterWindowMessage(const char* name) {
    return TableRegisterMessage(name);
}

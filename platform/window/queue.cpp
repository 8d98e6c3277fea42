#include "platform/window/queue.h"

#include <utility>

#include "platform/window/transport.h"

namespace plat::win {
namespace {

// The calling thread's queue. The raw pointer is what the message probe reads (it must
// not construct anything); the holder owns the queue and ends the thread's windows.
thread_local ThreadQueue* t_queue = nullptr;
thread_local bool t_queueEnded = false;

bool ProbeHasMessages() {
    ThreadQueue* q = t_queue;
    return q != nullptr && q->HasMessagesLocked();
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder();
};
thread_local QueueHolder t_holder;

QueueHolder::~QueueHolder() {
    if (!queue) return;
    ThreadQueue* q = queue.get();
    // A window whose owner thread ended is destroyed: its pending sends fail.
    std::vector<HWND> own;
    {
        auto lk = LockWaitHub();
        q->closed = true;
        for (const auto& [hwnd, w] : LocalWindowsLocked())
            if (w.queue.get() == q) own.push_back(hwnd);
    }
    for (HWND h : own) DestroyWindow(h);
    OwedReplies owed;
    {
        auto lk = LockWaitHub();
        RemoveEntriesLocked(
            *q, [](const Entry&) { return true; }, &owed);
        q->quit = false;
        t_queue = nullptr;
        NotifyAllLocked();
    }
    FlushReplies(owed);
    t_queueEnded = true;
}

// Runs a procedure for an entry; the send completes even when the procedure throws.
class SendCompletion {
  public:
    explicit SendCompletion(const Entry& e) : e_(e) {}
    ~SendCompletion() {
        if (e_.IsSend() && !done_) Complete(SendStatus::NotDelivered, 0);
    }
    void Complete(SendStatus status, LRESULT result) {
        done_ = true;
        if (e_.rec) {
            auto lk = LockWaitHub();
            e_.rec->done = true;
            e_.rec->running = false;
            e_.rec->status = status;
            e_.rec->result = result;
            NotifyAllLocked();
        } else if (e_.remote.pid != 0) {
            TransportReply(e_.remote, status, result, false);
        }
    }

  private:
    const Entry& e_;
    bool done_ = false;
};

}  // namespace

std::unordered_map<HWND, LocalWindow>& LocalWindowsLocked() {
    static auto* windows = new std::unordered_map<HWND, LocalWindow>();  // outlives threads
    return *windows;
}

ThreadQueue* CurrentQueue() {
    if (t_queue) return t_queue;
    if (t_queueEnded) return nullptr;
    static const bool probeInstalled = [] {
        SetThreadHasMessagesProbe(&ProbeHasMessages);
        return true;
    }();
    (void)probeInstalled;
    auto q = std::make_shared<ThreadQueue>();
    q->tid = GetCurrentThreadId();
    t_holder.queue = q;
    auto lk = LockWaitHub();
    t_queue = q.get();
    return t_queue;
}

ThreadQueue* CurrentQueueIfAny() {
    return t_queue;
}

std::shared_ptr<ThreadQueue> CurrentQueueShared() {
    if (!CurrentQueue()) return nullptr;
    return t_holder.queue;
}

void FailSendLocked(const Entry& e, OwedReplies* out) {
    if (e.rec) {
        e.rec->done = true;
        e.rec->running = false;
        e.rec->status = SendStatus::NotDelivered;
        NotifyAllLocked();
    } else if (e.remote.pid != 0 && out) {
        out->push_back(e.remote);
    }
}

void FlushReplies(const OwedReplies& owed) {
    for (const RemoteOrigin& o : owed) TransportReply(o, SendStatus::NotDelivered, 0, false);
}

bool EnqueueLocked(HWND hwnd, Entry e, bool send, std::shared_ptr<ThreadQueue>* target) {
    auto& windows = LocalWindowsLocked();
    auto it = windows.find(hwnd);
    if (it == windows.end() || it->second.queue->closed) return false;
    ThreadQueue& q = *it->second.queue;
    e.hwnd = hwnd;
    if (send) {
        q.sent.push_back(std::move(e));
    } else {
        e.seq = q.nextSeq++;
        q.posted.push_back(std::move(e));
    }
    if (target) *target = it->second.queue;
    NotifyAllLocked();
    return true;
}

Next DispatchNext(ThreadQueue* q, Take take, uint64_t postedLimit) {
    if (!q) return Next::None;
    OwedReplies owed;
    Entry e;
    std::shared_ptr<const WNDPROC> proc;
    {
        auto lk = LockWaitHub();
        for (;;) {
            if (!q->sent.empty()) {
                e = std::move(q->sent.front());
                q->sent.pop_front();
            } else if (take != Take::SentOnly && !q->posted.empty() &&
                       q->posted.front().seq <= postedLimit) {
                e = std::move(q->posted.front());
                q->posted.pop_front();
            } else if (take == Take::MessagesAndQuit && q->posted.empty() && q->quit) {
                q->quit = false;
                return Next::Quit;
            } else {
                lk.unlock();
                FlushReplies(owed);
                return Next::None;
            }
            auto& windows = LocalWindowsLocked();
            auto it = windows.find(e.hwnd);
            if (it != windows.end() && it->second.queue.get() == q) {
                proc = it->second.proc;
                break;
            }
            if (e.IsSend()) FailSendLocked(e, &owed);  // window gone meanwhile
        }
        if (e.rec) e.rec->running = true;
    }
    FlushReplies(owed);
    SendCompletion completion(e);
    LRESULT r = (*proc)(e.hwnd, e.msg, e.wParam, e.lParam);
    if (e.IsSend()) completion.Complete(SendStatus::Delivered, r);
    return Next::Dispatched;
}

void DispatchSent(ThreadQueue* q) {
    while (DispatchNext(q, Take::SentOnly, 0) == Next::Dispatched) {
    }
}

int DispatchWaiting(ThreadQueue* q, bool* quit) {
    if (quit) *quit = false;
    if (!q) return 0;
    uint64_t limit;
    {
        auto lk = LockWaitHub();
        limit = q->nextSeq - 1;  // later posts wait for the next round
    }
    const Take take = quit ? Take::MessagesAndQuit : Take::Messages;
    int n = 0;
    for (;;) {
        Next r = DispatchNext(q, take, limit);
        if (r == Next::Dispatched) {
            ++n;
            continue;
        }
        if (r == Next::Quit) *quit = true;
        return n;
    }
}

}  // namespace plat::win

// Per-thread message queues and the process's own windows (internal to the window layer).
//
// Everything here is guarded by the wait hub mutex (plat::LockWaitHub): every change
// is followed by NotifyAllLocked() so that threads blocked in any hub wait re-check.
// Window procedures never run with the hub locked.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/window/window.h"

namespace plat::win {

// Completion of a send, shared by the waiting sender and the queued entry.
struct SendRecord {
    bool done = false;
    bool running = false;  // taken by the owner thread; its procedure is running
    SendStatus status = SendStatus::NotDelivered;
    LRESULT result = 0;
};

// A send that came from another process: its reply goes back to `pid`.
struct RemoteOrigin {
    uint32_t pid = 0;
    uint64_t seq = 0;
};

struct Entry {
    HWND hwnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    uint64_t seq = 0;                 // queue order of posted entries
    std::shared_ptr<SendRecord> rec;  // a send from this process
    RemoteOrigin remote;              // a send from another process (pid != 0)
    bool IsSend() const { return rec != nullptr || remote.pid != 0; }
};

struct ThreadQueue {
    DWORD tid = 0;
    std::deque<Entry> sent;    // dispatched first
    std::deque<Entry> posted;  // in order
    uint64_t nextSeq = 1;
    bool quit = false;  // PostQuitMessage called, WM_QUIT not yet taken
    int exitCode = 0;
    bool closed = false;  // owner thread ended
    // A message to dispatch (WM_QUIT is looked at only by the message loops).
    bool HasMessagesLocked() const { return !sent.empty() || !posted.empty(); }
};

struct LocalWindow {
    std::shared_ptr<ThreadQueue> queue;
    std::shared_ptr<const WNDPROC> proc;
    DWORD tid = 0;
};

// The process's windows by handle (hub locked).
std::unordered_map<HWND, LocalWindow>& LocalWindowsLocked();

// The calling thread's queue, created on first use (nullptr once the thread is ending).
// The owning reference is kept by the thread; its end destroys the thread's windows.
ThreadQueue* CurrentQueue();
// As CurrentQueue without creating one (any lock state).
ThreadQueue* CurrentQueueIfAny();
std::shared_ptr<ThreadQueue> CurrentQueueShared();

// Replies owed to other processes for sends that will not run, sent with no lock held.
using OwedReplies = std::vector<RemoteOrigin>;

// Completes a queued send as not delivered (hub locked). A remote one is added to `out`.
void FailSendLocked(const Entry& e, OwedReplies* out);
// Sends the replies collected by FailSendLocked (no lock held).
void FlushReplies(const OwedReplies& owed);

// Removes the entries of `q` matching `match`, failing removed sends (hub locked).
template <class Match>
int RemoveEntriesLocked(ThreadQueue& q, Match match, OwedReplies* owed) {
    int n = 0;
    for (auto* dq : {&q.sent, &q.posted}) {
        for (auto it = dq->begin(); it != dq->end();) {
            if (match(*it)) {
                if (it->IsSend()) FailSendLocked(*it, owed);
                it = dq->erase(it);
                ++n;
            } else {
                ++it;
            }
        }
    }
    return n;
}

// Queues an entry for the owner thread of a local window (hub locked). False when the
// window does not exist here or its thread has ended.
bool EnqueueLocked(HWND hwnd, Entry e, bool send, std::shared_ptr<ThreadQueue>* target = nullptr);

enum class Next { None, Dispatched, Quit };
enum class Take { SentOnly, Messages, MessagesAndQuit };
// Dispatches the next message of `q`: sent ones first, then posted ones with
// seq <= postedLimit, then (MessagesAndQuit, queue empty) a pending WM_QUIT is taken.
// Locks the hub itself; runs the procedure unlocked.
Next DispatchNext(ThreadQueue* q, Take take, uint64_t postedLimit);
// Dispatches the messages now waiting for `q` (sent ones, and posted ones queued before
// the call); with `quit` non-null also takes a WM_QUIT (then *quit = true, and stops).
int DispatchWaiting(ThreadQueue* q, bool* quit);
// Dispatches every sent message waiting for the calling thread.
void DispatchSent(ThreadQueue* q);

}  // namespace plat::win

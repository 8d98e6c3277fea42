// Kernel-object shaped synchronisation: events, mutexes, threads, waits on one or
// several objects with time-outs, and message-aware waits (see window/window.h).
//
// All waits of the process share one wait hub (a mutex and condition variable), so a
// wait on several objects, a thread's message queue and the clock (ManualClock::Advance)
// wake the same way. Every wait is bounded by its time-out or by an object's signal.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "platform/wintypes.h"

struct KObject;           // event, mutex or thread; reference counted
using HANDLE = KObject*;  // nullptr = no object

// Events. `name` non-null: a process-wide named object (same name, same object);
// GetLastError() is ERROR_ALREADY_EXISTS when it existed.
HANDLE CreateEvent(BOOL manualReset, BOOL initialState, const char* name = nullptr);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);

// Mutexes: recursive on the owning thread, as Windows mutexes are. A mutex whose owner
// thread ended without releasing it is abandoned: the next waiter gets it with
// WAIT_ABANDONED_0 + index. ReleaseMutex by a non-owner fails with ERROR_NOT_OWNER.
HANDLE CreateMutex(BOOL initialOwner, const char* name = nullptr);
HANDLE OpenMutex(const char* name);  // nullptr when no such named mutex exists
BOOL ReleaseMutex(HANDLE h);

// Adds a reference (the object lives until its last CloseHandle).
HANDLE DuplicateHandle(HANDLE h);
BOOL CloseHandle(HANDLE h);

// Waits. Return WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE h, DWORD ms);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms);

// As WaitForMultipleObjects (wait any), but also returns WAIT_OBJECT_0 + count as soon as
// the calling thread has a message to dispatch (posted or sent to one of its windows).
// It does not dispatch; see the *WPM waits in window/window.h.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD ms);

// Threads. The start routine runs on a new thread; the handle is signalled when the
// thread has ended. Threads are joined (never killed): CloseHandle of a running
// thread's last handle detaches it only after the routine returns.
using ThreadProc = std::function<DWORD()>;
constexpr DWORD CREATE_SUSPENDED = 0x4;
HANDLE CreateThread(ThreadProc proc, DWORD flags = 0, DWORD* threadId = nullptr);
// Suspend count rules of Windows: SuspendThread raises the count and returns the previous
// one; ResumeThread lowers it (not below 0) and returns the previous one; the thread runs
// while the count is 0. A thread can suspend only itself here (it blocks inside
// SuspendThread until resumed); for another thread it fails with (DWORD)-1 and
// ERROR_NOT_SUPPORTED, as that cannot be done safely on POSIX.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
constexpr DWORD STILL_ACTIVE = 259;
HANDLE GetCurrentThread();  // a handle of the calling thread (CloseHandle when done)
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

namespace plat {

// Recursive critical section (MFC CCriticalSection shape).
class CCriticalSection {
public:
    void Lock() { m_.lock(); }
    bool TryLock() { return m_.try_lock(); }
    void Unlock() { m_.unlock(); }
    // std lockable
    void lock() { m_.lock(); }
    bool try_lock() { return m_.try_lock(); }
    void unlock() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

using CSingleLock = std::lock_guard<CCriticalSection>;

// RAII owner of a HANDLE.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : h_(o.release()) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    HANDLE release() {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr) {
        if (h_) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// --- The wait hub, for platform pieces that add waitable state of their own. ---
// Lock the hub, change state, then call NotifyAllLocked(); waiters re-check their state.
std::unique_lock<std::mutex> LockWaitHub();
void NotifyAllLocked();
// Wait (hub locked) until `ready()` or the clock deadline; false on time-out.
// deadlineMs is on plat::Clock(); UINT64_MAX = no deadline.
bool WaitHubUntil(std::unique_lock<std::mutex>& lk, uint64_t deadlineMs,
                  const std::function<bool()>& ready);
// Called by the window layer: does the calling thread have messages waiting?
// (Hub locked.) The window layer installs it once.
void SetThreadHasMessagesProbe(bool (*probe)());

}  // namespace plat

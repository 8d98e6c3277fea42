// Threads with Windows' suspend-count rules, joined rather than killed.
#include <memory>

#include "platform/sync/kobject.h"

namespace {

// The calling thread's own object: the one CreateThread made, or one made on demand for
// threads started elsewhere (main, std::thread).
thread_local KObject* t_self = nullptr;

struct ForeignSelf {
    KObject* obj = nullptr;
    ~ForeignSelf() {
        if (!obj) return;
        {
            auto lk = plat::LockWaitHub();
            obj->ended = true;
            obj->exitCode = 0;
            plat::NotifyAllLocked();
        }
        plat::detail::Unref(obj);
    }
};
thread_local ForeignSelf t_foreign;

KObject* Self() {
    if (!t_self) {
        auto* o = new KObject(KObject::Kind::Thread);
        o->tid = GetCurrentThreadId();
        t_foreign.obj = o;
        t_self = o;
    }
    return t_self;
}

bool IsThread(HANDLE h) { return h && h->kind == KObject::Kind::Thread; }

}  // namespace

HANDLE CreateThread(ThreadProc proc, DWORD flags, DWORD* threadId) {
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* o = new KObject(KObject::Kind::Thread);
    o->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
    plat::detail::AddRef(o);  // the running thread's reference
    HANDLE started = CreateEvent(TRUE, FALSE);
    o->thread = std::thread([o, started, fn = std::move(proc)]() mutable {
        t_self = o;
        {
            auto lk = plat::LockWaitHub();
            o->tid = GetCurrentThreadId();
        }
        SetEvent(started);
        {
            auto lk = plat::LockWaitHub();
            plat::WaitHubUntil(lk, UINT64_MAX, [o] { return o->suspendCount == 0; });
        }
        DWORD code = fn();
        fn = nullptr;  // captured state goes before the thread counts as ended
        {
            auto lk = plat::LockWaitHub();
            o->exitCode = code;
            o->ended = true;
            plat::NotifyAllLocked();
        }
        t_self = nullptr;
        plat::detail::Unref(o);
    });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
    if (threadId) {
        auto lk = plat::LockWaitHub();
        *threadId = o->tid;
    }
    return o;
}

DWORD SuspendThread(HANDLE thread) {
    if (!IsThread(thread)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    if (thread != Self()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return static_cast<DWORD>(-1);
    }
    auto lk = plat::LockWaitHub();
    DWORD previous = thread->suspendCount++;
    plat::WaitHubUntil(lk, UINT64_MAX, [thread] { return thread->suspendCount == 0; });
    return previous;
}

DWORD ResumeThread(HANDLE thread) {
    if (!IsThread(thread)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    auto lk = plat::LockWaitHub();
    DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0) plat::NotifyAllLocked();
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
    if (!IsThread(thread) || !code) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto lk = plat::LockWaitHub();
    *code = thread->ended ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

HANDLE GetCurrentThread() {
    KObject* o = Self();
    plat::detail::AddRef(o);
    return o;
}

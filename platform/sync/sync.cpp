#include "platform/sync/sync.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/sync/kobject.h"

namespace {

std::mutex& HubMutex() {
    static std::mutex m;
    return m;
}
std::condition_variable& HubCv() {
    static std::condition_variable cv;
    return cv;
}

std::atomic<bool (*)()> g_messageProbe{nullptr};

thread_local DWORD t_lastError = 0;

// Named objects of the process, by ASCII-case-sensitive name as Windows does.
// Guarded by the hub mutex; entries are weak (removed on the last CloseHandle).
std::map<std::string, KObject*>& Names() {
    static std::map<std::string, KObject*> names;
    return names;
}

// Mutexes held by the calling thread, abandoned at thread end.
struct OwnedMutexes {
    std::vector<KObject*> held;
    ~OwnedMutexes() {
        if (held.empty()) return;
        std::vector<KObject*> abandoned;
        {
            auto lk = plat::LockWaitHub();
            abandoned.swap(held);
            for (KObject* m : abandoned) {
                m->ownerTid = 0;
                m->recursion = 0;
                m->abandoned = true;
            }
            plat::NotifyAllLocked();
        }
        for (KObject* m : abandoned) plat::detail::Unref(m);
    }
};
thread_local OwnedMutexes t_owned;

uint64_t DeadlineFor(DWORD ms) {
    return ms == INFINITE ? UINT64_MAX : GetTickCount64() + ms;
}

// Hub locked. Can `o` be acquired by thread `tid` now?
bool Ready(const KObject* o, DWORD tid) {
    switch (o->kind) {
        case KObject::Kind::Event:
            return o->signaled;
        case KObject::Kind::Mutex:
            return o->ownerTid == 0 || o->ownerTid == tid;
        case KObject::Kind::Thread:
            return o->ended;
    }
    return false;
}

// Hub locked. Takes `o` (auto-reset event, mutex ownership). True when it was abandoned.
bool Acquire(KObject* o, DWORD tid) {
    if (o->kind == KObject::Kind::Event) {
        if (!o->manualReset) o->signaled = false;
    } else if (o->kind == KObject::Kind::Mutex) {
        bool wasAbandoned = o->abandoned;
        o->abandoned = false;
        if (o->ownerTid != tid) {
            o->ownerTid = tid;
            o->recursion = 0;
            plat::detail::NoteMutexOwned(o);
        }
        ++o->recursion;
        return wasAbandoned;
    }
    return false;
}

HANDLE CreateNamed(KObject::Kind kind, const char* name, const std::function<void(KObject*)>& init) {
    auto lk = plat::LockWaitHub();
    if (name && *name) {
        auto it = Names().find(name);
        if (it != Names().end()) {
            if (it->second->kind != kind) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            plat::detail::AddRef(it->second);
            SetLastError(ERROR_ALREADY_EXISTS);
            return it->second;
        }
    }
    auto* o = new KObject(kind);
    init(o);
    if (name && *name) {
        o->name = name;
        Names()[o->name] = o;
    }
    SetLastError(ERROR_SUCCESS);
    return o;
}

// Shared wait for WaitForMultipleObjects and MsgWaitForMultipleObjects.
DWORD WaitObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD ms, bool messages) {
    if (count > 64 || (count > 0 && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (!handles[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    const DWORD tid = GetCurrentThreadId();
    DWORD result = WAIT_TIMEOUT;
    auto probe = g_messageProbe.load();
    auto lk = plat::LockWaitHub();
    auto ready = [&] {
        if (waitAll && count > 0) {
            for (DWORD i = 0; i < count; ++i)
                if (!Ready(handles[i], tid)) return false;
            bool abandoned = false;
            for (DWORD i = 0; i < count; ++i) abandoned |= Acquire(handles[i], tid);
            result = abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
            return true;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (Ready(handles[i], tid)) {
                result = (Acquire(handles[i], tid) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
                return true;
            }
        }
        if (messages && probe && probe()) {
            result = WAIT_OBJECT_0 + count;
            return true;
        }
        return false;
    };
    if (!plat::WaitHubUntil(lk, DeadlineFor(ms), ready)) return WAIT_TIMEOUT;
    return result;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

namespace plat {

std::unique_lock<std::mutex> LockWaitHub() { return std::unique_lock<std::mutex>(HubMutex()); }

void NotifyAllLocked() { HubCv().notify_all(); }

bool WaitHubUntil(std::unique_lock<std::mutex>& lk, uint64_t deadlineMs,
                  const std::function<bool()>& ready) {
    for (;;) {
        if (ready()) return true;
        if (deadlineMs == UINT64_MAX) {
            HubCv().wait(lk);
            continue;
        }
        IClock& clock = Clock();
        uint64_t now = clock.NowMs();
        if (now >= deadlineMs) return false;
        auto real = clock.RealWait(deadlineMs - now);
        if (real)
            HubCv().wait_for(lk, *real);
        else
            HubCv().wait(lk);
    }
}

void SetThreadHasMessagesProbe(bool (*probe)()) { g_messageProbe.store(probe); }

namespace detail {

void AddRef(KObject* o) { o->refs.fetch_add(1); }

void Unref(KObject* o) {
    if (!o->name.empty()) {
        // A named object is found (and referenced) under the hub lock: drop the last
        // reference under it too, so a lookup can never revive an object being deleted.
        auto lk = LockWaitHub();
        if (o->refs.fetch_sub(1) != 1) return;
        auto it = Names().find(o->name);
        if (it != Names().end() && it->second == o) Names().erase(it);
    } else if (o->refs.fetch_sub(1) != 1) {
        return;
    }
    if (o->thread.joinable()) {
        if (o->thread.get_id() == std::this_thread::get_id())
            o->thread.detach();
        else
            o->thread.join();
    }
    delete o;
}

void NoteMutexOwned(KObject* m) {
    AddRef(m);
    t_owned.held.push_back(m);
}

void NoteMutexReleased(KObject* m) {
    auto& v = t_owned.held;
    auto it = std::find(v.begin(), v.end(), m);
    if (it != v.end()) v.erase(it);
}

}  // namespace detail
}  // namespace plat

HANDLE CreateEvent(BOOL manualReset, BOOL initialState, const char* name) {
    return CreateNamed(KObject::Kind::Event, name, [&](KObject* o) {
        o->manualReset = manualReset != FALSE;
        o->signaled = initialState != FALSE;
    });
}

BOOL SetEvent(HANDLE h) {
    if (!h || h->kind != KObject::Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto lk = plat::LockWaitHub();
    h->signaled = true;
    plat::NotifyAllLocked();
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    if (!h || h->kind != KObject::Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto lk = plat::LockWaitHub();
    h->signaled = false;
    return TRUE;
}

HANDLE CreateMutex(BOOL initialOwner, const char* name) {
    HANDLE h = CreateNamed(KObject::Kind::Mutex, name, [](KObject*) {});
    if (h && initialOwner && GetLastError() != ERROR_ALREADY_EXISTS) {
        DWORD err = GetLastError();
        WaitForSingleObject(h, 0);
        SetLastError(err);
    }
    return h;
}

HANDLE OpenMutex(const char* name) {
    if (!name) return nullptr;
    auto lk = plat::LockWaitHub();
    auto it = Names().find(name);
    if (it == Names().end() || it->second->kind != KObject::Kind::Mutex) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    plat::detail::AddRef(it->second);
    return it->second;
}

BOOL ReleaseMutex(HANDLE h) {
    if (!h || h->kind != KObject::Kind::Mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool dropRef = false;
    {
        auto lk = plat::LockWaitHub();
        if (h->ownerTid != GetCurrentThreadId() || h->recursion == 0) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--h->recursion == 0) {
            h->ownerTid = 0;
            plat::detail::NoteMutexReleased(h);
            dropRef = true;
            plat::NotifyAllLocked();
        }
    }
    if (dropRef) plat::detail::Unref(h);
    return TRUE;
}

HANDLE DuplicateHandle(HANDLE h) {
    if (h) plat::detail::AddRef(h);
    return h;
}

BOOL CloseHandle(HANDLE h) {
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    plat::detail::Unref(h);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) { return WaitObjects(1, &h, false, ms, false); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms) {
    return WaitObjects(count, handles, waitAll != FALSE, ms, false);
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD ms) {
    return WaitObjects(count, handles, false, ms, true);
}

namespace {
// Bumped in a forked child so cached thread ids are looked up again.
std::atomic<unsigned> g_forkGeneration{0};
[[maybe_unused]] const int g_atfork = pthread_atfork(nullptr, nullptr, [] { ++g_forkGeneration; });
}  // namespace

DWORD GetCurrentThreadId() {
    struct Cached {
        DWORD tid = 0;
        unsigned gen = ~0u;
    };
    thread_local Cached c;
    unsigned gen = g_forkGeneration.load(std::memory_order_relaxed);
    if (c.gen != gen) {
        c.tid = static_cast<DWORD>(syscall(SYS_gettid));
        c.gen = gen;
    }
    return c.tid;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

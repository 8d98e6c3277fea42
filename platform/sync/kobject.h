// Internal: the kernel objects behind HANDLE. State is guarded by the wait hub mutex.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/sync/sync.h"

struct KObject {
    enum class Kind { Event, Mutex, Thread };
    explicit KObject(Kind k) : kind(k) {}

    const Kind kind;
    std::atomic<int> refs{1};
    std::string name;  // named objects only

    // Event
    bool manualReset = false;
    bool signaled = false;

    // Mutex
    DWORD ownerTid = 0;
    unsigned recursion = 0;
    bool abandoned = false;

    // Thread
    DWORD tid = 0;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;
    std::thread thread;  // joined (or detached by itself) when the last reference goes
};

namespace plat::detail {
void AddRef(KObject* o);
void Unref(KObject* o);
// Mutexes owned by the calling thread are abandoned when it ends.
void NoteMutexOwned(KObject* m);
void NoteMutexReleased(KObject* m);
}  // namespace plat::detail

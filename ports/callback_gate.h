// The registrations of a port driver and the gate its callbacks pass through.
//
// Every callback into a service object runs through Call: it starts only while the
// registration is open and is counted while it runs. Remove closes the registration at
// once (no callback starts after that) and waits until the running ones have ended, so
// that after it returns no callback reaches the service object. Called from inside a
// callback to that same service object, Remove does not wait for the calling thread's
// own callbacks: they finish after it returns.
//
// The gate's lock is never held while a callback runs.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/wintypes.h"

class CSvcBase;

namespace ports {

class CallbackGate {
public:
    // The most time Remove waits for running callbacks (platform clock).
    static constexpr DWORD kDefaultCloseWaitMs = 3000;

    struct Entry;  // one registration
    using Ref = std::shared_ptr<Entry>;

    explicit CallbackGate(DWORD closeWaitMs = kDefaultCloseWaitMs) : closeWaitMs_(closeWaitMs) {}
    ~CallbackGate();
    CallbackGate(const CallbackGate&) = delete;
    CallbackGate& operator=(const CallbackGate&) = delete;

    // Registers `svc` with its `readSize`. A registration of `svc` that is closing (its
    // Remove still waits, or timed out) is opened again. False when `svc` is null or
    // already open.
    bool Add(CSvcBase* svc, LONG readSize);

    // Closes the registration of `svc` and waits until none of its callbacks runs (other
    // than the calling thread's own). PD_OK; PD_E_NOTOPEN when `svc` has no registration
    // (or, from inside a callback to `svc`, when it was already closed); PD_E_BUSY when
    // callbacks still run after the wait bound: the registration stays closed, and a
    // later Remove waits again.
    LONG Remove(CSvcBase* svc);

    // Waits until no callback runs at all except the calling thread's own, up to the wait
    // bound; false on time-out. The driver calls it before stopping its threads.
    bool WaitIdle();

    bool IsOpen(CSvcBase* svc) const;
    size_t OpenCount() const;
    // True when there is no registration at all, closing ones included.
    bool Empty() const;
    // The open registrations, in the order they were made.
    std::vector<Ref> Snapshot() const;
    static CSvcBase* ServiceOf(const Ref& ref);
    static LONG ReadSizeOf(const Ref& ref);

    // Runs fn(svc, readSize) when the registration is open; false when it is not.
    template <class F>
    bool Call(const Ref& ref, F&& fn) {
        if (!Enter(ref)) return false;
        Scope scope{this, ref};
        fn(ServiceOf(ref), ReadSizeOf(ref));
        return true;
    }
    template <class F>
    bool Call(CSvcBase* svc, F&& fn) {
        Ref ref = Find(svc);
        return ref && Call(ref, std::forward<F>(fn));
    }

private:
    struct Scope {
        CallbackGate* gate;
        const Ref& ref;
        ~Scope() { gate->Leave(ref); }
    };

    Ref Find(CSvcBase* svc) const;  // the open registration of `svc`
    bool Enter(const Ref& ref);
    void Leave(const Ref& ref);
    void EraseLocked(const Entry* entry);
    static int OwnCalls(const CallbackGate* gate, const Entry* entry);  // this thread's

    const DWORD closeWaitMs_;
    mutable std::mutex lock_;
    std::vector<Ref> entries_;  // open and closing registrations
    int waiters_ = 0;           // threads waiting in Remove or WaitIdle
};

}  // namespace ports

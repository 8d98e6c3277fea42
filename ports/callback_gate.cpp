#include "ports/callback_gate.h"

#include <algorithm>
#include <utility>

#include "include/portdrv.h"
#include "platform/clock/clock.h"
#include "platform/sync/sync.h"

namespace ports {

struct CallbackGate::Entry {
    CSvcBase* svc = nullptr;
    LONG readSize = 0;
    bool open = true;
    int inFlight = 0;  // callbacks running now, on any thread
    int waiting = 0;   // Remove calls waiting for this registration
};

namespace {

// The callbacks the current thread is inside, innermost last.
thread_local std::vector<std::pair<const CallbackGate*, const CallbackGate::Entry*>> tlsCalls;

}  // namespace

CallbackGate::~CallbackGate() = default;

int CallbackGate::OwnCalls(const CallbackGate* gate, const Entry* entry) {
    int n = 0;
    for (const auto& [g, e] : tlsCalls) {
        if (g == gate && (entry == nullptr || e == entry)) ++n;
    }
    return n;
}

bool CallbackGate::Add(CSvcBase* svc, LONG readSize) {
    if (!svc) return false;
    std::lock_guard<std::mutex> g(lock_);
    for (const Ref& e : entries_) {
        if (e->svc != svc) continue;
        if (e->open) return false;
        e->open = true;  // withdraws the pending close
        e->readSize = readSize;
        return true;
    }
    auto e = std::make_shared<Entry>();
    e->svc = svc;
    e->readSize = readSize;
    entries_.push_back(std::move(e));
    return true;
}

LONG CallbackGate::Remove(CSvcBase* svc) {
    std::unique_lock<std::mutex> lk(lock_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [svc](const Ref& e) { return e->svc == svc; });
    if (it == entries_.end()) return PD_E_NOTOPEN;
    Ref e = *it;
    const int own = OwnCalls(this, e.get());
    if (!e->open && own > 0) return PD_E_NOTOPEN;
    e->open = false;
    if (e->inFlight > own) {
        ++e->waiting;
        ++waiters_;
        lk.unlock();
        const uint64_t deadline = plat::Clock().NowMs() + closeWaitMs_;
        bool drained;
        {
            auto hub = plat::LockWaitHub();
            drained = plat::WaitHubUntil(hub, deadline, [&] {
                std::lock_guard<std::mutex> g(lock_);
                return e->inFlight <= own;
            });
        }
        lk.lock();
        --e->waiting;
        --waiters_;
        if (!drained || e->open) return PD_E_BUSY;  // still running, or opened again meanwhile
    }
    // From inside its own callback the entry goes when that callback ends (Leave).
    if (e->inFlight > 0) return PD_OK;
    auto pos = std::find(entries_.begin(), entries_.end(), e);
    if (pos == entries_.end()) return PD_E_NOTOPEN;  // another Remove finished it first
    entries_.erase(pos);
    return PD_OK;
}

bool CallbackGate::WaitIdle() {
    std::unique_lock<std::mutex> lk(lock_);
    const int own = OwnCalls(this, nullptr);
    auto idle = [&] {
        int running = 0;
        for (const Ref& e : entries_) running += e->inFlight;
        return running <= own;
    };
    if (idle()) return true;
    ++waiters_;
    lk.unlock();
    const uint64_t deadline = plat::Clock().NowMs() + closeWaitMs_;
    bool done;
    {
        auto hub = plat::LockWaitHub();
        done = plat::WaitHubUntil(hub, deadline, [&] {
            std::lock_guard<std::mutex> g(lock_);
            return idle();
        });
    }
    lk.lock();
    --waiters_;
    return done;
}

bool CallbackGate::IsOpen(CSvcBase* svc) const {
    return Find(svc) != nullptr;
}

size_t CallbackGate::OpenCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Ref& e) { return e->open; }));
}

bool CallbackGate::Empty() const {
    std::lock_guard<std::mutex> g(lock_);
    return entries_.empty();
}

std::vector<CallbackGate::Ref> CallbackGate::Snapshot() const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<Ref> out;
    for (const Ref& e : entries_) {
        if (e->open) out.push_back(e);
    }
    return out;
}

CSvcBase* CallbackGate::ServiceOf(const Ref& ref) {
    return ref->svc;
}
LONG CallbackGate::ReadSizeOf(const Ref& ref) {
    return ref->readSize;
}

CallbackGate::Ref CallbackGate::Find(CSvcBase* svc) const {
    if (!svc) return nullptr;
    std::lock_guard<std::mutex> g(lock_);
    for (const Ref& e : entries_) {
        if (e->svc == svc && e->open) return e;
    }
    return nullptr;
}

bool CallbackGate::Enter(const Ref& ref) {
    std::lock_guard<std::mutex> g(lock_);
    if (!ref->open) return false;
    ++ref->inFlight;
    tlsCalls.emplace_back(this, ref.get());
    return true;
}

void CallbackGate::Leave(const Ref& ref) {
    bool notify;
    {
        std::lock_guard<std::mutex> g(lock_);
        --ref->inFlight;
        tlsCalls.pop_back();
        if (!ref->open && ref->inFlight == 0 && ref->waiting == 0) EraseLocked(ref.get());
        notify = waiters_ > 0;
    }
    if (notify) {
        auto hub = plat::LockWaitHub();
        plat::NotifyAllLocked();
    }
}

void CallbackGate::EraseLocked(const Entry* entry) {
    auto pos = std::find_if(entries_.begin(), entries_.end(),
                            [entry](const Ref& e) { return e.get() == entry; });
    if (pos != entries_.end()) entries_.erase(pos);
}

}  // namespace ports

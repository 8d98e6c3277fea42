#include "platform/clock/clock.h"

#include <ctime>
#include <thread>

#include "platform/sync/sync.h"

namespace plat {
namespace {

class MonotonicClock : public IClock {
public:
    uint64_t NowMs() override {
        auto d = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    }
    std::optional<std::chrono::microseconds> RealWait(uint64_t ms) override {
        return std::chrono::microseconds(ms * 1000);
    }
};

MonotonicClock g_monotonic;
std::atomic<IClock*> g_clock{nullptr};

}  // namespace

void SetClock(IClock* clock) {
    g_clock.store(clock);
    // Waits computed against the old clock look again.
    auto lk = LockWaitHub();
    NotifyAllLocked();
}

IClock& Clock() {
    IClock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : g_monotonic;
}

ScaledClock::ScaledClock(double factor)
    : factor_(factor > 0 ? factor : 1.0), start_(std::chrono::steady_clock::now()) {}

uint64_t ScaledClock::NowMs() {
    auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_);
    return 1000 + static_cast<uint64_t>(real.count() / factor_);
}

std::optional<std::chrono::microseconds> ScaledClock::RealWait(uint64_t ms) {
    double us = static_cast<double>(ms) * factor_ * 1000.0;
    return std::chrono::microseconds(us < 1.0 ? 1 : static_cast<int64_t>(us));
}

ManualClock::ManualClock(uint64_t startMs) : now_(startMs) {}

uint64_t ManualClock::NowMs() { return now_.load(); }

std::optional<std::chrono::microseconds> ManualClock::RealWait(uint64_t) { return std::nullopt; }

void ManualClock::Advance(uint64_t ms) {
    auto lk = LockWaitHub();
    now_ += ms;
    NotifyAllLocked();
}

}  // namespace plat

DWORD GetTickCount() { return static_cast<DWORD>(plat::Clock().NowMs()); }

uint64_t GetTickCount64() { return plat::Clock().NowMs(); }

void Sleep(DWORD ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    uint64_t deadline = ms == INFINITE ? UINT64_MAX : GetTickCount64() + ms;
    auto lk = plat::LockWaitHub();
    plat::WaitHubUntil(lk, deadline, [] { return false; });
}

void GetLocalTime(SYSTEMTIME* st) {
    if (!st) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    st->wYear = static_cast<WORD>(t.tm_year + 1900);
    st->wMonth = static_cast<WORD>(t.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st->wDay = static_cast<WORD>(t.tm_mday);
    st->wHour = static_cast<WORD>(t.tm_hour);
    st->wMinute = static_cast<WORD>(t.tm_min);
    st->wSecond = static_cast<WORD>(t.tm_sec);
    st->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

// The one clock of the process: every sleep, tick count and time-out goes through it.
// Production uses the monotonic clock; tests install a manual clock or a scale factor
// so that a multi-second protocol time-out costs milliseconds.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/wintypes.h"

namespace plat {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds on this clock's time line (monotonic).
    virtual uint64_t NowMs() = 0;
    // How long, in real time, a wait of `ms` clock milliseconds should block before
    // looking at the clock again; nullopt = until woken (manual clock: by Advance).
    virtual std::optional<std::chrono::microseconds> RealWait(uint64_t ms) = 0;
};

// Installs `clock` as the process clock (nullptr restores the monotonic clock).
// The caller keeps ownership; it must outlive its installation.
void SetClock(IClock* clock);
IClock& Clock();

// Monotonic clock scaled by `factor`: one clock millisecond lasts `factor` real ms
// (factor 0.01 runs a 5 s time-out in 50 ms).
class ScaledClock : public IClock {
public:
    explicit ScaledClock(double factor);
    uint64_t NowMs() override;
    std::optional<std::chrono::microseconds> RealWait(uint64_t ms) override;

private:
    double factor_;
    std::chrono::steady_clock::time_point start_;
};

// A clock that moves only when told; Advance wakes every timed wait of the process.
class ManualClock : public IClock {
public:
    explicit ManualClock(uint64_t startMs = 1000);
    uint64_t NowMs() override;
    std::optional<std::chrono::microseconds> RealWait(uint64_t ms) override;
    void Advance(uint64_t ms);

private:
    std::atomic<uint64_t> now_;
};

// Installs a clock for the lifetime of a scope (tests).
class ScopedClock {
public:
    explicit ScopedClock(IClock& clock) { SetClock(&clock); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace plat

// Windows-shaped time functions, all on the process clock.
DWORD GetTickCount();
uint64_t GetTickCount64();
void Sleep(DWORD ms);

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
// Local wall-clock time (real time; not scaled).
void GetLocalTime(SYSTEMTIME* st);

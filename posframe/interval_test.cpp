#include "posframe/interval.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME At(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    SYSTEMTIME t{};
    t.wYear = y;
    t.wMonth = mo;
    t.wDay = d;
    t.wHour = h;
    t.wMinute = mi;
    t.wSecond = s;
    t.wMilliseconds = ms;
    return t;
}

TEST(GetInterval, TickCountAcrossTheWrap) {
    plat::ManualClock clock(0xFFFFFFF0ull);
    plat::ScopedClock use(clock);
    const DWORD start = GetTickCount();
    EXPECT_EQ(GetInterval(start), 0u);
    clock.Advance(0x10);  // the 32-bit tick count wraps to 0 here
    EXPECT_EQ(GetTickCount(), 0u);
    EXPECT_EQ(GetInterval(start), 0x10u);
    clock.Advance(5000);
    EXPECT_EQ(GetInterval(start), 5016u);
}

TEST(GetInterval, BetweenLocalTimes) {
    struct Case {
        const char* what;
        SYSTEMTIME start, now;
        DWORD ms;
    };
    const Case cases[] = {
        {"same instant", At(2024, 5, 1, 12), At(2024, 5, 1, 12), 0},
        {"milliseconds", At(2024, 5, 1, 12, 0, 0, 250), At(2024, 5, 1, 12, 0, 1, 100), 850},
        {"midnight", At(2024, 5, 1, 23, 59, 59, 900), At(2024, 5, 2, 0, 0, 0, 100), 200},
        {"month end", At(2024, 4, 30, 23, 59, 59), At(2024, 5, 1, 0, 0, 1), 2000},
        {"leap day", At(2024, 2, 28, 12), At(2024, 3, 1, 12), 2 * 86400000u},
        {"no leap day", At(2023, 2, 28, 12), At(2023, 3, 1, 12), 86400000u},
        {"century no leap", At(2100, 2, 28), At(2100, 3, 1), 86400000u},
        {"year end", At(2023, 12, 31, 23, 59, 59, 999), At(2024, 1, 1, 0, 0, 0, 1), 2},
        {"clock set back", At(2024, 5, 2, 0, 0, 1), At(2024, 5, 1, 23, 59, 59), 0},
        {"start a year ahead", At(2025, 1, 1), At(2024, 1, 1), 0},
        {"49 days", At(2024, 1, 1), At(2024, 2, 19), 49 * 86400000u},
        {"beyond 32 bits", At(2024, 1, 1), At(2024, 3, 1), 0xFFFFFFFFu},
    };
    for (const Case& c : cases) EXPECT_EQ(IntervalBetween(c.start, c.now), c.ms) << c.what;
}

TEST(GetInterval, FieldsOutOfRangeStayDefined) {
    // Garbage in a caller's SYSTEMTIME gives some value, never undefined arithmetic.
    SYSTEMTIME junk = At(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(IntervalBetween(junk, At(2024, 1, 1)), 0u);
    EXPECT_EQ(IntervalBetween(At(0, 0, 0), At(2024, 1, 1)), 0xFFFFFFFFu);
}

TEST(GetInterval, SinceLocalTimeUsesTheWallClock) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    SYSTEMTIME future = now;
    future.wYear = static_cast<WORD>(now.wYear + 1);
    EXPECT_EQ(GetInterval(future), 0u);
    SYSTEMTIME past = now;
    past.wYear = static_cast<WORD>(now.wYear - 1);
    EXPECT_EQ(GetInterval(past), 0xFFFFFFFFu);
}

}  // namespace

#include "posframe/interval.h"

#include <cstdint>

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian); months outside
// 1..12 carry into the year, so any field values give a defined result.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    m -= 1;
    y += m >= 0 ? m / 12 : (m - 11) / 12;
    m = ((m % 12) + 12) % 12 + 1;
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t ToMs(const SYSTEMTIME& t) {
    int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    int64_t sec = ((days * 24 + t.wHour) * 60 + t.wMinute) * 60 + t.wSecond;
    return sec * 1000 + t.wMilliseconds;
}

}  // namespace

DWORD GetInterval(DWORD startTick) {
    // Unsigned subtraction is modulo 2^32: a wrap between start and now is harmless.
    return GetTickCount() - startTick;
}

DWORD IntervalBetween(const SYSTEMTIME& start, const SYSTEMTIME& now) {
    int64_t diff = ToMs(now) - ToMs(start);
    if (diff <= 0) return 0;
    if (diff > 0xFFFFFFFFll) return 0xFFFFFFFFu;
    return static_cast<DWORD>(diff);
}

DWORD GetInterval(const SYSTEMTIME& start) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return IntervalBetween(start, now);
}

// Elapsed time for the wait loops of service objects.
#pragma once

#include "platform/clock/clock.h"
#include "platform/wintypes.h"

// Milliseconds since `startTick`, a GetTickCount value; correct across the 49.7-day
// wrap of the 32-bit tick count.
DWORD GetInterval(DWORD startTick);

// Milliseconds since `start`, a GetLocalTime value: correct across midnight, month and
// year ends; 0 when `start` lies in the future (the clock was set back), at most
// 0xFFFFFFFF.
DWORD GetInterval(const SYSTEMTIME& start);

// Milliseconds from `start` to `now`, two local times, with the same rules.
DWORD IntervalBetween(const SYSTEMTIME& start, const SYSTEMTIME& now);

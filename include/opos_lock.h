// OPOS constants of the Keylock device class.
#pragma once

#include "include/opos.h"

// ---- KeyPosition and WaitForKeylockChange ----
constexpr LONG LOCK_KP_ANY = 0;   // WaitForKeylockChange: any change
constexpr LONG LOCK_KP_LOCK = 1;  // locked
constexpr LONG LOCK_KP_NORM = 2;  // normal
constexpr LONG LOCK_KP_SUPR = 3;  // supervisor

// ---- Number properties ----
constexpr LONG PIDXLock_KeyPosition = 1 + PIDX_LOCK + PIDX_NUMBER;    // 4001
constexpr LONG PIDXLock_PositionCount = 2 + PIDX_LOCK + PIDX_NUMBER;  // 4002

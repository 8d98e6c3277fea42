// OPOS constants common to every device class: result codes, states, power reporting,
// error handling values and the common property indexes (PIDX).
#pragma once

#include "platform/wintypes.h"

// ---- Device states (State property) ----
constexpr LONG OPOS_S_CLOSED = 1;
constexpr LONG OPOS_S_IDLE = 2;
constexpr LONG OPOS_S_BUSY = 3;
constexpr LONG OPOS_S_ERROR = 4;

// ---- Result codes (ResultCode property and method results) ----
constexpr LONG OPOSERR = 100;
constexpr LONG OPOSERREXT = 200;

constexpr LONG OPOS_SUCCESS = 0;
constexpr LONG OPOS_E_CLOSED = 1 + OPOSERR;      // 101
constexpr LONG OPOS_E_CLAIMED = 2 + OPOSERR;     // 102
constexpr LONG OPOS_E_NOTCLAIMED = 3 + OPOSERR;  // 103
constexpr LONG OPOS_E_NOSERVICE = 4 + OPOSERR;   // 104
constexpr LONG OPOS_E_DISABLED = 5 + OPOSERR;    // 105
constexpr LONG OPOS_E_ILLEGAL = 6 + OPOSERR;     // 106
constexpr LONG OPOS_E_NOHARDWARE = 7 + OPOSERR;  // 107
constexpr LONG OPOS_E_OFFLINE = 8 + OPOSERR;     // 108
constexpr LONG OPOS_E_NOEXIST = 9 + OPOSERR;     // 109
constexpr LONG OPOS_E_EXISTS = 10 + OPOSERR;     // 110
constexpr LONG OPOS_E_FAILURE = 11 + OPOSERR;    // 111
constexpr LONG OPOS_E_TIMEOUT = 12 + OPOSERR;    // 112
constexpr LONG OPOS_E_BUSY = 13 + OPOSERR;       // 113
constexpr LONG OPOS_E_EXTENDED = 14 + OPOSERR;   // 114

// ---- Open results of a control object (ResultCode after a failed Open) ----
constexpr LONG OPOS_OR_ALREADYOPEN = 301;
constexpr LONG OPOS_OR_REGBADNAME = 302;
constexpr LONG OPOS_OR_REGPROGID = 303;
constexpr LONG OPOS_OR_CREATE = 304;
constexpr LONG OPOS_OR_BADIF = 305;
constexpr LONG OPOS_OR_FAILEDOPEN = 306;
constexpr LONG OPOS_OR_BADVERSION = 307;

// Open results reported by a service object.
constexpr LONG OPOS_ORS_NOPORT = 401;
constexpr LONG OPOS_ORS_NOTSUPPORTED = 402;
constexpr LONG OPOS_ORS_CONFIG = 403;
constexpr LONG OPOS_ORS_SPECIFIC = 450;

// ---- BinaryConversion property ----
constexpr LONG OPOS_BC_NONE = 0;
constexpr LONG OPOS_BC_NIBBLE = 1;
constexpr LONG OPOS_BC_DECIMAL = 2;

// ---- CheckHealth levels ----
constexpr LONG OPOS_CH_INTERNAL = 1;
constexpr LONG OPOS_CH_EXTERNAL = 2;
constexpr LONG OPOS_CH_INTERACTIVE = 3;

// ---- CapPowerReporting ----
constexpr LONG OPOS_PR_NONE = 0;
constexpr LONG OPOS_PR_STANDARD = 1;
constexpr LONG OPOS_PR_ADVANCED = 2;

// ---- PowerNotify ----
constexpr LONG OPOS_PN_DISABLED = 0;
constexpr LONG OPOS_PN_ENABLED = 1;

// ---- PowerState ----
constexpr LONG OPOS_PS_UNKNOWN = 2000;
constexpr LONG OPOS_PS_ONLINE = 2001;
constexpr LONG OPOS_PS_OFF = 2002;
constexpr LONG OPOS_PS_OFFLINE = 2003;
constexpr LONG OPOS_PS_OFF_OFFLINE = 2004;

// ---- ErrorEvent: error locus ----
constexpr LONG OPOS_EL_OUTPUT = 1;
constexpr LONG OPOS_EL_INPUT = 2;
constexpr LONG OPOS_EL_INPUT_DATA = 3;

// ---- ErrorEvent: error response ----
constexpr LONG OPOS_ER_RETRY = 11;
constexpr LONG OPOS_ER_CLEAR = 12;
constexpr LONG OPOS_ER_CONTINUEINPUT = 13;

// ---- StatusUpdateEvent: power status values common to every class ----
constexpr LONG OPOS_SUE_POWER_ONLINE = 2001;
constexpr LONG OPOS_SUE_POWER_OFF = 2002;
constexpr LONG OPOS_SUE_POWER_OFFLINE = 2003;
constexpr LONG OPOS_SUE_POWER_OFF_OFFLINE = 2004;

// ---- General time-out value ----
constexpr LONG OPOS_FOREVER = -1;

// ---- Property index (PIDX) layout ----
// A PIDX is type base + class base + offset: numbers below 1000000, strings from 1000000 on;
// each device class has its own block of 1000, the common properties use block 0.
constexpr LONG PIDX_NUMBER = 0;
constexpr LONG PIDX_STRING = 1000000;

constexpr bool PidxIsString(LONG pidx) {
    return pidx >= PIDX_STRING;
}
constexpr bool PidxIsNumber(LONG pidx) {
    return pidx >= 0 && pidx < PIDX_STRING;
}

// Class bases of the device classes this package serves.
constexpr LONG PIDX_CASH = 1000;  // CashDrawer
constexpr LONG PIDX_TOT = 3000;   // HardTotals
constexpr LONG PIDX_LOCK = 4000;  // Keylock
constexpr LONG PIDX_DISP = 5000;  // LineDisplay
constexpr LONG PIDX_MICR = 6000;  // MICR
constexpr LONG PIDX_MSR = 7000;   // MSR
constexpr LONG PIDX_PTR = 8000;   // POSPrinter

// ---- Common number properties ----
constexpr LONG PIDX_Claimed = 1 + PIDX_NUMBER;
constexpr LONG PIDX_DataEventEnabled = 2 + PIDX_NUMBER;
constexpr LONG PIDX_DeviceEnabled = 3 + PIDX_NUMBER;
constexpr LONG PIDX_FreezeEvents = 4 + PIDX_NUMBER;
constexpr LONG PIDX_OutputID = 5 + PIDX_NUMBER;
constexpr LONG PIDX_ResultCode = 6 + PIDX_NUMBER;
constexpr LONG PIDX_ResultCodeExtended = 7 + PIDX_NUMBER;
constexpr LONG PIDX_ServiceObjectVersion = 8 + PIDX_NUMBER;
constexpr LONG PIDX_State = 9 + PIDX_NUMBER;
constexpr LONG PIDX_AutoDisable = 10 + PIDX_NUMBER;
constexpr LONG PIDX_BinaryConversion = 11 + PIDX_NUMBER;
constexpr LONG PIDX_DataCount = 12 + PIDX_NUMBER;
constexpr LONG PIDX_PowerNotify = 13 + PIDX_NUMBER;
constexpr LONG PIDX_PowerState = 14 + PIDX_NUMBER;

// Common capabilities.
constexpr LONG PIDX_CapPowerReporting = 501 + PIDX_NUMBER;

// ---- Common string properties ----
constexpr LONG PIDX_CheckHealthText = 1 + PIDX_STRING;
constexpr LONG PIDX_DeviceDescription = 2 + PIDX_STRING;
constexpr LONG PIDX_DeviceName = 3 + PIDX_STRING;
constexpr LONG PIDX_ServiceObjectDescription = 4 + PIDX_STRING;

// OPOS constants of the HardTotals device class.
#pragma once

#include "include/opos.h"

// ---- ResultCodeExtended with OPOS_E_EXTENDED ----
constexpr LONG OPOS_EHT_NOROOM = 1 + OPOSERREXT;      // 201: not enough room on the device
constexpr LONG OPOS_EHT_VALIDATION = 2 + OPOSERREXT;  // 202: validation data do not match

// ---- Number properties (3001..3004) ----
constexpr LONG PIDXTot_FreeData = 1 + PIDX_TOT + PIDX_NUMBER;
constexpr LONG PIDXTot_NumberOfFiles = 2 + PIDX_TOT + PIDX_NUMBER;
constexpr LONG PIDXTot_TotalsSize = 3 + PIDX_TOT + PIDX_NUMBER;
constexpr LONG PIDXTot_TransactionInProgress = 4 + PIDX_TOT + PIDX_NUMBER;

// ---- Capabilities (3501..3503) ----
constexpr LONG PIDXTot_CapErrorDetection = 501 + PIDX_TOT + PIDX_NUMBER;
constexpr LONG PIDXTot_CapSingleFile = 502 + PIDX_TOT + PIDX_NUMBER;
constexpr LONG PIDXTot_CapTransactions = 503 + PIDX_TOT + PIDX_NUMBER;

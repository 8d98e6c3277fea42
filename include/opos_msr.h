// OPOS constants of the MSR (magnetic stripe reader) device class.
#pragma once

#include "include/opos.h"

// ---- TracksToRead ----
constexpr LONG MSR_TR_1 = 1;
constexpr LONG MSR_TR_2 = 2;
constexpr LONG MSR_TR_3 = 4;
constexpr LONG MSR_TR_1_2 = MSR_TR_1 | MSR_TR_2;
constexpr LONG MSR_TR_1_3 = MSR_TR_1 | MSR_TR_3;
constexpr LONG MSR_TR_2_3 = MSR_TR_2 | MSR_TR_3;
constexpr LONG MSR_TR_1_2_3 = MSR_TR_1 | MSR_TR_2 | MSR_TR_3;

// ---- ErrorReportingType ----
constexpr LONG MSR_ERT_CARD = 0;
constexpr LONG MSR_ERT_TRACK = 1;

// ---- ErrorEvent ResultCodeExtended with OPOS_E_EXTENDED (per track in track reporting) ----
constexpr LONG OPOS_EMSR_START = 1 + OPOSERREXT;   // 201: start sentinel
constexpr LONG OPOS_EMSR_END = 2 + OPOSERREXT;     // 202: end sentinel
constexpr LONG OPOS_EMSR_PARITY = 3 + OPOSERREXT;  // 203: parity
constexpr LONG OPOS_EMSR_LRC = 4 + OPOSERREXT;     // 204: longitudinal check

// ---- Number properties (7001..7004) ----
constexpr LONG PIDXMsr_DecodeData = 1 + PIDX_MSR + PIDX_NUMBER;
constexpr LONG PIDXMsr_ParseDecodeData = 2 + PIDX_MSR + PIDX_NUMBER;
constexpr LONG PIDXMsr_TracksToRead = 3 + PIDX_MSR + PIDX_NUMBER;
constexpr LONG PIDXMsr_ErrorReportingType = 4 + PIDX_MSR + PIDX_NUMBER;

// ---- Capabilities (7501..7503) ----
constexpr LONG PIDXMsr_CapISO = 501 + PIDX_MSR + PIDX_NUMBER;
constexpr LONG PIDXMsr_CapJISOne = 502 + PIDX_MSR + PIDX_NUMBER;
constexpr LONG PIDXMsr_CapJISTwo = 503 + PIDX_MSR + PIDX_NUMBER;

// ---- String properties (1007001..1007013) ----
constexpr LONG PIDXMsr_AccountNumber = 1 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_ExpirationDate = 2 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_FirstName = 3 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_MiddleInitial = 4 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_ServiceCode = 5 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Suffix = 6 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Surname = 7 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Title = 8 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Track1Data = 9 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Track1DiscretionaryData = 10 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Track2Data = 11 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Track2DiscretionaryData = 12 + PIDX_MSR + PIDX_STRING;
constexpr LONG PIDXMsr_Track3Data = 13 + PIDX_MSR + PIDX_STRING;

// OPOS constants of the MICR device class.
#pragma once

#include "include/opos.h"

// ---- CheckType ----
constexpr LONG MICR_CT_PERSONAL = 1;
constexpr LONG MICR_CT_BUSINESS = 2;
constexpr LONG MICR_CT_UNKNOWN = 99;

// ---- CountryCode ----
constexpr LONG MICR_CC_USA = 1;
constexpr LONG MICR_CC_CANADA = 2;
constexpr LONG MICR_CC_MEXICO = 3;
constexpr LONG MICR_CC_UNKNOWN = 99;

// ---- ResultCodeExtended with OPOS_E_EXTENDED ----
constexpr LONG OPOS_EMICR_NOCHECK = 1 + OPOSERREXT;  // 201: no check in the path
constexpr LONG OPOS_EMICR_CHECK = 2 + OPOSERREXT;    // 202: a check is still in the path

// ---- Number properties ----
constexpr LONG PIDXMicr_CheckType = 1 + PIDX_MICR + PIDX_NUMBER;    // 6001
constexpr LONG PIDXMicr_CountryCode = 2 + PIDX_MICR + PIDX_NUMBER;  // 6002

// ---- Capabilities ----
constexpr LONG PIDXMicr_CapValidationDevice = 501 + PIDX_MICR + PIDX_NUMBER;  // 6501

// ---- String properties ----
constexpr LONG PIDXMicr_AccountNumber = 1 + PIDX_MICR + PIDX_STRING;  // 1006001
constexpr LONG PIDXMicr_Amount = 2 + PIDX_MICR + PIDX_STRING;
constexpr LONG PIDXMicr_BankNumber = 3 + PIDX_MICR + PIDX_STRING;
constexpr LONG PIDXMicr_EPC = 4 + PIDX_MICR + PIDX_STRING;
constexpr LONG PIDXMicr_RawData = 5 + PIDX_MICR + PIDX_STRING;
constexpr LONG PIDXMicr_SerialNumber = 6 + PIDX_MICR + PIDX_STRING;
constexpr LONG PIDXMicr_TransitNumber = 7 + PIDX_MICR + PIDX_STRING;  // 1006007

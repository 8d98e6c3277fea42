// OPOS constants of the POSPrinter device class.
#pragma once

#include "include/opos.h"

// ---- Stations ----
constexpr LONG PTR_S_JOURNAL = 1;
constexpr LONG PTR_S_RECEIPT = 2;
constexpr LONG PTR_S_SLIP = 4;
constexpr LONG PTR_S_JOURNAL_RECEIPT = PTR_S_JOURNAL | PTR_S_RECEIPT;  // 3
constexpr LONG PTR_S_JOURNAL_SLIP = PTR_S_JOURNAL | PTR_S_SLIP;        // 5
constexpr LONG PTR_S_RECEIPT_SLIP = PTR_S_RECEIPT | PTR_S_SLIP;        // 6

// PrintTwoNormal stations with the second station printing its own data.
constexpr LONG PTR_TWO_RECEIPT_JOURNAL = 0x8000 + PTR_S_JOURNAL_RECEIPT;  // 0x8003
constexpr LONG PTR_TWO_SLIP_JOURNAL = 0x8000 + PTR_S_JOURNAL_SLIP;        // 0x8005
constexpr LONG PTR_TWO_SLIP_RECEIPT = 0x8000 + PTR_S_RECEIPT_SLIP;        // 0x8006

// ---- CapCharacterSet ----
constexpr LONG PTR_CCS_ALPHA = 1;
constexpr LONG PTR_CCS_KANA = 10;
constexpr LONG PTR_CCS_KANJI = 11;

// ---- CharacterSet ----
constexpr LONG PTR_CS_ASCII = 998;
constexpr LONG PTR_CS_WINDOWS = 999;

// ---- ErrorLevel ----
constexpr LONG PTR_EL_NONE = 1;
constexpr LONG PTR_EL_RECOVERABLE = 2;
constexpr LONG PTR_EL_FATAL = 3;

// ---- MapMode ----
constexpr LONG PTR_MM_DOTS = 1;
constexpr LONG PTR_MM_TWIPS = 2;
constexpr LONG PTR_MM_ENGLISH = 3;
constexpr LONG PTR_MM_METRIC = 4;

// ---- CutPaper ----
constexpr LONG PTR_CP_FULLCUT = 100;

// ---- PrintBarCode: symbologies ----
constexpr LONG PTR_BCS_UPCA = 101;
constexpr LONG PTR_BCS_UPCE = 102;
constexpr LONG PTR_BCS_JAN8 = 103;
constexpr LONG PTR_BCS_EAN8 = 103;
constexpr LONG PTR_BCS_JAN13 = 104;
constexpr LONG PTR_BCS_EAN13 = 104;
constexpr LONG PTR_BCS_TF = 105;
constexpr LONG PTR_BCS_ITF = 106;
constexpr LONG PTR_BCS_Codabar = 107;
constexpr LONG PTR_BCS_Code39 = 108;
constexpr LONG PTR_BCS_Code93 = 109;
constexpr LONG PTR_BCS_Code128 = 110;
constexpr LONG PTR_BCS_UPCA_S = 111;
constexpr LONG PTR_BCS_UPCE_S = 112;
constexpr LONG PTR_BCS_UPCD1 = 113;
constexpr LONG PTR_BCS_UPCD2 = 114;
constexpr LONG PTR_BCS_UPCD3 = 115;
constexpr LONG PTR_BCS_UPCD4 = 116;
constexpr LONG PTR_BCS_UPCD5 = 117;
constexpr LONG PTR_BCS_EAN8_S = 118;
constexpr LONG PTR_BCS_EAN13_S = 119;
constexpr LONG PTR_BCS_EAN128 = 120;
constexpr LONG PTR_BCS_OCRA = 121;
constexpr LONG PTR_BCS_OCRB = 122;
constexpr LONG PTR_BCS_PDF417 = 201;
constexpr LONG PTR_BCS_MAXICODE = 202;
constexpr LONG PTR_BCS_OTHER = 501;  // first number of vendor symbologies

// PrintBarCode: alignment and human-readable text position.
constexpr LONG PTR_BC_LEFT = -1;
constexpr LONG PTR_BC_CENTER = -2;
constexpr LONG PTR_BC_RIGHT = -3;
constexpr LONG PTR_BC_TEXT_NONE = -11;
constexpr LONG PTR_BC_TEXT_ABOVE = -12;
constexpr LONG PTR_BC_TEXT_BELOW = -13;

// ---- PrintBitmap: width and alignment ----
constexpr LONG PTR_BM_ASIS = -11;
constexpr LONG PTR_BM_LEFT = -1;
constexpr LONG PTR_BM_CENTER = -2;
constexpr LONG PTR_BM_RIGHT = -3;

// ---- RotatePrint and RotateSpecial ----
constexpr LONG PTR_RP_NORMAL = 0x0001;
constexpr LONG PTR_RP_RIGHT90 = 0x0101;    // 257
constexpr LONG PTR_RP_LEFT90 = 0x0102;     // 258
constexpr LONG PTR_RP_ROTATE180 = 0x0103;  // 259

// ---- SetLogo ----
constexpr LONG PTR_L_TOP = 1;
constexpr LONG PTR_L_BOTTOM = 2;

// ---- TransactionPrint ----
constexpr LONG PTR_TP_TRANSACTION = 11;
constexpr LONG PTR_TP_NORMAL = 12;

// ---- StatusUpdateEvent ----
constexpr LONG PTR_SUE_COVER_OPEN = 11;
constexpr LONG PTR_SUE_COVER_OK = 12;
constexpr LONG PTR_SUE_JRN_EMPTY = 21;
constexpr LONG PTR_SUE_JRN_NEAREMPTY = 22;
constexpr LONG PTR_SUE_JRN_PAPEROK = 23;
constexpr LONG PTR_SUE_REC_EMPTY = 24;
constexpr LONG PTR_SUE_REC_NEAREMPTY = 25;
constexpr LONG PTR_SUE_REC_PAPEROK = 26;
constexpr LONG PTR_SUE_SLP_EMPTY = 27;
constexpr LONG PTR_SUE_SLP_NEAREMPTY = 28;
constexpr LONG PTR_SUE_SLP_PAPEROK = 29;
constexpr LONG PTR_SUE_IDLE = 1001;

// ---- ResultCodeExtended with OPOS_E_EXTENDED ----
constexpr LONG OPOS_EPTR_COVER_OPEN = 1 + OPOSERREXT;  // 201
constexpr LONG OPOS_EPTR_JRN_EMPTY = 2 + OPOSERREXT;   // 202
constexpr LONG OPOS_EPTR_REC_EMPTY = 3 + OPOSERREXT;   // 203
constexpr LONG OPOS_EPTR_SLP_EMPTY = 4 + OPOSERREXT;   // 204
constexpr LONG OPOS_EPTR_SLP_FORM = 5 + OPOSERREXT;    // 205
constexpr LONG OPOS_EPTR_TOOBIG = 6 + OPOSERREXT;      // 206
constexpr LONG OPOS_EPTR_BADFORMAT = 7 + OPOSERREXT;   // 207

// ---- Number properties (8001..8036) ----
constexpr LONG PIDXPtr_AsyncMode = 1 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CharacterSet = 2 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CoverOpen = 3 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_ErrorStation = 4 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_FlagWhenIdle = 5 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnEmpty = 6 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnLetterQuality = 7 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnLineChars = 8 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnLineHeight = 9 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnLineSpacing = 10 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnLineWidth = 11 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_JrnNearEnd = 12 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_MapMode = 13 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecEmpty = 14 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLetterQuality = 15 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLineChars = 16 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLineHeight = 17 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLineSpacing = 18 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLinesToPaperCut = 19 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecLineWidth = 20 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecNearEnd = 21 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecSidewaysMaxChars = 22 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RecSidewaysMaxLines = 23 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpEmpty = 24 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLetterQuality = 25 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLineChars = 26 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLineHeight = 27 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLinesNearEndToEnd = 28 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLineSpacing = 29 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpLineWidth = 30 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpMaxLines = 31 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpNearEnd = 32 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpSidewaysMaxChars = 33 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_SlpSidewaysMaxLines = 34 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_ErrorLevel = 35 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_RotateSpecial = 36 + PIDX_PTR + PIDX_NUMBER;

// ---- Capabilities (8501..8549) ----
constexpr LONG PIDXPtr_CapConcurrentJrnRec = 501 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapConcurrentJrnSlp = 502 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapConcurrentRecSlp = 503 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapCoverSensor = 504 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrn2Color = 505 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnBold = 506 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnDhigh = 507 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnDwide = 508 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnDwideDhigh = 509 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnEmptySensor = 510 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnItalic = 511 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnNearEndSensor = 512 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnPresent = 513 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapJrnUnderline = 514 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRec2Color = 515 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecBarCode = 516 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecBitmap = 517 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecBold = 518 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecDhigh = 519 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecDwide = 520 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecDwideDhigh = 521 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecEmptySensor = 522 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecItalic = 523 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecLeft90 = 524 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecNearEndSensor = 525 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecPapercut = 526 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecPresent = 527 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecRight90 = 528 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecRotate180 = 529 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecStamp = 530 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapRecUnderline = 531 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlp2Color = 532 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpBarCode = 533 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpBitmap = 534 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpBold = 535 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpDhigh = 536 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpDwide = 537 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpDwideDhigh = 538 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpEmptySensor = 539 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpFullslip = 540 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpItalic = 541 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpLeft90 = 542 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpNearEndSensor = 543 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpPresent = 544 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpRight90 = 545 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpRotate180 = 546 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapSlpUnderline = 547 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapCharacterSet = 548 + PIDX_PTR + PIDX_NUMBER;
constexpr LONG PIDXPtr_CapTransaction = 549 + PIDX_PTR + PIDX_NUMBER;

// First and last index of each block, for the property stores.
constexpr LONG PIDXPtr_FirstNumber = PIDXPtr_AsyncMode;
constexpr LONG PIDXPtr_LastNumber = PIDXPtr_RotateSpecial;
constexpr LONG PIDXPtr_FirstCap = PIDXPtr_CapConcurrentJrnRec;
constexpr LONG PIDXPtr_LastCap = PIDXPtr_CapTransaction;

// ---- String properties (1008001..1008008) ----
constexpr LONG PIDXPtr_CharacterSetList = 1 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_JrnLineCharsList = 2 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_RecLineCharsList = 3 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_SlpLineCharsList = 4 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_ErrorString = 5 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_FontTypefaceList = 6 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_RecBarCodeRotationList = 7 + PIDX_PTR + PIDX_STRING;
constexpr LONG PIDXPtr_SlpBarCodeRotationList = 8 + PIDX_PTR + PIDX_STRING;

constexpr LONG PIDXPtr_FirstString = PIDXPtr_CharacterSetList;
constexpr LONG PIDXPtr_LastString = PIDXPtr_SlpBarCodeRotationList;

// OPOS constants of the LineDisplay device class.
#pragma once

#include "include/opos.h"

// ---- CapCharacterSet ----
constexpr LONG DISP_CCS_NUMERIC = 0;
constexpr LONG DISP_CCS_ALPHA = 1;
constexpr LONG DISP_CCS_KANA = 10;
constexpr LONG DISP_CCS_KANJI = 11;

// ---- CharacterSet ----
constexpr LONG DISP_CS_ASCII = 998;
constexpr LONG DISP_CS_WINDOWS = 999;

// ---- DisplayText and DisplayTextAt attributes ----
constexpr LONG DISP_DT_NORMAL = 0;
constexpr LONG DISP_DT_BLINK = 1;

// ---- MarqueeFormat ----
constexpr LONG DISP_MF_WALK = 0;
constexpr LONG DISP_MF_PLACE = 1;

// ---- MarqueeType ----
constexpr LONG DISP_MT_NONE = 0;
constexpr LONG DISP_MT_UP = 1;
constexpr LONG DISP_MT_DOWN = 2;
constexpr LONG DISP_MT_LEFT = 3;
constexpr LONG DISP_MT_RIGHT = 4;
constexpr LONG DISP_MT_INIT = 5;

// ---- ScrollText directions ----
constexpr LONG DISP_ST_UP = 1;
constexpr LONG DISP_ST_DOWN = 2;
constexpr LONG DISP_ST_LEFT = 3;
constexpr LONG DISP_ST_RIGHT = 4;

// ---- SetDescriptor attributes ----
constexpr LONG DISP_SD_OFF = 0;
constexpr LONG DISP_SD_ON = 1;
constexpr LONG DISP_SD_BLINK = 2;

// ---- Number properties (5001..5017) ----
constexpr LONG PIDXDisp_CharacterSet = 1 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_Columns = 2 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CurrentWindow = 3 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CursorColumn = 4 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CursorRow = 5 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CursorUpdate = 6 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_DeviceBrightness = 7 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_DeviceColumns = 8 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_DeviceDescriptors = 9 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_DeviceRows = 10 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_DeviceWindows = 11 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_InterCharacterWait = 12 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_MarqueeRepeatWait = 13 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_MarqueeType = 14 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_MarqueeUnitWait = 15 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_Rows = 16 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_MarqueeFormat = 17 + PIDX_DISP + PIDX_NUMBER;

// ---- Capabilities (5501..5507) ----
constexpr LONG PIDXDisp_CapBlink = 501 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapBrightness = 502 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapCharacterSet = 503 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapDescriptors = 504 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapHMarquee = 505 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapICharWait = 506 + PIDX_DISP + PIDX_NUMBER;
constexpr LONG PIDXDisp_CapVMarquee = 507 + PIDX_DISP + PIDX_NUMBER;

// ---- String properties ----
constexpr LONG PIDXDisp_CharacterSetList = 1 + PIDX_DISP + PIDX_STRING;  // 1005001

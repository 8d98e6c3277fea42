// Result codes and raw power states of the port driver contract.
#pragma once

#include "platform/wintypes.h"

// ---- Results of every port driver operation ----
constexpr LONG PD_OK = 0;
constexpr LONG PD_E_OPEN = 200000;     // the port could not be opened or configured
constexpr LONG PD_E_NOTOPEN = 200001;  // driver not open, or the service object not registered
constexpr LONG PD_E_PARAM = 200002;    // a required argument is missing
// These four are stored by service objects as ResultCodeExtended as they are.
constexpr LONG PD_E_NOPORT = 10002;   // the port does not exist or its settings are out of range
constexpr LONG PD_E_INUSE = 10016;    // the port is held elsewhere
constexpr LONG PD_E_BUSY = 10017;     // close refused: output still queued or being written
constexpr LONG PD_E_NOPOWER = 10019;  // output refused: the device is off or not ready

// ---- Raw power states passed to PowerReport ----
constexpr LONG PD_PS_ONLINE = 0;      // connected and ready
constexpr LONG PD_PS_OFFLINE = 1;     // connected, not ready
constexpr LONG PD_PS_OFF = 2;         // port or device gone
constexpr LONG PD_PS_OFFOFFLINE = 3;  // off or offline, not told apart

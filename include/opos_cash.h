// OPOS constants of the CashDrawer device class.
#pragma once

#include "include/opos.h"

// ---- StatusUpdateEvent ----
constexpr LONG CASH_SUE_DRAWERCLOSED = 0;
constexpr LONG CASH_SUE_DRAWEROPEN = 1;

// ---- Number properties ----
constexpr LONG PIDXCash_DrawerOpened = 1 + PIDX_CASH + PIDX_NUMBER;  // 1001

// ---- Capabilities ----
constexpr LONG PIDXCash_CapStatus = 501 + PIDX_CASH + PIDX_NUMBER;  // 1501

// Property access of the printer service object, enabling and COFreezeEvents.
#include <algorithm>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "printer/frame/app.h"
#include "printer/ptr/soptr.h"
#include "printer/shared/shared_port.h"
#include "printer/shared/slip_sensor.h"

namespace {

using printer::kJournal;
using printer::kReceipt;
using printer::kSlip;

// The station of a per-station property, or -1.
int StationOf(LONG pidx) {
    switch (pidx) {
        case PIDXPtr_JrnLetterQuality:
        case PIDXPtr_JrnLineChars:
        case PIDXPtr_JrnLineHeight:
        case PIDXPtr_JrnLineSpacing:
            return kJournal;
        case PIDXPtr_RecLetterQuality:
        case PIDXPtr_RecLineChars:
        case PIDXPtr_RecLineHeight:
        case PIDXPtr_RecLineSpacing:
            return kReceipt;
        case PIDXPtr_SlpLetterQuality:
        case PIDXPtr_SlpLineChars:
        case PIDXPtr_SlpLineHeight:
        case PIDXPtr_SlpLineSpacing:
            return kSlip;
    }
    return -1;
}

// Properties that need the claim (and, once claimed, the enabled device) to be set.
bool NeedsClaim(LONG pidx) {
    return pidx == PIDXPtr_CharacterSet || StationOf(pidx) >= 0;
}

bool ListHasWord(const std::string& list, const std::string& word) {
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(',', pos);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(pos, end - pos);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (item == word) return true;
        pos = end + 1;
    }
    return false;
}

}  // namespace

LONG CSoptrCtrl::GetPropertyNumber(LONG pidx) {
    plat::CSingleLock lock(m_csObject);
    switch (pidx) {
        case PIDX_ResultCode:
            return m_lResultCode;
        case PIDX_ResultCodeExtended:
            return m_lResultCodeExtended;
        case PIDX_State:
            return m_lState;
    }
    if (!m_bOpen) return 0;
    switch (pidx) {
        case PIDX_Claimed:
            return m_lClaimed;
        case PIDX_DeviceEnabled:
            return m_lClaimed > 0 ? m_bDeviceEnabled.load() : 0;
        case PIDX_FreezeEvents:
            return m_bFreezeEvents;
        case PIDX_OutputID:
            return outputId_;
        case PIDX_ServiceObjectVersion:
            return m_lServiceObjectVersion;
        case PIDX_BinaryConversion:
            return m_lBinaryConversion;
        case PIDX_PowerNotify:
            return m_lPowerNotify;
        case PIDX_PowerState:
            return m_lPowerNotify == OPOS_PN_ENABLED ? m_lPowerState.load() : OPOS_PS_UNKNOWN;
        case PIDX_CapPowerReporting:
            return m_lCapPowerReporting;
        case PIDXPtr_AsyncMode:
        case PIDXPtr_ErrorStation:
        case PIDXPtr_FlagWhenIdle:
        case PIDXPtr_MapMode:
        case PIDXPtr_ErrorLevel:
        case PIDXPtr_RotateSpecial:
            return Number(pidx);
        case PIDXPtr_SlpMaxLines:
            return Cap(PIDXPtr_CapSlpFullslip) ? 0 : Number(pidx);
    }
    if (pidx >= PIDXPtr_FirstNumber && pidx <= PIDXPtr_LastNumber)
        return (m_lClaimed > 0 && m_bDeviceEnabled) ? Number(pidx) : 0;
    if (pidx >= PIDXPtr_FirstCap && pidx <= PIDXPtr_LastCap) return Cap(pidx);
    return 0;
}

bool CSoptrCtrl::ClaimedElsewhere() const {
    return m_lClaimed == 0 && app_.PrinterClaimFlag(m_nPortIndex);
}

void CSoptrCtrl::SetPropertyNumber(LONG pidx, LONG number) {
    plat::CSingleLock lock(m_csObject);
    if (pidx == PIDX_ResultCode) {
        m_lResultCode = number;
        return;
    }
    if (pidx == PIDX_ResultCodeExtended) {
        m_lResultCodeExtended = number;
        return;
    }
    if (!m_bOpen) {
        SetResult(OPOS_E_CLOSED);
        return;
    }
    if (pidx == PIDX_DeviceEnabled || NeedsClaim(pidx)) {
        if (m_lClaimed == 0) {
            SetResult(ClaimedElsewhere() ? OPOS_E_CLAIMED : OPOS_E_NOTCLAIMED);
            return;
        }
        if (pidx != PIDX_DeviceEnabled && !m_bDeviceEnabled) {
            SetResult(OPOS_E_DISABLED);
            return;
        }
    }
    SetResult(OPOS_SUCCESS);
    switch (pidx) {
        case PIDX_BinaryConversion:
            if (number < OPOS_BC_NONE || number > OPOS_BC_DECIMAL)
                SetResult(OPOS_E_ILLEGAL);
            else
                m_lBinaryConversion = number;
            return;
        case PIDX_DeviceEnabled:
            SetEnabled(number != 0);
            return;
        case PIDX_FreezeEvents:
            m_bFreezeEvents = number != 0;
            if (!number) WakeEventThread();
            return;
        case PIDX_PowerNotify:
            if (m_bDeviceEnabled)
                SetResult(OPOS_E_ILLEGAL);
            else if (number != OPOS_PN_DISABLED && number != OPOS_PN_ENABLED)
                SetResult(OPOS_E_ILLEGAL, KAVRO_E_BADVALUE);
            else if (number == OPOS_PN_ENABLED && m_lCapPowerReporting == OPOS_PR_NONE)
                SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOCAPABILITY);
            else
                m_lPowerNotify = number;
            return;
        case PIDXPtr_AsyncMode:
            SetNumber(pidx, number != 0);
            return;
        case PIDXPtr_FlagWhenIdle:
            SetNumber(pidx, number != 0);
            if (!number) {
                idleReported_ = false;
            } else if (m_lState == OPOS_S_IDLE) {
                idleReported_ = true;
                QueueStatus(PTR_SUE_IDLE);
            } else {
                idleReported_ = false;  // the output thread reports the next idle moment
            }
            return;
        case PIDXPtr_MapMode:
            if (number < PTR_MM_DOTS || number > PTR_MM_METRIC)
                SetResult(OPOS_E_ILLEGAL, KAVRO_E_BADVALUE);
            else
                SetNumber(pidx, number);
            return;
    }
    if (NeedsClaim(pidx) || pidx == PIDXPtr_RotateSpecial) {
        Outcome o = SetStationProperty(pidx, number);
        SetResult(o.rc, o.rcx);
        return;
    }
    SetResult(OPOS_E_ILLEGAL);
}

CSoptrCtrl::Outcome CSoptrCtrl::SetStationProperty(LONG pidx, LONG number) {
    if (pidx == PIDXPtr_CharacterSet) {
        auto list =
            printer::ParseNumberList(strings_[PIDXPtr_CharacterSetList - PIDXPtr_FirstString], 16);
        if (std::find(list.begin(), list.end(), number) == list.end())
            return {OPOS_E_ILLEGAL, KAVRO_E_BADVALUE};
        SetNumber(pidx, number);
        return {};
    }
    if (pidx == PIDXPtr_RotateSpecial) {
        const std::string& rec = strings_[PIDXPtr_RecBarCodeRotationList - PIDXPtr_FirstString];
        const std::string& slp = strings_[PIDXPtr_SlpBarCodeRotationList - PIDXPtr_FirstString];
        const char* word = number == PTR_RP_RIGHT90     ? "R90"
                           : number == PTR_RP_LEFT90    ? "L90"
                           : number == PTR_RP_ROTATE180 ? "180"
                                                        : nullptr;
        if (number != PTR_RP_NORMAL && !word) return {OPOS_E_ILLEGAL, KAVRO_E_BADVALUE};
        if (word && !ListHasWord(rec, word) && !ListHasWord(slp, word))
            return {OPOS_E_ILLEGAL, KAVRO_E_NOCAPABILITY};
        SetNumber(pidx, number);
        return {};
    }
    int station = StationOf(pidx);
    if (!model_.Present(station)) return {OPOS_E_ILLEGAL, KAVRO_E_NOSTATION};
    switch (pidx) {
        case PIDXPtr_JrnLetterQuality:
        case PIDXPtr_RecLetterQuality:
        case PIDXPtr_SlpLetterQuality:
            SetNumber(pidx, number != 0);
            return {};
        case PIDXPtr_JrnLineChars:
        case PIDXPtr_RecLineChars:
        case PIDXPtr_SlpLineChars: {
            const LONG* maxes = model_.lineCharsMax[station];
            LONG largest = std::max(maxes[0], maxes[1]);
            if (number < 1 || number > largest) return {OPOS_E_ILLEGAL, KAVRO_E_BADVALUE};
            // The first font serves up to its longest line, the second beyond it; the
            // property takes the chosen font's longest line.
            SetNumber(pidx, number <= maxes[0] ? maxes[0] : maxes[1]);
            return {};
        }
        case PIDXPtr_JrnLineSpacing:
        case PIDXPtr_RecLineSpacing:
        case PIDXPtr_SlpLineSpacing: {
            LONG v = std::max<LONG>(number, 0);
            SetNumber(pidx, v);
            lineSpacingDots_[station] = std::min<LONG>(v, 255);
            return {};
        }
    }
    // Line height: choosing between font heights needs the station's font table; without
    // one nothing changes and the call succeeds.
    return {};
}

std::string CSoptrCtrl::GetPropertyString(LONG pidx) {
    plat::CSingleLock lock(m_csObject);
    if (!m_bOpen) return "[Error]";
    switch (pidx) {
        case PIDX_CheckHealthText:
            return m_strCheckHealthText;
        case PIDX_DeviceDescription:
            return m_strDeviceDescription;
        case PIDX_DeviceName:
            return m_strDeviceName;
        case PIDX_ServiceObjectDescription:
            return m_strServiceObjectDescription;
    }
    if (pidx >= PIDXPtr_FirstString && pidx <= PIDXPtr_LastString)
        return strings_[pidx - PIDXPtr_FirstString];
    return "[Error]";
}

void CSoptrCtrl::SetPropertyString(LONG, const std::string&) {
    plat::CSingleLock lock(m_csObject);
    m_lResultCode = OPOS_E_ILLEGAL;
}

LONG CSoptrCtrl::COFreezeEvents(LONG freeze) {
    plat::CSingleLock lock(m_csObject);
    if (!m_bOpen) return OPOS_E_CLOSED;
    m_bCOFreeze = freeze != 0;
    if (!freeze) WakeEventThread();
    return OPOS_SUCCESS;
}

// The busy flag is the claim holder's: an object that does not hold the port leaves it to
// the one that does (in this process or another).
void CSoptrCtrl::SetState(LONG state) {
    m_lState = state;
    if (portOpen_) app_.SetPrinterBusy(m_nPortIndex, state == OPOS_S_BUSY || state == OPOS_S_ERROR);
}

// --- Enabling ---

void CSoptrCtrl::SetEnabled(BOOL enable) {
    if (!enable) {
        m_bDeviceEnabled = FALSE;
        m_lPowerState = OPOS_PS_UNKNOWN;
        return;
    }
    if (m_bDeviceEnabled) return;
    std::lock_guard<std::mutex> g(statusLock_);
    m_bDeviceEnabled = TRUE;
    m_lPowerState = OPOS_PS_ONLINE;
    if (m_lPowerNotify == OPOS_PN_ENABLED) QueueStatus(OPOS_SUE_POWER_ONLINE);
    ReportSensorStates();
    WakeEventThread();
}

// The current sensor states as status events, each only when its capability is set.
// Caller holds statusLock_.
void CSoptrCtrl::ReportSensorStates() {
    SharedPortStatus st = shared_->Status();
    if (Cap(PIDXPtr_CapCoverSensor)) {
        SetNumber(PIDXPtr_CoverOpen, st.coverOpen);
        QueueStatus(st.coverOpen ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
    }
    struct Roll {
        LONG nearCap, emptyCap, nearProp, emptyProp, sueOk, sueNear, sueEmpty;
        bool nearEnd, empty;
    } rolls[] = {
        {PIDXPtr_CapJrnNearEndSensor, PIDXPtr_CapJrnEmptySensor, PIDXPtr_JrnNearEnd,
         PIDXPtr_JrnEmpty, PTR_SUE_JRN_PAPEROK, PTR_SUE_JRN_NEAREMPTY, PTR_SUE_JRN_EMPTY,
         st.journalNearEnd, st.journalEmpty},
        {PIDXPtr_CapRecNearEndSensor, PIDXPtr_CapRecEmptySensor, PIDXPtr_RecNearEnd,
         PIDXPtr_RecEmpty, PTR_SUE_REC_PAPEROK, PTR_SUE_REC_NEAREMPTY, PTR_SUE_REC_EMPTY,
         st.receiptNearEnd, st.receiptEmpty},
    };
    for (const Roll& r : rolls) {
        bool nearCap = Cap(r.nearCap) != 0, emptyCap = Cap(r.emptyCap) != 0;
        if (!nearCap && !emptyCap) continue;
        if (!r.nearEnd && !r.empty) QueueStatus(r.sueOk);
        if (nearCap) {
            SetNumber(r.nearProp, r.nearEnd && !r.empty);
            if (r.nearEnd && !r.empty) QueueStatus(r.sueNear);
        }
        if (emptyCap) {
            SetNumber(r.emptyProp, r.empty);
            if (r.empty) QueueStatus(r.sueEmpty);
        }
    }
    bool slpNearCap = Cap(PIDXPtr_CapSlpNearEndSensor) != 0;
    bool slpEmptyCap = Cap(PIDXPtr_CapSlpEmptySensor) != 0;
    if (slip_ && Cap(PIDXPtr_CapSlpPresent) && (slpNearCap || slpEmptyCap)) {
        bool empty = slip_->SlipEmpty();
        bool nearEnd = slip_->SlipNearEnd();
        if (!empty) QueueStatus(PTR_SUE_SLP_PAPEROK);
        if (slpNearCap) {
            SetNumber(PIDXPtr_SlpNearEnd, nearEnd);
            if (nearEnd) QueueStatus(PTR_SUE_SLP_NEAREMPTY);
        }
        if (slpEmptyCap) {
            SetNumber(PIDXPtr_SlpEmpty, empty);
            if (empty) QueueStatus(PTR_SUE_SLP_EMPTY);
        }
    }
    // The second status stream's report (2007..2013) comes with that stream.
}

// Event queueing and hand-over, power reports and the power-recovery messages.
#include "include/kavro_codes.h"
#include "include/opos.h"
#include "ports/portdrv.h"
#include "printer/frame/app.h"
#include "printer/ptr/soptr.h"

// Status events are dropped while the device is disabled, except the idle report.
void CSoptrCtrl::QueueEvent(const OposEvent& event) {
    if (event.type == EVT_STATUSUPDATE && event.p1 != PTR_SUE_IDLE && !m_bDeviceEnabled) return;
    CSvcBase::QueueEvent(event);
}

// Delivers one queued event on the window's thread. Only one event of the whole library
// is in delivery at a time: a hand-over that finds another delivery running (an
// application handler waiting with message dispatch) leaves its event queued.
LONG CSoptrCtrl::OnEventHandOver(WPARAM wParam, LPARAM lParam) {
    if (!m_bOpen || m_bCOFreeze) return SO_NOT_DELIVERED;
    EventDeliveryGuard::Turn turn(app_.DeliveryGuard());
    if (!turn.first()) return SO_NOT_DELIVERED;

    OposEvent ev;
    if (wParam == 2) {
        if (!m_Events.GetAt(static_cast<LONG>(lParam), &ev) || ev.type != EVT_DIRECTIO)
            return SO_NOT_DELIVERED;
    } else if (!m_Events.GetFirstData(&ev)) {
        return SO_NOT_DELIVERED;
    }

    LONG r = SO_NOT_DELIVERED;
    LONG data = ev.p2, response = OPOS_ER_RETRY;
    std::string text;
    switch (ev.type) {
        case EVT_DIRECTIO:
            text = ConvertToASCII(ev.text);
            r = SODirectIO(ev.p1, &data, &text);
            break;
        case EVT_ERROR: {
            const LONG savedStation = Number(PIDXPtr_ErrorStation);
            const LONG savedLevel = Number(PIDXPtr_ErrorLevel);
            const std::string savedString = strings_[PIDXPtr_ErrorString - PIDXPtr_FirstString];
            const LONG savedPending = pendingErrorExtended_;
            SetErrorProperties(ev.p1, ev.p2, pendingErrorStation_);
            r = SOError(ev.p1, ev.p2, OPOS_EL_OUTPUT, &response);
            if (r == SO_NOT_DELIVERED) {
                SetNumber(PIDXPtr_ErrorStation, savedStation);
                SetNumber(PIDXPtr_ErrorLevel, savedLevel);
                strings_[PIDXPtr_ErrorString - PIDXPtr_FirstString] = savedString;
                pendingErrorExtended_ = savedPending;
            }
            break;
        }
        case EVT_OUTPUTCOMPLETE:
            r = SOOutputComplete(ev.p1);
            break;
        case EVT_STATUSUPDATE: {
            const bool idle = ev.p1 == PTR_SUE_IDLE;
            const LONG savedFlag = Number(PIDXPtr_FlagWhenIdle);
            if (idle) SetNumber(PIDXPtr_FlagWhenIdle, FALSE);
            r = SOStatusUpdate(ev.p1);
            if (idle && r == SO_NOT_DELIVERED) SetNumber(PIDXPtr_FlagWhenIdle, savedFlag);
            break;
        }
        default:
            // The printer raises no data events; anything else cannot be delivered and
            // must not block the queue.
            m_Events.Remove(ev.seq);
            return SO_DELIVERED;
    }
    if (r == SO_NOT_DELIVERED) return r;
    m_Events.Remove(ev.seq);
    if (ev.type == EVT_ERROR) {
        // CLEAR drops the failed output; any other answer sends it again.
        if (response == OPOS_ER_CLEAR) queue_.Clear();
        ResetEvent(errorPending_);
        WakeOutputThread();
    }
    EventDelivered(ev, data, text, response);
    return r;
}

// The error properties of an ErrorEvent about to be handed over.
void CSoptrCtrl::SetErrorProperties(LONG rc, LONG rcx, LONG station) {
    pendingErrorExtended_ = rcx;
    SetNumber(PIDXPtr_ErrorLevel, rcx == KAVRO_E_UNRECOVERABLE ? PTR_EL_FATAL : PTR_EL_RECOVERABLE);
    SetNumber(PIDXPtr_ErrorStation, station);
    strings_[PIDXPtr_ErrorString - PIDXPtr_FirstString] = ErrorText(rc, rcx);
}

std::string CSoptrCtrl::ErrorText(LONG rc, LONG rcx) {
    struct Row {
        LONG rc, rcx;
        const char* text;
    };
    static const Row kRows[] = {
        {OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN, "The printer cover is opened."},
        {OPOS_E_EXTENDED, OPOS_EPTR_JRN_EMPTY, "The journal station is out of paper."},
        {OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY, "The receipt station is out of paper."},
        {OPOS_E_EXTENDED, OPOS_EPTR_SLP_EMPTY, "The form is not inserted in the slip station."},
        {OPOS_E_FAILURE, KAVRO_E_UNRECOVERABLE,
         "The unrecoverable error is occurred in the printer."},
        {OPOS_E_FAILURE, KAVRO_E_CUTTER, "The cutter error is occurred in the printer."},
        {OPOS_E_FAILURE, KAVRO_E_MECHANICAL, "The mechnical error is occurred in the printer."},
        {OPOS_E_FAILURE, KAVRO_E_OVERHEAT, "The overheat error is occurred in the printer."},
        {OPOS_E_FAILURE, KAVRO_E_MICRMODE, "The printer mode is MICR."},
        {OPOS_E_FAILURE, KAVRO_E_NOPOWER, "The handshake error is occurred in the printer."},
        {OPOS_E_FAILURE, 0, "The printer is feeding a paper."},
        {OPOS_E_ILLEGAL, KAVRO_E_WRONGMODE, "The printer mode is invalid."},
    };
    for (const Row& row : kRows)
        if (row.rc == rc && row.rcx == rcx) return row.text;
    if (rc == OPOS_E_ILLEGAL) return "The error is occurred in the com port.";
    return "";
}

// --- Power ---

// Called on the driver's thread; acts only while enabled. Work that needs the object
// lock goes to the window.
void CSoptrCtrl::PowerReport(LONG state) {
    if (!m_bDeviceEnabled) return;
    const bool advanced = m_lCapPowerReporting == OPOS_PR_ADVANCED;
    const bool notify = m_lPowerNotify == OPOS_PN_ENABLED;
    LONG newState = 0, status = 0;
    switch (state) {
        case PD_PS_ONLINE:
            newState = status = OPOS_PS_ONLINE;
            break;
        case PD_PS_OFFLINE:
            newState = advanced ? OPOS_PS_OFFLINE : OPOS_PS_OFF_OFFLINE;
            status = (advanced || m_lPowerState != OPOS_PS_OFF_OFFLINE) ? newState : 0;
            break;
        case PD_PS_OFF:
            newState = advanced ? OPOS_PS_OFF : OPOS_PS_OFF_OFFLINE;
            status = (advanced || m_lPowerState != OPOS_PS_OFF_OFFLINE) ? newState : 0;
            break;
        case PD_PS_OFFOFFLINE:
            newState = status = OPOS_PS_OFF_OFFLINE;
            break;
        default:
            return;
    }
    m_lPowerState = newState;
    if (notify && status) QueueStatus(status);
    if (state == PD_PS_ONLINE && powerRecovery_) PostMessage(m_hWnd, WM_PTR_POWER_ONLINE, 0, 0);
    if (state == PD_PS_OFF) {
        powerRecovery_ = true;
        PostMessage(m_hWnd, WM_PTR_POWER_OFF, 0, 0);
    }
}

LRESULT CSoptrCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PTR_POWER_ONLINE) {
        plat::CSingleLock lock(m_csObject);
        if (powerRecovery_ && portOpen_) {
            SleepWPM(kPowerOnlineSettleMs);
            SetUpAgain();
        }
        return 0;
    }
    if (msg == WM_PTR_POWER_OFF) {
        plat::CSingleLock lock(m_csObject);
        if (portOpen_) port_->ClearOutputBuffer(this, TRUE);
        return 0;
    }
    return CSvcBase::WindowProc(msg, wParam, lParam);
}

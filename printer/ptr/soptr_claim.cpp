// Claim with the printer's set-up, Release with the final reset, and the port close loop.
#include "include/kavro_codes.h"
#include "include/opos.h"
#include "platform/clock/clock.h"
#include "ports/portdrv.h"
#include "posframe/reginfo.h"
#include "printer/frame/app.h"
#include "printer/ptr/soptr.h"
#include "printer/shared/response_splitter.h"
#include "printer/shared/shared_port.h"
#include "printer/shared/slip_sensor.h"

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

// A firmware threshold byte: 0 switches its feature off, 255 on; any other value needs
// the printer's firmware version, which the claim-time queries ask for.
enum class Threshold { Off, On, NeedsFirmware };
Threshold ThresholdOf(DWORD word, int byte) {
    DWORD v = (word >> (8 * byte)) & 0xFF;
    if (v == 0) return Threshold::Off;
    if (v == 255) return Threshold::On;
    return Threshold::NeedsFirmware;
}

}  // namespace

LONG CSoptrCtrl::Claim(LONG timeout) {
    plat::CSingleLock lock(m_csObject);
    if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
    if (timeout < 0 && timeout != OPOS_FOREVER) return SetResult(OPOS_E_ILLEGAL, KAVRO_E_ARG1);
    if (m_lClaimed > 0) {
        ++m_lClaimed;
        return SetResult(OPOS_SUCCESS);
    }
    // A port left registered by a close loop that gave up is closed first.
    if (portOpen_ && ClosePort() != PD_E_NOTOPEN)
        return SetResult(OPOS_E_FAILURE, KAVRO_E_CLOSEBUSY);
    if (LONG rc = ClaimLoop(timeout)) return rc;

    Outcome o = SetUpPrinter();
    if (!o.ok()) {
        ClosePort();
        return SetResult(o.rc, o.rcx);
    }
    m_lClaimed = 1;
    StartOutputThread();
    SleepWPM(kClaimSettleMs);
    m_bDeviceEnabled = FALSE;
    return SetResult(OPOS_SUCCESS);
}

// Takes the port's claim flag and registers with the driver, until the time-out.
LONG CSoptrCtrl::ClaimLoop(LONG timeout) {
    const DWORD start = GetTickCount();
    LONG last = OPOS_E_TIMEOUT;
    for (;;) {
        SleepWPM(kClaimPollMs);
        if (app_.TryClaimPrinter(m_nPortIndex)) {
            firstRecordSeen_ = false;
            splitter_ = std::make_unique<ResponseSplitter>();
            PortOpenOptions options;
            options.pipe = 0;
            options.readSize = 31;
            LONG r = port_->PortOpen(m_strDevName.c_str(), this, options);
            if (r == PD_OK) break;
            app_.ReleasePrinterClaim(m_nPortIndex);
            if (r != PD_E_INUSE) return SetResult(OPOS_E_ILLEGAL, r);
            last = PD_E_INUSE;
        } else {
            last = OPOS_E_TIMEOUT;
        }
        if (timeout != OPOS_FOREVER && GetTickCount() - start >= static_cast<DWORD>(timeout)) {
            return last == PD_E_INUSE ? SetResult(OPOS_E_ILLEGAL, KAVRO_E_INUSE)
                                      : SetResult(OPOS_E_TIMEOUT);
        }
    }
    portOpen_ = true;
    shared_->SetPrinterClaimed();
    return OPOS_SUCCESS;
}

// The claim-time set-up, in its fixed order. The first failure ends it.
CSoptrCtrl::Outcome CSoptrCtrl::SetUpPrinter() {
    // The configuration step may claim and release by itself: the count is raised around it.
    ++m_lClaimed;
    Outcome config = RunConfigurationStep();
    --m_lClaimed;
    bool syncOutput = CheckSynchronousOutput();
    queue_.Replace(model_.syncType == 3 && syncOutput);
    printerInitialised_ = false;
    Outcome init = SendInitialisation(false);
    Outcome failure = !config.ok() ? config : init;
    if (failure.ok()) {
        printerInitialised_ = true;
    } else {
        if (failure.rcx != KAVRO_E_MICRMODE) {
            Outcome checks = RunStateChecks();
            if (!checks.ok()) failure = checks;
        }
        return failure;
    }
    if (Outcome mode = RunModeCheck(); !mode.ok()) return mode;
    return RunModelChecks();
}

// Configuration types 1 and 2 rewrite a memory switch or a customised value when the
// printer's answer asks for it; those exchanges come with the full set-up. Type 0 has
// nothing to configure.
CSoptrCtrl::Outcome CSoptrCtrl::RunConfigurationStep() {
    return {};
}

// Synchronisation type 3 (process-ID answers) needs firmware that supports it: when the
// threshold does not allow it the model falls back to type 1.
bool CSoptrCtrl::CheckSynchronousOutput() {
    syncType3InUse_ = false;
    if (model_.syncType != 3) return false;
    if (ThresholdOf(model_.romIdBorder[2], 1) != Threshold::On) {
        model_.syncType = 1;
        return false;
    }
    syncType3InUse_ = true;
    if (!(settings_ & printer::kSetErrorIndependent)) {
        settings_ |= printer::kSetErrorIndependent;
        CRegistryInfo reg(m_strDevName, 0, TRUE);
        if (reg.GetDeviceInfo(m_strDevName, CRegistryInfo::ConvKey(m_strDevClass)))
            reg.SetDWORD("Settings", settings_);
    }
    return true;
}

CSoptrCtrl::Outcome CSoptrCtrl::SendInitialisation(bool recovering) {
    if (shared_->MicrMode()) return {OPOS_E_FAILURE, KAVRO_E_MICRMODE};
    const DWORD opts = model_.capPtrElse;
    std::string cmd = Bytes({0x00, 0x00, 0x1B, 0x3D, 0x01, 0x10, 0x05, 0x03});
    if (!recovering) cmd += Bytes({0x1B, 0x40});
    cmd += Bytes({0x1B, 0x63, 0x34, 0xFC});
    if (model_.asbCustomize == 1) cmd += Bytes({0x1D, 0x28, 0x42, 0x03, 0x00, 0x61, 0x46, 0x37});
    if (opts & printer::kElseAutoStatus) cmd += Bytes({0x1D, 0x61, 0xFF});
    if (opts & printer::kElseSecondStatus) cmd += Bytes({0x1D, 0x6A, 0x03});
    cmd += Bytes({0x1B, 0x61, 0x00});
    if (opts & printer::kElseMarginReset) cmd += Bytes({0x1D, 0x4C, 0x00, 0x00});
    if (model_.Present(printer::kSlip)) cmd += Bytes({0x1B, 0x66, 0x00, 0x0A});
    cmd += Bytes({0x1B, 0x21, 0x00});
    if (model_.DoubleByte()) cmd += Bytes({0x1C, 0x21, 0x00});
    if (opts & printer::kElseEjectDirection)
        cmd += (settings_ & printer::kSetReverseFeedSlip) ? Bytes({0x1B, 0x46, 0x01})
                                                          : Bytes({0x1B, 0x46, 0x00});

    bool waitStatus = (opts & printer::kElseAutoStatus) != 0;
    bool waitSecond = (opts & printer::kElseSecondStatus) != 0;
    ResetEvent(firstStatus_);
    ResetEvent(secondStatus_);
    Outcome sent = SendInternal(cmd, 1, (waitStatus || waitSecond) ? 1 : 0);
    if (!sent.ok()) return sent;
    if (waitStatus && WaitForSingleObjectWPM(firstStatus_, kFirstStatusWaitMs) != WAIT_OBJECT_0)
        return {OPOS_E_ILLEGAL, KAVRO_E_NOANSWER};
    if (waitSecond && WaitForSingleObjectWPM(secondStatus_, kFirstStatusWaitMs) != WAIT_OBJECT_0)
        return {OPOS_E_ILLEGAL, KAVRO_E_NOANSWER};
    if (syncType3InUse_) {
        Outcome o = SendInternal(
            selectPrinter_ + Bytes({0x1D, 0x28, 0x48, 0x03, 0x00, 0x31, 0x30, 0x01}), 17, 0);
        if (!o.ok()) return o;
        o = SendInternal(selectPrinter_ + Bytes({0x1D, 0x28, 0x4A, 0x02, 0x00, 0x01, 0x01, 0x1D,
                                                 0x28, 0x4A, 0x02, 0x00, 0x02, 0x01}),
                         17, 0);
        if (!o.ok()) return o;
    }
    return {};
}

CSoptrCtrl::Outcome CSoptrCtrl::RunStateChecks() {
    LONG extended = 0;
    LONG rc = shared_->CheckPrinterErrors(&extended);
    if (rc == OPOS_SUCCESS) rc = shared_->CheckStation(&extended, 0);
    return {rc, rc == OPOS_SUCCESS ? 0 : extended};
}

// The printer must be in its normal mode: 1D 49 04 answers 0.
CSoptrCtrl::Outcome CSoptrCtrl::RunModeCheck() {
    if (!(model_.capPtrElse & printer::kElseAutoStatus)) return {};
    modeAnswer_ = -1;
    ResetEvent(modeAnswered_);
    modeCheckPending_ = true;
    Outcome sent = SendInternal(selectPrinter_ + Bytes({0x1D, 0x49, 0x04}), 17, 0);
    bool answered =
        sent.ok() && WaitForSingleObjectWPM(modeAnswered_, kModeCheckWaitMs) == WAIT_OBJECT_0;
    modeCheckPending_ = false;
    if (!answered || modeAnswer_ != 0) return {OPOS_E_ILLEGAL, KAVRO_E_CONFIG};
    return {};
}

// The checks that follow the mode check. Those that need the printer's firmware version,
// type or code page answers (code page, code page 858, cutter, label paper, compatible
// mode) come with the full set-up; the ones a threshold of 0 or 255 decides run here.
CSoptrCtrl::Outcome CSoptrCtrl::RunModelChecks() {
    std::string& fonts = strings_[PIDXPtr_FontTypefaceList - PIDXPtr_FirstString];
    if (!fonts.empty() && ThresholdOf(model_.romIdBorder[4], 0) == Threshold::Off) fonts.clear();
    if (ThresholdOf(model_.romIdBorder[3], 0) == Threshold::Off) {
        caps_[PIDXPtr_CapSlpLeft90 - PIDXPtr_FirstCap] = 0;
        caps_[PIDXPtr_CapSlpRight90 - PIDXPtr_FirstCap] = 0;
    }
    if (ThresholdOf(model_.romIdBorder[3], 1) == Threshold::Off)
        caps_[PIDXPtr_CapSlpBarCode - PIDXPtr_FirstCap] = 0;
    return {};
}

// Discards the output, unregisters from the driver until it no longer knows this object
// (bounded), and gives the claim up. PD_E_NOTOPEN when done, else the driver's last code.
LONG CSoptrCtrl::ClosePort() {
    port_->ClearOutputBuffer(this, TRUE);
    const DWORD start = GetTickCount();
    LONG r = PD_OK;
    for (;;) {
        r = port_->PortClose(this);
        if (r == PD_E_NOTOPEN) break;
        if (GetTickCount() - start >= kPortCloseBoundMs) return r;
        if (r != PD_OK) SleepWPM(kClaimPollMs);
    }
    portOpen_ = false;
    shared_->ClearPrinterClaimed();
    app_.ReleasePrinterClaim(m_nPortIndex);
    return PD_E_NOTOPEN;
}

LONG CSoptrCtrl::ReleaseDevice() {
    plat::CSingleLock lock(m_csObject);
    if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
    if (m_lClaimed < 1) return SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOTCLAIMED);
    if (--m_lClaimed == 0 && !ReleaseDeviceNow()) {
        m_lClaimed = 1;
        return SetResult(OPOS_E_FAILURE, KAVRO_E_CLOSEBUSY);
    }
    return SetResult(OPOS_SUCCESS);
}

// Stops the output, sends the final reset and closes the port. False when the port close
// loop gave up (the object stays registered; a later Release or Close tries again).
bool CSoptrCtrl::ReleaseDeviceNow() {
    m_Events.RemoveAll(0);
    queue_.Clear();
    StopOutputThread();
    SleepWPM(kReleaseSettleMs);
    SendFinalReset();
    SetState(OPOS_S_IDLE);
    bool closed = ClosePort() == PD_E_NOTOPEN;
    m_bDeviceEnabled = FALSE;
    m_lPowerState = OPOS_PS_UNKNOWN;
    printerInitialised_ = false;
    // Events the input path queued while the reset went out are stale now.
    if (closed) m_Events.RemoveAll(0);
    return closed;
}

void CSoptrCtrl::SendFinalReset() {
    if (SlipRecoveryDue()) {
        SendInternal(selectPrinter_ + Bytes({0x10, 0x05, 0x03}), 17, 0);
        SleepWPM(kResetSettleMs);
    } else if ((model_.capPtrElse & printer::kElseLedBlink) &&
               (settings_ & printer::kSetLedBlink)) {
        SendInternal(selectPrinter_ + Bytes({0x1D, 0x73, 0x00, 0x00, 0x00}), 17, 0);
    }
    std::string reset = selectPrinter_;
    for (int s = 0; s < printer::kStationCount; ++s) {
        if (!model_.Present(s)) continue;
        reset += stationSelect_[s][1];
        reset += Bytes({0x1B, 0x33, static_cast<int>(lineSpacingDots_[s] & 0xFF)});
    }
    SendInternal(reset, 17, 0);
    SleepWPM(kResetSettleMs);
}

// The slip operations mark when a form was left selected; the recovery command at Release
// puts the printer back on its rolls.
bool CSoptrCtrl::SlipRecoveryDue() const {
    return slipRecoveryDue_;
}

// After a power loss: the initialisation again (without 1B 40).
CSoptrCtrl::Outcome CSoptrCtrl::SetUpAgain() {
    Outcome o = SendInitialisation(true);
    if (!o.ok()) {
        // Waiters of the first status and the mode check must not hang on a dead printer.
        shared_->SignalStatusBack();
        SetEvent(firstStatus_);
        SetEvent(modeAnswered_);
        return o;
    }
    printerInitialised_ = true;
    powerRecovery_ = false;
    return {};
}

// Internal synchronous jobs (set-up, reset and recovery commands) and the output thread.
#include <algorithm>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "platform/clock/clock.h"
#include "ports/portdrv.h"
#include "printer/frame/app.h"
#include "printer/ptr/soptr.h"

// Sends one job and waits, dispatching window messages, until the port has written it,
// reported it undeliverable, or the transmission budget has passed (which counts as
// written). Each job has its own completion tag, so a late completion of an earlier job
// cannot end the wait of the next one.
CSoptrCtrl::Outcome CSoptrCtrl::SendInternal(const std::string& bytes, int kind,
                                             int completionFlags) {
    if (!portOpen_) return {OPOS_E_ILLEGAL, PD_E_NOTOPEN};
    LONG tag = nextTag_ <= -0x7FFFFFF0 ? -1 : nextTag_ - 1;
    nextTag_ = tag;
    outputComplete_ = false;
    portError_ = false;
    ResetEvent(jobDone_);
    jobTag_ = tag;
    const int priority = kind & 1;
    const int flowMode = (kind & 16) ? 0 : 1;
    LONG r = port_->PortOutputData(bytes, tag, this, priority, flowMode, tag, completionFlags & 1);
    if (r != PD_OK) {
        jobTag_ = 0;
        return {OPOS_E_ILLEGAL, r};
    }
    const uint64_t len = bytes.size();
    const DWORD budget =
        outputBuf_ > 64
            ? static_cast<DWORD>(
                  len * 24000 / std::min<DWORD>(std::max<DWORD>(lineSpeed_, 1), 38400) + 15000)
            : static_cast<DWORD>(len * 50 + 5000);
    const DWORD start = GetTickCount();
    Outcome result;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (outputComplete_) break;
        if (portError_) {
            // Internal jobs run no state checks while they wait: after the error rounds
            // the job has failed.
            SleepWPM(kErrorWaitRounds * kErrorWaitRoundMs);
            result = {OPOS_E_ILLEGAL, KAVRO_E_NOTCOMPLETED};
            break;
        }
        if (elapsed >= budget) break;  // counts as transmitted
        WaitForSingleObjectWPM(jobDone_, budget - elapsed);
    }
    jobTag_ = 0;
    return result;
}

void CSoptrCtrl::OutputDataComplete(LONG completionTag) {
    if (completionTag != 0 && completionTag == jobTag_) {
        outputComplete_ = true;
        SetEvent(jobDone_);
    }
}

void CSoptrCtrl::PortError(LONG errorTag) {
    if (errorTag != 0 && errorTag == jobTag_) {
        portError_ = true;
        SetEvent(jobDone_);
    }
}

// --- Output thread: one per claim. It sends the queued print jobs (with the printing
// parts) and reports the idle moments. ---

void CSoptrCtrl::StartOutputThread() {
    if (outputThread_) return;
    ResetEvent(outputStop_);
    outputThread_ = CreateThread([this]() -> DWORD { return OutputThreadProc(); });
}

void CSoptrCtrl::StopOutputThread() {
    if (!outputThread_) return;
    SetEvent(outputStop_);
    // The thread's waits are bounded, so it ends within one round; a failed wait (a bad
    // handle) ends the loop instead of spinning.
    DWORD r;
    do {
        SetEvent(outputWake_);
        r = WaitForSingleObjectWPM(outputThread_, kOutputThreadWaitMs);
    } while (r == WAIT_TIMEOUT);
    CloseHandle(outputThread_);
    outputThread_ = nullptr;
}

void CSoptrCtrl::WakeOutputThread() {
    SetEvent(outputWake_);
}

DWORD CSoptrCtrl::OutputThreadProc() {
    Sleep(10);
    HANDLE waits[2] = {outputStop_, outputWake_};
    while (WaitForSingleObject(outputStop_, 0) != WAIT_OBJECT_0) {
        if (queue_.Count() == 0) {
            // Only BUSY becomes IDLE: a state the control thread set meanwhile stays.
            LONG busy = OPOS_S_BUSY;
            if (m_lState.compare_exchange_strong(busy, OPOS_S_IDLE) && portOpen_)
                app_.SetPrinterBusy(m_nPortIndex, false);
            if (m_lState == OPOS_S_IDLE && Number(PIDXPtr_FlagWhenIdle) &&
                !idleReported_.exchange(true))
                QueueStatus(PTR_SUE_IDLE);
            WaitForMultipleObjects(2, waits, FALSE, kOutputThreadWaitMs);
            continue;
        }
        // Queued jobs are sent by the asynchronous printing path; until it exists the
        // queue never fills.
        WaitForMultipleObjects(2, waits, FALSE, kOutputThreadWaitMs);
    }
    return 0;
}

// Bytes from the printer (on the driver's thread): automatic status records become the
// shared port's status and status events; real-time replies go to the shared port; the
// mode-check answer and the power strings go to their waiters.
#include "include/opos.h"
#include "printer/ptr/soptr.h"
#include "printer/shared/response_splitter.h"
#include "printer/shared/shared_port.h"
#include "printer/shared/slip_sensor.h"

namespace {

bool Bit(BYTE b, int n) {
    return (b >> n) & 1;
}

}  // namespace

void CSoptrCtrl::DataUpdate(const BYTE* data, LONG length) {
    if (!data || length <= 0) return;
    SplitFrames frames;
    splitter_->Split(data, length, &frames);
    for (size_t i = 0; i + 4 <= frames.statusBack.size(); i += 4)
        HandleStatusRecord(reinterpret_cast<const BYTE*>(frames.statusBack.data()) + i);
    if (!frames.statusBack.empty()) shared_->SignalStatusBack();
    if (!frames.frame5.empty()) {
        shared_->SignalExtendedStatus();
        SetEvent(secondStatus_);
    }
    for (size_t pos = 0; pos < frames.frameSemicolon.size();) {
        size_t end = frames.frameSemicolon.find('\0', pos);
        if (end == std::string::npos) end = frames.frameSemicolon.size();
        HandlePowerString(frames.frameSemicolon.substr(pos, end - pos));
        pos = end + 1;
    }
    for (char c : frames.other) HandleSingleByte(static_cast<BYTE>(c));
}

// One four-byte automatic status record.
void CSoptrCtrl::HandleStatusRecord(const BYTE* rec) {
    SharedPortStatus now;
    now.drawerPin = Bit(rec[0], 2);
    now.online = !Bit(rec[0], 3);
    now.coverOpen = Bit(rec[0], 5);
    now.feeding = Bit(rec[0], 6);
    now.mechanicalError = Bit(rec[1], 2);
    now.cutterError = Bit(rec[1], 3);
    now.unrecoverableError = Bit(rec[1], 5);
    now.recoverableError = Bit(rec[1], 6);
    now.journalNearEnd = Bit(rec[2], 0);
    now.receiptNearEnd = Bit(rec[2], 1);
    now.journalEmpty = Bit(rec[2], 2);
    now.receiptEmpty = Bit(rec[2], 3);

    std::lock_guard<std::mutex> g(statusLock_);
    SharedPortStatus before = shared_->Status();
    const bool baseline = !firstRecordSeen_.exchange(true);
    // The slip sensors: the full slip's set (A) or the validation slip's (B).
    SlipSensorState* slip = Cap(PIDXPtr_CapSlpPresent) ? slip_.get() : nullptr;
    bool slipEmptyBefore = slip && slip->SlipEmpty();
    bool slipNearBefore = slip && slip->SlipNearEnd();
    if (slip)
        slip->UpdateFromStatus(std::string(reinterpret_cast<const char*>(rec), 4),
                               Cap(PIDXPtr_CapSlpFullslip) != 0);

    if (!baseline) {
        if (Cap(PIDXPtr_CapCoverSensor) && now.coverOpen != before.coverOpen) {
            SetNumber(PIDXPtr_CoverOpen, now.coverOpen);
            QueueStatus(now.coverOpen ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
        }
        struct Roll {
            LONG nearCap, emptyCap, ok, nearEmpty, empty;
            bool nearBefore, emptyBefore, nearNow, emptyNow;
        } rolls[] = {
            {PIDXPtr_CapJrnNearEndSensor, PIDXPtr_CapJrnEmptySensor, PTR_SUE_JRN_PAPEROK,
             PTR_SUE_JRN_NEAREMPTY, PTR_SUE_JRN_EMPTY, before.journalNearEnd, before.journalEmpty,
             now.journalNearEnd, now.journalEmpty},
            {PIDXPtr_CapRecNearEndSensor, PIDXPtr_CapRecEmptySensor, PTR_SUE_REC_PAPEROK,
             PTR_SUE_REC_NEAREMPTY, PTR_SUE_REC_EMPTY, before.receiptNearEnd, before.receiptEmpty,
             now.receiptNearEnd, now.receiptEmpty},
        };
        for (const Roll& r : rolls) {
            bool nearCap = Cap(r.nearCap) != 0, emptyCap = Cap(r.emptyCap) != 0;
            if (!nearCap && !emptyCap) continue;
            if ((r.nearBefore || r.emptyBefore) && !r.nearNow && !r.emptyNow) QueueStatus(r.ok);
            if (nearCap && r.nearNow && !r.emptyNow && !r.nearBefore && !r.emptyBefore)
                QueueStatus(r.nearEmpty);
            if (emptyCap && r.emptyNow && !r.emptyBefore) QueueStatus(r.empty);
        }
        if (slip) {
            bool nearCap = Cap(PIDXPtr_CapSlpNearEndSensor) != 0;
            bool emptyCap = Cap(PIDXPtr_CapSlpEmptySensor) != 0;
            bool emptyNow = slip->SlipEmpty(), nearNow = slip->SlipNearEnd();
            if ((nearCap || emptyCap) && !emptyNow && slipEmptyBefore)
                QueueStatus(PTR_SUE_SLP_PAPEROK);
            if (nearCap && nearNow && !slipNearBefore) QueueStatus(PTR_SUE_SLP_NEAREMPTY);
            if (emptyCap && emptyNow && !slipEmptyBefore) QueueStatus(PTR_SUE_SLP_EMPTY);
        }
    }
    shared_->StoreStatus(now);
    SetEvent(firstStatus_);

    if (Cap(PIDXPtr_CapCoverSensor)) SetNumber(PIDXPtr_CoverOpen, now.coverOpen);
    if (Cap(PIDXPtr_CapJrnEmptySensor)) SetNumber(PIDXPtr_JrnEmpty, now.journalEmpty);
    if (Cap(PIDXPtr_CapJrnNearEndSensor))
        SetNumber(PIDXPtr_JrnNearEnd, now.journalNearEnd && !now.journalEmpty);
    if (Cap(PIDXPtr_CapRecEmptySensor)) SetNumber(PIDXPtr_RecEmpty, now.receiptEmpty);
    if (Cap(PIDXPtr_CapRecNearEndSensor))
        SetNumber(PIDXPtr_RecNearEnd, now.receiptNearEnd && !now.receiptEmpty);
    if (slip) {
        if (Cap(PIDXPtr_CapSlpEmptySensor)) SetNumber(PIDXPtr_SlpEmpty, slip->SlipEmpty());
        if (Cap(PIDXPtr_CapSlpNearEndSensor)) SetNumber(PIDXPtr_SlpNearEnd, slip->SlipNearEnd());
    }

    // An unrecoverable error needs the printer set up again; its output is void.
    if (now.unrecoverableError && !powerRecovery_.exchange(true))
        PostMessage(m_hWnd, WM_PTR_POWER_OFF, 0, 0);
}

void CSoptrCtrl::HandleSingleByte(BYTE b) {
    if (modeCheckPending_) {
        modeAnswer_ = b;
        modeCheckPending_ = false;
        SetEvent(modeAnswered_);
        return;
    }
    if ((b & 0x93) == 0x12) shared_->PostStatusReply(b);
    // Completion answers and the other unsolicited bytes belong to printing.
}

// ";0": the printer was switched off; ";1": it is on again. Either way it must be set up
// again.
void CSoptrCtrl::HandlePowerString(const std::string& frame) {
    if (frame.size() < 2) return;
    if (frame[1] == '0') {
        powerRecovery_ = true;
        PostMessage(m_hWnd, WM_PTR_POWER_OFF, 0, 0);
    } else if (frame[1] == '1') {
        powerRecovery_ = true;
        PostMessage(m_hWnd, WM_PTR_POWER_ONLINE, 0, 0);
    }
}

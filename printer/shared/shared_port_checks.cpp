// SharedPort: the real-time status requests and the pre-output checks.
#include <string>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "include/opos_ptr.h"
#include "platform/clock/clock.h"
#include "ports/portdrv.h"
#include "printer/shared/shared_port.h"

namespace {

bool Bit(BYTE b, int n) {
    return ((b >> n) & 1) != 0;
}

LONG Result(LONG* extended, LONG rc, LONG ext) {
    if (extended) *extended = ext;
    return rc;
}

bool IncludesSlip(LONG station) {
    switch (station) {
        case PTR_S_SLIP:
        case PTR_S_JOURNAL_SLIP:
        case PTR_S_RECEIPT_SLIP:
        case PTR_TWO_SLIP_JOURNAL:
        case PTR_TWO_SLIP_RECEIPT:
            return true;
        default:
            return false;
    }
}

}  // namespace

void SharedPort::PostStatusReply(BYTE reply) {
    if ((reply & 0x93) != 0x12) return;
    lastReply_ = reply;
    auto lk = plat::LockWaitHub();
    const uint64_t now = GetTickCount64();
    if (dropLateReply_) {
        dropLateReply_ = false;
        if (now <= dropLateUntil_) return;  // the late answer of a timed-out request
    }
    if (replySeen_) return;  // replies come in order: the first one not yet taken answers
    replySeen_ = true;
    replyByte_ = reply;
    replyAt_ = now;
    plat::NotifyAllLocked();
}

bool SharedPort::Exchange(BYTE n, DWORD waitMs, BYTE* reply) {
    if (!driver_) return false;
    std::string request;
    if (!micrMode_) request = "\x1B\x3D\x01";
    request += "\x10\x04";
    request += static_cast<char>(n);

    uint64_t deadline;
    {
        auto lk = plat::LockWaitHub();
        replySeen_ = false;
        deadline = GetTickCount64() + waitMs;
    }
    // Error tag -1, anonymous, priority, no flow control, no completion, await the reply.
    if (driver_->PortOutputData(request.data(), request.size(), -1, nullptr, 1, 0, -1, 1) != PD_OK)
        return false;

    auto lk = plat::LockWaitHub();
    plat::WaitHubUntil(lk, deadline, [this] { return replySeen_; });
    if (replySeen_ && replyAt_ <= deadline) {
        *reply = replyByte_;
        return true;
    }
    if (replySeen_) {
        // It came after the deadline: it was this request's late answer; nothing is owed.
        replySeen_ = false;
    } else {
        dropLateReply_ = true;
        dropLateUntil_ = deadline + kLateReplyMs;
    }
    return false;
}

int SharedPort::QueryErrorStatus() {
    std::lock_guard<std::mutex> q(queryLock_);
    BYTE r = 0;
    if (!Exchange(3, kErrorStatusWaitMs, &r)) return -1;
    std::lock_guard<std::mutex> g(statusLock_);
    status_.mechanicalError = Bit(r, 2);
    status_.cutterError = Bit(r, 3);
    status_.unrecoverableError = Bit(r, 5);
    status_.recoverableError = Bit(r, 6);
    return 0;
}

int SharedPort::QueryFullStatus() {
    std::lock_guard<std::mutex> q(queryLock_);
    const SharedPortCaps caps = Caps();
    BYTE r = 0;

    if (!Exchange(1, kFullStatusWaitMs, &r)) return -1;
    {
        std::lock_guard<std::mutex> g(statusLock_);
        status_.online = !Bit(r, 3);
    }
    if (!Exchange(2, kFullStatusWaitMs, &r)) return -1;
    {
        std::lock_guard<std::mutex> g(statusLock_);
        status_.feeding = Bit(r, 3);
        status_.coverOpen = Bit(r, 2);
    }
    if (caps.jrn || caps.rec) {
        if (!Exchange(4, kFullStatusWaitMs, &r)) return -1;
        std::lock_guard<std::mutex> g(statusLock_);
        status_.journalNearEnd = Bit(r, 2);
        status_.receiptNearEnd = Bit(r, 3);
        status_.journalEmpty = Bit(r, 5);
        status_.receiptEmpty = Bit(r, 6);
    }
    if (caps.slp) {
        if (!Exchange(caps.slpFullslip ? 5 : 6, kFullStatusWaitMs, &r)) return -1;
        const BYTE inv = static_cast<BYTE>(~r);  // the slip reply is active-low
        std::lock_guard<std::mutex> g(statusLock_);
        status_.slipSensor5 = Bit(inv, 5);
        status_.slipSensor6 = Bit(inv, 6);
        status_.slipMode = Bit(inv, 2);
        if (!caps.jrn && !caps.rec)
            status_.slipFormPresent = Bit(inv, 5);
        else
            status_.slipFormPresent = Bit(inv, 2) && Bit(inv, 3);
    }
    std::lock_guard<std::mutex> g(statusLock_);
    status_.statusValid = true;
    return 0;
}

LONG SharedPort::CheckPrinterErrors(LONG* extended) {
    std::lock_guard<std::mutex> c(checkLock_);
    if (!Caps().autoStatus || !printerClaimed_) return Result(extended, OPOS_SUCCESS, 0);
    if (!StatusBackSignalled() && QueryErrorStatus() != 0)
        return Result(extended, OPOS_E_ILLEGAL, KAVRO_E_NOANSWER);

    const SharedPortStatus s = Status();
    if (s.unrecoverableError) return Result(extended, OPOS_E_FAILURE, KAVRO_E_UNRECOVERABLE);
    if (s.mechanicalError) return Result(extended, OPOS_E_FAILURE, KAVRO_E_MECHANICAL);
    if (s.cutterError) return Result(extended, OPOS_E_FAILURE, KAVRO_E_CUTTER);
    if (s.recoverableError && !s.coverOpen)
        return Result(extended, OPOS_E_FAILURE, KAVRO_E_OVERHEAT);
    return Result(extended, OPOS_SUCCESS, 0);
}

LONG SharedPort::CheckStation(LONG* extended, LONG station) {
    std::lock_guard<std::mutex> c(checkLock_);
    if (!Caps().autoStatus || !printerClaimed_) return Result(extended, OPOS_SUCCESS, 0);
    if (!StatusBackSignalled() && QueryFullStatus() != 0)
        return Result(extended, OPOS_E_ILLEGAL, KAVRO_E_NOANSWER);

    const Snapshot snap = Take();
    const SharedPortCaps& caps = snap.caps;
    const SharedPortStatus& s = snap.status;
    const bool micr = micrMode_;

    if (station == kNoStation) {
        if (s.online) return Result(extended, OPOS_SUCCESS, 0);
        LONG ext = 0;
        if (s.coverOpen)
            ext = OPOS_EPTR_COVER_OPEN;
        else if (s.journalEmpty && caps.jrn)
            ext = OPOS_EPTR_JRN_EMPTY;
        else if (s.receiptEmpty && caps.rec)
            ext = OPOS_EPTR_REC_EMPTY;
        return Result(extended, OPOS_E_OFFLINE, ext);
    }

    if (s.coverOpen) return Result(extended, OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN);
    if (s.journalEmpty && caps.jrn) return Result(extended, OPOS_E_EXTENDED, OPOS_EPTR_JRN_EMPTY);
    if (s.receiptEmpty && caps.rec) return Result(extended, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY);
    if (!s.online) return Result(extended, OPOS_E_OFFLINE, 0);
    if (s.feeding) return Result(extended, OPOS_E_FAILURE, 0);

    if (IncludesSlip(station)) {
        if (!s.slipMode) return Result(extended, OPOS_E_ILLEGAL, KAVRO_E_WRONGMODE);
        if (!s.slipFormPresent && caps.slpEmptySensor)
            return Result(extended, OPOS_E_EXTENDED, OPOS_EPTR_SLP_EMPTY);
        if (micr) return Result(extended, OPOS_E_FAILURE, KAVRO_E_MICRMODE);
    } else if (station == kMicrPath) {
        if (micr) return Result(extended, OPOS_E_FAILURE, KAVRO_E_MICRMODE);
    } else if (station != 0) {
        if (s.slipMode) return Result(extended, OPOS_E_ILLEGAL, KAVRO_E_WRONGMODE);
        if (micr) return Result(extended, OPOS_E_FAILURE, KAVRO_E_MICRMODE);
    }
    return Result(extended, OPOS_SUCCESS, 0);
}

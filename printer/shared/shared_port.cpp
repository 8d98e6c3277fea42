// SharedPort: construction, reset, capabilities, claim flag and the status cache.
#include "printer/shared/shared_port.h"

#include "ports/portdrv.h"

SharedPort::SharedPort(std::unique_ptr<CPortDriver> driver)
    : statusBack_(CreateEvent(TRUE, FALSE)),
      extendedStatus_(CreateEvent(TRUE, FALSE)),
      micrWait_(CreateEvent(TRUE, FALSE)) {
    Reset();
    micrMode_ = false;
    driver_ = std::move(driver);
}

// The driver goes first: its threads may still call PostStatusReply until it is gone.
SharedPort::~SharedPort() {
    driver_.reset();
}

void SharedPort::Reset() {
    ResetEvent(statusBack_.get());
    {
        std::lock_guard<std::mutex> g(statusLock_);
        SharedPortCaps caps;
        caps.slp = caps_.slp;
        caps.slpFullslip = caps_.slpFullslip;
        caps_ = caps;
        status_ = SharedPortStatus{};
    }
    romVersionId_ = 0;
    typeId_ = 0;
    printerClaimed_ = false;
}

void SharedPort::SetStationCaps(BOOL autoStatus, BOOL jrn, BOOL rec, BOOL slp, BOOL slpEmptySensor,
                                BOOL slpFullslip) {
    std::lock_guard<std::mutex> g(statusLock_);
    caps_.autoStatus = autoStatus != FALSE;
    caps_.jrn = jrn != FALSE;
    caps_.rec = rec != FALSE;
    caps_.slp = slp != FALSE;
    caps_.slpEmptySensor = slpEmptySensor != FALSE;
    caps_.slpFullslip = slpFullslip != FALSE;
}

SharedPortCaps SharedPort::Caps() const {
    std::lock_guard<std::mutex> g(statusLock_);
    return caps_;
}

void SharedPort::SetPrinterClaimed() {
    printerClaimed_ = true;
}

void SharedPort::ClearPrinterClaimed() {
    printerClaimed_ = false;
    std::lock_guard<std::mutex> g(statusLock_);
    status_.drawerPin = -1;
}

SharedPortStatus SharedPort::Status() const {
    std::lock_guard<std::mutex> g(statusLock_);
    return status_;
}

SharedPort::Snapshot SharedPort::Take() const {
    std::lock_guard<std::mutex> g(statusLock_);
    return {caps_, status_};
}

void SharedPort::StoreStatus(const SharedPortStatus& st) {
    std::lock_guard<std::mutex> g(statusLock_);
    SharedPortStatus& s = status_;
    s.online = st.online;
    s.feeding = st.feeding;
    s.coverOpen = st.coverOpen;
    s.mechanicalError = st.mechanicalError;
    s.cutterError = st.cutterError;
    s.unrecoverableError = st.unrecoverableError;
    s.recoverableError = st.recoverableError;
    s.journalNearEnd = st.journalNearEnd;
    s.receiptNearEnd = st.receiptNearEnd;
    s.journalEmpty = st.journalEmpty;
    s.receiptEmpty = st.receiptEmpty;
    s.drawerPin = st.drawerPin;
}

void SharedPort::StoreSlipStatus(bool sensor5, bool sensor6, bool slipMode, bool formPresent) {
    std::lock_guard<std::mutex> g(statusLock_);
    status_.slipSensor5 = sensor5;
    status_.slipSensor6 = sensor6;
    status_.slipMode = slipMode;
    status_.slipFormPresent = formPresent;
}

void SharedPort::StoreCartridgeStatus(const bool cartridge[4]) {
    std::lock_guard<std::mutex> g(statusLock_);
    for (int i = 0; i < 4; ++i) status_.cartridge[i] = cartridge[i];
}

void SharedPort::SignalStatusBack() {
    SetEvent(statusBack_.get());
}

bool SharedPort::StatusBackSignalled() const {
    return WaitForSingleObject(statusBack_.get(), 0) == WAIT_OBJECT_0;
}

void SharedPort::SignalExtendedStatus() {
    SetEvent(extendedStatus_.get());
}

// The shared port: one per port index and process. It owns the port's driver object,
// caches the printer's status, asks the printer for its real-time status (10 04 n) and
// answers the pre-output checks that the printer, drawer, MICR and display services run.
//
// Threads: service calling threads run the checks and the setters; the driver's reader
// thread calls PostStatusReply and StoreStatus/Signal* (through the printer service).
// Lock order: a service's object lock, then the check lock, then the query lock. The
// status cache has its own short lock (never held across a wait or a driver call); a
// check decides on one snapshot of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/sync/sync.h"
#include "platform/wintypes.h"

class CPortDriver;

// Stations that are not printer stations: the drawer, MICR and display services pass
// kNoStation; the printer passes kMicrPath for the MICR path.
constexpr LONG kNoStation = -2;
constexpr LONG kMicrPath = -1;

// The printer's status as the shared port keeps it.
struct SharedPortStatus {
    bool online = true;
    bool feeding = false;  // paper fed by the FEED button
    bool coverOpen = false;
    bool mechanicalError = false;
    bool cutterError = false;
    bool unrecoverableError = false;
    bool recoverableError = false;  // automatically recoverable (overheat)
    bool journalNearEnd = false;
    bool receiptNearEnd = false;
    bool journalEmpty = false;
    bool receiptEmpty = false;
    bool slipSensor5 = false;  // slip status reply bits 5 and 6, inverted
    bool slipSensor6 = false;
    bool slipMode = false;  // the slip station is selected
    bool slipFormPresent = false;
    bool cartridge[4] = {};
    bool statusValid = false;  // a full status was taken since the last reset
    LONG drawerPin = -1;       // kick-out connector pin 3 level, -1 = unknown
};

// The printer's station layout, given by the printer service at its OpenService.
struct SharedPortCaps {
    bool autoStatus = false;  // false: both checks succeed without asking
    bool jrn = false;
    bool rec = false;
    bool slp = false;
    bool slpEmptySensor = false;
    bool slpFullslip = false;
};

class SharedPort {
  public:
    // Time-outs of the real-time status requests (process clock).
    static constexpr DWORD kErrorStatusWaitMs = 4000;
    static constexpr DWORD kFullStatusWaitMs = 5000;
    // After a request timed out, the first reply that arrives within this time of its
    // deadline is taken as that request's late answer and dropped.
    static constexpr DWORD kLateReplyMs = 50;

    // Takes ownership of `driver` (may be null only in tests that never send).
    explicit SharedPort(std::unique_ptr<CPortDriver> driver);
    virtual ~SharedPort();
    SharedPort(const SharedPort&) = delete;
    SharedPort& operator=(const SharedPort&) = delete;

    CPortDriver* PortDriver() const { return driver_.get(); }

    // Printer OpenService and Close: status-back event reset; online; autoStatus and the
    // caps except CapSlpPresent/CapSlpFullslip cleared; every cached flag, status valid,
    // ROM version and type ID cleared; drawer pin -1; printer not claimed. MICR mode and
    // the last reply byte stay.
    void Reset();
    void SetStationCaps(BOOL autoStatus, BOOL jrn, BOOL rec, BOOL slp, BOOL slpEmptySensor,
                        BOOL slpFullslip);
    SharedPortCaps Caps() const;

    void SetPrinterClaimed();
    void ClearPrinterClaimed();  // also: drawer pin level unknown
    bool PrinterClaimed() const { return printerClaimed_.load(); }

    // A real-time status reply (a byte with (b & 0x93) == 0x12; others are ignored).
    void PostStatusReply(BYTE reply);
    BYTE LastReply() const { return lastReply_.load(); }

    // Real-time queries; 0 done, -1 failed (refused block or no reply in time). The
    // fields stored by earlier steps of a failed series stay.
    int QueryErrorStatus();
    int QueryFullStatus();

    // Pre-output checks: the ResultCode, ResultCodeExtended through `extended`.
    // Services call CheckPrinterErrors first and CheckStation only when it returned 0.
    LONG CheckPrinterErrors(LONG* extended);
    LONG CheckStation(LONG* extended, LONG station);

    // Status cache.
    SharedPortStatus Status() const;
    // From an automatic status record: online, feeding, cover, the four errors, the four
    // roll paper flags and the drawer pin level. The other fields stay.
    void StoreStatus(const SharedPortStatus& st);
    void StoreSlipStatus(bool sensor5, bool sensor6, bool slipMode, bool formPresent);
    void StoreCartridgeStatus(const bool cartridge[4]);

    // Automatic status has arrived since the reset: the cache is current, and the checks
    // use it without asking. Stays set until the next Reset.
    void SignalStatusBack();
    bool StatusBackSignalled() const;
    HANDLE StatusBackEvent() const { return statusBack_.get(); }
    // A '5' frame arrived (printer service).
    void SignalExtendedStatus();
    HANDLE ExtendedStatusEvent() const { return extendedStatus_.get(); }
    // Set and reset by the MICR service.
    HANDLE MicrWaitEvent() const { return micrWait_.get(); }

    // MICR reading mode: written by the MICR service, read by all. Requests go without
    // the select-printer prefix while it is set.
    bool MicrMode() const { return micrMode_.load(); }
    void SetMicrMode(bool on) { micrMode_.store(on); }

    // The printer's ROM version and type answers, 0 = not yet known.
    DWORD RomVersionId() const { return romVersionId_.load(); }
    void SetRomVersionId(DWORD id) { romVersionId_.store(id); }
    DWORD TypeId() const { return typeId_.load(); }
    void SetTypeId(DWORD id) { typeId_.store(id); }

  private:
    struct Snapshot {
        SharedPortCaps caps;
        SharedPortStatus status;
    };
    Snapshot Take() const;
    // One request 10 04 n and its reply; caller holds queryLock_. False: refused or no
    // reply by the deadline.
    bool Exchange(BYTE n, DWORD waitMs, BYTE* reply);

    std::unique_ptr<CPortDriver> driver_;

    mutable std::mutex statusLock_;  // caps_ and status_
    SharedPortCaps caps_;
    SharedPortStatus status_;

    std::atomic<bool> printerClaimed_{false};
    std::atomic<bool> micrMode_{false};
    std::atomic<BYTE> lastReply_{0};
    std::atomic<DWORD> romVersionId_{0};
    std::atomic<DWORD> typeId_{0};

    std::mutex checkLock_;
    std::mutex queryLock_;

    // The reply "event": a flag under the platform's wait hub, so that a wait has an
    // absolute deadline on the process clock and a reply is judged by its arrival time.
    bool replySeen_ = false;      // hub-locked
    BYTE replyByte_ = 0;          // hub-locked
    uint64_t replyAt_ = 0;        // hub-locked: clock time of arrival
    bool dropLateReply_ = false;  // hub-locked
    uint64_t dropLateUntil_ = 0;  // hub-locked

    plat::Handle statusBack_;
    plat::Handle extendedStatus_;
    plat::Handle micrWait_;
};

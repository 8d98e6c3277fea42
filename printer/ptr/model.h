// The printer model as the device entry describes it: capability words, option bits,
// firmware thresholds, the initial number properties and the string lists. Read once at
// OpenService; a missing value reads as 0 (strings as empty) and switches its feature off.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "include/opos_ptr.h"
#include "platform/wintypes.h"

class CRegistryInfo;

namespace printer {

// "CapPtrElse" option bits used by the lifecycle.
constexpr DWORD kElseAutoStatus = 1u << 0;     // 1D 61 FF at initialisation, wait for status
constexpr DWORD kElseSecondStatus = 1u << 1;   // 1D 6A 03, second status stream
constexpr DWORD kElseMarginReset = 1u << 2;    // 1D 4C 00 00 in the restore string
constexpr DWORD kElseLedBlink = 1u << 4;       // LED blink option at Release
constexpr DWORD kElseCodePageQuery = 1u << 9;  // code page query at Claim
constexpr DWORD kElseSensorMode3 = 1u << 11;   // slip-sensor object mode 3
constexpr DWORD kElseConfigType1 = 1u << 17;   // configuration type 1
constexpr DWORD kElseEjectDirection = 1u << 18;
constexpr DWORD kElseConfigType2 = 1u << 19;  // configuration type 2 (when bit 17 is clear)

// "Settings" flags of the device entry.
constexpr DWORD kSetAssumeComplete = 1;
constexpr DWORD kSetErrorIndependent = 2;
constexpr DWORD kSetCompatibleMode = 4;
constexpr DWORD kSetReverseFeedSlip = 8;
constexpr DWORD kSetLedBlink = 16;

// The "INFVersion" a device entry must carry.
constexpr DWORD kInfVersion = 1008000;

// Station index in per-station arrays: journal 0, receipt 1, slip 2.
enum Station { kJournal = 0, kReceipt = 1, kSlip = 2 };
constexpr int kStationCount = 3;

struct PtrModel {
    // Capability store: PIDX 8501..8549 at index pidx - 8501.
    std::array<LONG, PIDXPtr_LastCap - PIDXPtr_FirstCap + 1> caps{};
    DWORD capPtrElse = 0;
    DWORD kindOfCutter = 0;
    DWORD syncType = 0;
    DWORD slipType = 0;  // modulo 16
    DWORD romIdBorder[5] = {};
    DWORD asbCustomize = 0;
    DWORD settings = 0;

    // Initial number properties (PIDX 8001..8036 at index pidx - 8001).
    std::array<LONG, PIDXPtr_LastNumber - PIDXPtr_FirstNumber + 1> numbers{};
    // String lists (PIDX 1008001..1008008 at index pidx - 1008001); ErrorString empty.
    std::array<std::string, PIDXPtr_LastString - PIDXPtr_FirstString + 1> strings{};

    // Per station: the first and second font's longest line, from its LineCharsList.
    LONG lineCharsMax[kStationCount][2] = {};

    LONG Cap(LONG pidx) const { return caps[pidx - PIDXPtr_FirstCap]; }
    bool Present(int station) const;
    int PresentCount() const;
    bool SlipFullslip() const { return Cap(PIDXPtr_CapSlpFullslip) != 0; }
    bool AutoStatus() const { return (capPtrElse & kElseAutoStatus) != 0; }
    bool DoubleByte() const { return Cap(PIDXPtr_CapCharacterSet) == 11; }
    // Configuration type 0, 1 or 2 ("CapPtrElse" bits 17 and 19).
    int ConfigType() const;
    // Slip-sensor mask of the status record: 3 with option bit 11, else 2 without a full
    // slip, else 1.
    LONG SlipSensorMode() const;
};

// Reads the model of the device entry that `reg` found.
PtrModel LoadModel(CRegistryInfo& reg);

// The numbers of a comma-separated list ("437,932"); entries that are not numbers are
// skipped, at most `limit` are taken.
std::vector<LONG> ParseNumberList(const std::string& list, size_t limit);

}  // namespace printer

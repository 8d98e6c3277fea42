// The printer's sensor and error state, and how it reads in the status bytes the printer
// sends: the four-byte automatic status frame and the one-byte real-time status replies.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

enum class Paper { kOk, kNearEnd, kEmpty };

// kAuto: offline while the cover is open, a roll is out of paper or an error is set;
// kOn / kOff force the online bit either way.
enum class OnlineMode { kAuto, kOn, kOff };

// Slip sensors of one sensor set, as true values (the status bytes carry them
// active-low). Set A is the full-slip station's, set B the other slip's.
struct SlipSensors {
    bool s0 = false, s1 = false, s2 = false, s3 = false;
    bool operator==(const SlipSensors&) const = default;
};

struct PrinterState {
    bool coverOpen = false;
    bool feeding = false;     // the FEED button is held
    bool drawerHigh = false;  // drawer kick-out connector pin 3
    OnlineMode online = OnlineMode::kAuto;
    Paper receipt = Paper::kOk;
    Paper journal = Paper::kOk;
    bool mechanicalError = false;
    bool autocutterError = false;
    bool unrecoverableError = false;
    bool autoRecoverableError = false;  // overheat; clears by itself on the real printer
    SlipSensors slipA, slipB;
    bool slipMode = false;  // the slip station is selected for printing

    bool AnyError() const {
        return mechanicalError || autocutterError || unrecoverableError || autoRecoverableError;
    }
    bool Offline() const;
};

// The automatic status frame:
//   byte 0: 0x10 | pin 3 << 2 | offline << 3 | cover open << 5 | feeding << 6
//   byte 1: mechanical << 2 | autocutter << 3 | unrecoverable << 5 | auto-recoverable << 6
//   byte 2: journal near end << 0 | receipt near end << 1 | journal empty << 2 |
//           receipt empty << 3 | !A1 << 5 | !A2 << 6
//   byte 3: !A0 << 0 | !A3 << 1 | !B0 << 2 | !B3 << 3 | !B1 << 5 | !B2 << 6
// A roll that is empty reads near end too (the near-end sensor sees no paper either).
std::string AutoStatusFrame(const PrinterState& state);

// The reply to the real-time status request 10 04 n for n = 1..6: 0x12 plus
//   n = 1: pin 3 << 2 | offline << 3
//   n = 2: cover open << 2 | feeding << 3
//   n = 3: mechanical << 2 | autocutter << 3 | unrecoverable << 5 | auto-recoverable << 6
//   n = 4: journal near end << 2 | receipt near end << 3 | journal empty << 5 |
//          receipt empty << 6
//   n = 5 (set A), 6 (set B), active-low: !slip mode << 2 | !(slip mode and form) << 3 |
//          !s1 << 5 | !s2 << 6, where a form is present when s1 or s2 is set.
// False for any other n (the printer does not answer).
bool RealTimeStatus(const PrinterState& state, int n, uint8_t* reply);

const char* PaperName(Paper paper);

}  // namespace sim

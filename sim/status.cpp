#include "sim/status.h"

namespace sim {

namespace {

constexpr uint8_t Bit(bool on, int bit) {
    return on ? static_cast<uint8_t>(1u << bit) : 0;
}

bool NearEnd(Paper p) {
    return p != Paper::kOk;
}
bool Empty(Paper p) {
    return p == Paper::kEmpty;
}

}  // namespace

bool PrinterState::Offline() const {
    switch (online) {
        case OnlineMode::kOn:
            return false;
        case OnlineMode::kOff:
            return true;
        case OnlineMode::kAuto:
            break;
    }
    return coverOpen || Empty(receipt) || Empty(journal) || AnyError();
}

std::string AutoStatusFrame(const PrinterState& s) {
    std::string f(4, '\0');
    f[0] = static_cast<char>(0x10 | Bit(s.drawerHigh, 2) | Bit(s.Offline(), 3) |
                             Bit(s.coverOpen, 5) | Bit(s.feeding, 6));
    f[1] = static_cast<char>(Bit(s.mechanicalError, 2) | Bit(s.autocutterError, 3) |
                             Bit(s.unrecoverableError, 5) | Bit(s.autoRecoverableError, 6));
    f[2] = static_cast<char>(Bit(NearEnd(s.journal), 0) | Bit(NearEnd(s.receipt), 1) |
                             Bit(Empty(s.journal), 2) | Bit(Empty(s.receipt), 3) |
                             Bit(!s.slipA.s1, 5) | Bit(!s.slipA.s2, 6));
    f[3] = static_cast<char>(Bit(!s.slipA.s0, 0) | Bit(!s.slipA.s3, 1) | Bit(!s.slipB.s0, 2) |
                             Bit(!s.slipB.s3, 3) | Bit(!s.slipB.s1, 5) | Bit(!s.slipB.s2, 6));
    return f;
}

bool RealTimeStatus(const PrinterState& s, int n, uint8_t* reply) {
    uint8_t r = 0x12;
    switch (n) {
        case 1:
            r |= Bit(s.drawerHigh, 2) | Bit(s.Offline(), 3);
            break;
        case 2:
            r |= Bit(s.coverOpen, 2) | Bit(s.feeding, 3);
            break;
        case 3:
            r |= Bit(s.mechanicalError, 2) | Bit(s.autocutterError, 3) |
                 Bit(s.unrecoverableError, 5) | Bit(s.autoRecoverableError, 6);
            break;
        case 4:
            r |= Bit(NearEnd(s.journal), 2) | Bit(NearEnd(s.receipt), 3) |
                 Bit(Empty(s.journal), 5) | Bit(Empty(s.receipt), 6);
            break;
        case 5:
        case 6: {
            const SlipSensors& set = n == 5 ? s.slipA : s.slipB;
            const bool form = set.s1 || set.s2;
            r |= Bit(!s.slipMode, 2) | Bit(!(s.slipMode && form), 3) | Bit(!set.s1, 5) |
                 Bit(!set.s2, 6);
            break;
        }
        default:
            return false;
    }
    *reply = r;
    return true;
}

const char* PaperName(Paper paper) {
    switch (paper) {
        case Paper::kOk:
            return "ok";
        case Paper::kNearEnd:
            return "near-end";
        case Paper::kEmpty:
            return "empty";
    }
    return "?";
}

}  // namespace sim

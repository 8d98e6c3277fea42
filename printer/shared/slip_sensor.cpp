#include "printer/shared/slip_sensor.h"

namespace {

bool Bit(char c, int n) {
    return ((static_cast<unsigned char>(c) >> n) & 1) != 0;
}

}  // namespace

SlipSensorState::SlipSensorState(LONG mask) : mask_(mask >= 1 && mask <= 3 ? mask : 1) {}

SlipSensorState::Sensors SlipSensorState::Read() const {
    std::lock_guard<std::mutex> g(lock_);
    return v_;
}

void SlipSensorState::UpdateFromStatus(const std::string& frame, BOOL useSetA) {
    if (frame.size() < 4) return;
    const char f2 = frame[2], f3 = frame[3];
    std::lock_guard<std::mutex> g(lock_);
    if (mask_ & 1) {
        v_.a[0] = !Bit(f3, 0);
        v_.a[1] = !Bit(f2, 5);
        v_.a[2] = !Bit(f2, 6);
        v_.a[3] = !Bit(f3, 1);
    }
    if (mask_ & 2) {
        v_.b[0] = !Bit(f3, 2);
        v_.b[1] = !Bit(f3, 5);
        v_.b[2] = !Bit(f3, 6);
        v_.b[3] = !Bit(f3, 3);
    }
    const bool* set = useSetA ? v_.a : v_.b;
    v_.s0 = set[0];
    v_.s1 = set[1];
    v_.s2 = set[2];
    v_.s3 = set[3];
    if (!v_.s0) v_.latch = true;
    if (HasExtraSensor()) v_.e = !Bit(f3, 6);
}

void SlipSensorState::SetLatch(BOOL latch) {
    std::lock_guard<std::mutex> g(lock_);
    v_.latch = latch != FALSE;
}

bool SlipSensorState::GetLatch() const {
    return Read().latch;
}

// ---- Base (type 0) ----
bool SlipSensorState::Sensor0() const {
    return Read().s0;
}
bool SlipSensorState::Sensor3() const {
    return Read().s3;
}
bool SlipSensorState::Inserted() const {
    Sensors v = Read();
    return !v.s0 && v.s1 && !v.s3;
}
bool SlipSensorState::Empty() const {
    Sensors v = Read();
    return v.s0 && !v.s1 && !v.s2 && !v.s3;
}
bool SlipSensorState::SlipEmpty() const {
    return !Read().s3;
}
bool SlipSensorState::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && !v.s1 && v.s2 && v.s3;
}
bool SlipSensorState::Removed() const {
    Sensors v = Read();
    return !v.s0 && !v.s2 && !v.s3;
}
bool SlipSensorState::Present() const {
    Sensors v = Read();
    return v.s1 || v.s2;
}
bool SlipSensorState::Test9() const {
    return !Read().s0;
}
bool SlipSensorState::Test10() const {
    Sensors v = Read();
    return v.s0 && v.s3;
}
bool SlipSensorState::Test11() const {
    return Read().s3;
}
bool SlipSensorState::Test12() const {
    return false;
}

// ---- Type 1, and the base of types 2 to 5 and 10 ----
bool SlipSensorState1::Inserted() const {
    Sensors v = Read();
    return !v.s0 && v.s1 && v.s2 && !v.s3;
}
bool SlipSensorState1::Empty() const {
    Sensors v = Read();
    return v.s0 && !(v.s1 && v.s2) && !v.s3;
}
bool SlipSensorState1::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && v.s1 && !v.s2 && v.s3;
}

// ---- Type 2 ----
bool SlipSensorState2::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && !v.s1 && v.s3;
}
bool SlipSensorState2::Present() const {
    Sensors v = Read();
    return v.s1 || v.s2 || v.s3;
}

// ---- Type 3: presence from both sensor sets ----
bool SlipSensorState3::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && !v.s1 && v.s3;
}
bool SlipSensorState3::Present() const {
    Sensors v = Read();
    return v.a[1] || v.a[2] || v.b[1] || v.b[2];
}
bool SlipSensorState3::Test10() const {
    return Read().s0;
}

// ---- Type 4: extra sensor e and the latch ----
bool SlipSensorState4::SlipNearEnd() const {
    Sensors v = Read();
    return v.latch ? (v.s0 && !v.s1 && v.s3) : (v.s0 && v.s3 && !v.e);
}
bool SlipSensorState4::Present() const {
    Sensors v = Read();
    return v.s1 || v.s2 || v.e;
}
bool SlipSensorState4::Test12() const {
    Sensors v = Read();
    return v.s0 && !(!v.s1 && v.s2);
}

// ---- Type 5 ----
bool SlipSensorState5::Empty() const {
    return SlipSensorState::Empty();
}
bool SlipSensorState5::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && !v.s1 && !v.s2 && v.s3;
}

// ---- Type 10 ----
bool SlipSensorState10::Inserted() const {
    Sensors v = Read();
    return v.s1 && v.s2 && !v.s3;
}
bool SlipSensorState10::Empty() const {
    return false;
}
bool SlipSensorState10::SlipNearEnd() const {
    Sensors v = Read();
    return v.s0 && v.s1 && !v.s2 && v.s3;
}
bool SlipSensorState10::Removed() const {
    Sensors v = Read();
    return !v.s2 && !v.s3;
}
bool SlipSensorState10::Test9() const {
    return !Read().s3;
}

// ---- Type 11 ----
bool SlipSensorState11::Inserted() const {
    Sensors v = Read();
    return v.s1 && v.s2;
}
bool SlipSensorState11::Removed() const {
    return !Read().s2;
}
bool SlipSensorState11::Test9() const {
    return true;
}
bool SlipSensorState11::Test11() const {
    return false;
}

std::unique_ptr<SlipSensorState> CreateSlipSensorState(LONG slipType, LONG mask) {
    switch (slipType) {
        case 1:
            return std::make_unique<SlipSensorState1>(mask);
        case 2:
            return std::make_unique<SlipSensorState2>(mask);
        case 3:
            return std::make_unique<SlipSensorState3>(mask);
        case 4:
            return std::make_unique<SlipSensorState4>(mask);
        case 5:
            return std::make_unique<SlipSensorState5>(mask);
        case 10:
            return std::make_unique<SlipSensorState10>(mask);
        case 11:
            return std::make_unique<SlipSensorState11>(mask);
        default:
            return std::make_unique<SlipSensorState>(mask);
    }
}

std::unique_ptr<SlipSensorState> CreateMicrSlipSensorState(LONG slipType) {
    return CreateSlipSensorState(slipType == 5 ? 0 : slipType, 1);
}

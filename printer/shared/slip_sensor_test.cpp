#include "printer/shared/slip_sensor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const LONG kTypes[] = {0, 1, 2, 3, 4, 5, 10, 11};

// A status record whose set A (mask 1) reads s0..s3 from combination i
// (bit 0 = s0 ... bit 3 = s3). The sensors are active-low. extra: type 4's e.
std::string RecordForSetA(int i, bool extra = false) {
    const bool s0 = i & 1, s1 = i & 2, s2 = i & 4, s3 = i & 8;
    unsigned char f2 = 0, f3 = 0;
    if (!s1) f2 |= 0x20;
    if (!s2) f2 |= 0x40;
    if (!s0) f3 |= 0x01;
    if (!s3) f3 |= 0x02;
    if (!extra) f3 |= 0x40;
    return std::string{'\x10', '\x00', static_cast<char>(f2), static_cast<char>(f3)};
}

struct Probe : SlipSensorState {
    using SlipSensorState::SlipSensorState;
    std::string Sensors() const {
        auto v = Read();
        return std::string{v.s0 ? '1' : '0', v.s1 ? '1' : '0', v.s2 ? '1' : '0', v.s3 ? '1' : '0'};
    }
};

TEST(SlipSensorUpdate, MaskChoosesTheSetsThatAreFilled) {
    // Set A reads 1011 (s0..s3), set B reads 0110.
    //   A: f3 bit 0 = !1, f2 bit 5 = !0, f2 bit 6 = !1, f3 bit 1 = !1
    //   B: f3 bit 2 = !0, f3 bit 5 = !1, f3 bit 6 = !1, f3 bit 3 = !0
    const std::string rec{'\x10', '\x00', '\x20', '\x0C'};
    struct Case {
        LONG mask;
        BOOL useSetA;
        const char* sensors;
    } cases[] = {
        {1, TRUE, "1011"},  {1, FALSE, "0000"}, {2, TRUE, "0000"},
        {2, FALSE, "0110"}, {3, TRUE, "1011"},  {3, FALSE, "0110"},
    };
    for (const Case& c : cases) {
        Probe p(c.mask);
        p.UpdateFromStatus(rec, c.useSetA);
        EXPECT_EQ(p.Sensors(), c.sensors) << "mask " << c.mask << " useSetA " << c.useSetA;
    }
}

TEST(SlipSensorUpdate, ShortRecordIsIgnored) {
    Probe p(1);
    p.UpdateFromStatus(RecordForSetA(0xF), TRUE);
    p.UpdateFromStatus(std::string("\x10\x00\x00", 3), TRUE);
    EXPECT_EQ(p.Sensors(), "1111");
}

// Every predicate of every class over the 16 sensor combinations: bit i of a mask is the
// predicate's value for combination i. Type 4 with latch set and e clear.
TEST(SlipSensorPredicates, TruthTables) {
    using Pred = bool (SlipSensorState::*)() const;
    struct Row {
        const char* name;
        Pred pred;
        unsigned masks[8];  // types 0, 1, 2, 3, 4, 5, 10, 11
    } rows[] = {
        {"Sensor0",
         &SlipSensorState::Sensor0,
         {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA}},
        {"Sensor3",
         &SlipSensorState::Sensor3,
         {0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00}},
        {"Inserted",
         &SlipSensorState::Inserted,
         {0x0044, 0x0040, 0x0040, 0x0040, 0x0040, 0x0040, 0x00C0, 0xC0C0}},
        {"Empty",
         &SlipSensorState::Empty,
         {0x0002, 0x002A, 0x002A, 0x002A, 0x002A, 0x0002, 0x0000, 0x0000}},
        {"SlipEmpty",
         &SlipSensorState::SlipEmpty,
         {0x00FF, 0x00FF, 0x00FF, 0x00FF, 0x00FF, 0x00FF, 0x00FF, 0x00FF}},
        {"SlipNearEnd",
         &SlipSensorState::SlipNearEnd,
         {0x2000, 0x0800, 0x2200, 0x2200, 0x2200, 0x0200, 0x0800, 0x0800}},
        {"Removed",
         &SlipSensorState::Removed,
         {0x0005, 0x0005, 0x0005, 0x0005, 0x0005, 0x0005, 0x000F, 0x0F0F}},
        {"Present",
         &SlipSensorState::Present,
         {0xFCFC, 0xFCFC, 0xFFFC, 0xFCFC, 0xFCFC, 0xFCFC, 0xFCFC, 0xFCFC}},
        {"Test9",
         &SlipSensorState::Test9,
         {0x5555, 0x5555, 0x5555, 0x5555, 0x5555, 0x5555, 0x00FF, 0xFFFF}},
        {"Test10",
         &SlipSensorState::Test10,
         {0xAA00, 0xAA00, 0xAA00, 0xAAAA, 0xAA00, 0xAA00, 0xAA00, 0xAA00}},
        {"Test11",
         &SlipSensorState::Test11,
         {0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0xFF00, 0x0000}},
        {"Test12",
         &SlipSensorState::Test12,
         {0x0000, 0x0000, 0x0000, 0x0000, 0x8A8A, 0x0000, 0x0000, 0x0000}},
    };
    for (int t = 0; t < 8; ++t) {
        auto state = CreateSlipSensorState(kTypes[t], 1);
        ASSERT_EQ(state->Type(), kTypes[t]);
        for (int i = 0; i < 16; ++i) {
            state->UpdateFromStatus(RecordForSetA(i), TRUE);
            for (const Row& r : rows) {
                const bool want = (r.masks[t] >> i) & 1;
                EXPECT_EQ(((*state).*r.pred)(), want)
                    << r.name << " type " << kTypes[t] << " s3..s0 " << ((i >> 3) & 1)
                    << ((i >> 2) & 1) << ((i >> 1) & 1) << (i & 1);
            }
        }
    }
}

TEST(SlipSensorPredicates, TypeFourExtraSensorAndLatch) {
    auto state = CreateSlipSensorState(4, 1);
    struct Case {
        int combination;  // s0 | s1 << 1 | s2 << 2 | s3 << 3
        bool latch, e;
        bool nearEnd, present;
    } cases[] = {
        // latch set: s0 and not s1 and s3, whatever e
        {0b1001, true, true, true, true},
        {0b1011, true, false, false, true},
        // latch clear: s0 and s3 and not e
        {0b1011, false, false, true, true},
        {0b1001, false, true, false, true},
        {0b1000, false, false, false, false},  // s0 = 0 sets the latch again
        // present also from e alone
        {0b0001, true, true, false, true},
        {0b0001, true, false, false, false},
    };
    for (const Case& c : cases) {
        state->SetLatch(c.latch);
        state->UpdateFromStatus(RecordForSetA(c.combination, c.e), TRUE);
        const bool latchNow = c.latch || !(c.combination & 1);
        EXPECT_EQ(state->GetLatch(), latchNow) << c.combination;
        EXPECT_EQ(state->SlipNearEnd(), c.nearEnd) << c.combination << " latch " << c.latch;
        EXPECT_EQ(state->Present(), c.present) << c.combination << " e " << c.e;
    }
}

TEST(SlipSensorLatch, SetByEmptySensorClearedOnlyBySetLatch) {
    auto state = CreateSlipSensorState(1, 1);
    EXPECT_TRUE(state->GetLatch());  // at construction
    state->SetLatch(FALSE);
    state->UpdateFromStatus(RecordForSetA(0b1111), TRUE);  // s0 = 1: stays clear
    EXPECT_FALSE(state->GetLatch());
    state->UpdateFromStatus(RecordForSetA(0b1110), TRUE);  // s0 = 0: set
    EXPECT_TRUE(state->GetLatch());
    state->UpdateFromStatus(RecordForSetA(0b1111), TRUE);  // no update clears it
    EXPECT_TRUE(state->GetLatch());
}

TEST(SlipSensorPredicates, TypeThreePresenceLooksAtBothSets) {
    // Set A: s1 = 1 (f2 bit 5 clear); set B all 0. Reading set B: the base sees no form,
    // type 3 sees it through A1.
    const std::string rec{'\x10', '\x00', '\x40', '\x6F'};
    auto base = CreateSlipSensorState(0, 3);
    auto three = CreateSlipSensorState(3, 3);
    base->UpdateFromStatus(rec, FALSE);
    three->UpdateFromStatus(rec, FALSE);
    EXPECT_FALSE(base->Present());
    EXPECT_TRUE(three->Present());
}

TEST(SlipSensorFactory, TypesAndMasks) {
    struct Case {
        LONG type, mask;
        LONG wantType, wantMask;
        bool micr;
    } cases[] = {
        {0, 1, 0, 1, false}, {1, 2, 1, 2, false},   {4, 3, 4, 3, false},  {5, 1, 5, 1, false},
        {7, 1, 0, 1, false}, {11, 2, 11, 2, false}, {3, 0, 3, 1, false},  {3, 9, 3, 1, false},
        {5, 0, 0, 1, true},  {4, 0, 4, 1, true},    {10, 0, 10, 1, true}, {-1, 0, 0, 1, true},
    };
    for (const Case& c : cases) {
        auto s = c.micr ? CreateMicrSlipSensorState(c.type) : CreateSlipSensorState(c.type, c.mask);
        EXPECT_EQ(s->Type(), c.wantType) << c.type << (c.micr ? " micr" : "");
        EXPECT_EQ(s->Mask(), c.wantMask) << c.type;
    }
}

}  // namespace

// The status bytes of the simulated printer, written down byte for byte from the
// protocol's bit layouts (not from the encoder), so that a misreading shared by the
// simulator and the service shows up here.
#include "sim/status.h"

#include <gtest/gtest.h>

#include <functional>

#include "sim/hex.h"

namespace sim {
namespace {

std::string Replies(const PrinterState& s) {
    std::string out;
    for (int n = 1; n <= 6; ++n) {
        uint8_t r = 0;
        EXPECT_TRUE(RealTimeStatus(s, n, &r)) << n;
        out += static_cast<char>(r);
    }
    return ToHex(out);
}

TEST(StatusBytes, FrameAndRepliesOfEachCondition) {
    struct Case {
        const char* name;
        std::function<void(PrinterState&)> set;
        const char* frame;    // automatic status frame
        const char* replies;  // 10 04 n for n = 1..6
    } cases[] = {
        {"ready", [](PrinterState&) {}, "10 00 60 6F", "12 12 12 12 7E 7E"},
        // Cover open takes the printer offline (byte 0 bits 3 and 5; n=1 bit 3, n=2 bit 2).
        {"cover open", [](PrinterState& s) { s.coverOpen = true; }, "38 00 60 6F",
         "1A 16 12 12 7E 7E"},
        {"cover open, kept online",
         [](PrinterState& s) {
             s.coverOpen = true;
             s.online = OnlineMode::kOn;
         },
         "30 00 60 6F", "12 16 12 12 7E 7E"},
        {"forced offline", [](PrinterState& s) { s.online = OnlineMode::kOff; }, "18 00 60 6F",
         "1A 12 12 12 7E 7E"},
        {"feeding", [](PrinterState& s) { s.feeding = true; }, "50 00 60 6F", "12 1A 12 12 7E 7E"},
        {"drawer pin high", [](PrinterState& s) { s.drawerHigh = true; }, "14 00 60 6F",
         "16 12 12 12 7E 7E"},
        // Errors: byte 1 bits 2, 3, 5, 6 and n=3 bits 2, 3, 5, 6; each takes it offline.
        {"mechanical", [](PrinterState& s) { s.mechanicalError = true; }, "18 04 60 6F",
         "1A 12 16 12 7E 7E"},
        {"autocutter", [](PrinterState& s) { s.autocutterError = true; }, "18 08 60 6F",
         "1A 12 1A 12 7E 7E"},
        {"unrecoverable", [](PrinterState& s) { s.unrecoverableError = true; }, "18 20 60 6F",
         "1A 12 32 12 7E 7E"},
        {"auto-recoverable", [](PrinterState& s) { s.autoRecoverableError = true; }, "18 40 60 6F",
         "1A 12 52 12 7E 7E"},
        // Paper: byte 2 bits 0-3 (journal/receipt near end, journal/receipt end) and
        // n=4 bits 2, 3, 5, 6; an empty roll reads near end too and takes it offline.
        {"journal near end", [](PrinterState& s) { s.journal = Paper::kNearEnd; }, "10 00 61 6F",
         "12 12 12 16 7E 7E"},
        {"receipt near end", [](PrinterState& s) { s.receipt = Paper::kNearEnd; }, "10 00 62 6F",
         "12 12 12 1A 7E 7E"},
        {"journal empty", [](PrinterState& s) { s.journal = Paper::kEmpty; }, "18 00 65 6F",
         "1A 12 12 36 7E 7E"},
        {"receipt empty", [](PrinterState& s) { s.receipt = Paper::kEmpty; }, "18 00 6A 6F",
         "1A 12 12 5A 7E 7E"},
        // Slip sensors, active-low. Set A: s0 = byte 3 bit 0, s1 = byte 2 bit 5,
        // s2 = byte 2 bit 6, s3 = byte 3 bit 1. Set B: s0 = byte 3 bit 2, s1 = bit 5,
        // s2 = bit 6, s3 = bit 3. n=5 (set A) and n=6 (set B): bit 2 = 0 in slip mode,
        // bit 3 = 0 for a form in slip mode, bits 5, 6 = 0 for s1, s2.
        {"slip A s0", [](PrinterState& s) { s.slipA.s0 = true; }, "10 00 60 6E",
         "12 12 12 12 7E 7E"},
        {"slip A s1", [](PrinterState& s) { s.slipA.s1 = true; }, "10 00 40 6F",
         "12 12 12 12 5E 7E"},
        {"slip A s2", [](PrinterState& s) { s.slipA.s2 = true; }, "10 00 20 6F",
         "12 12 12 12 3E 7E"},
        {"slip A s3", [](PrinterState& s) { s.slipA.s3 = true; }, "10 00 60 6D",
         "12 12 12 12 7E 7E"},
        {"slip B s0", [](PrinterState& s) { s.slipB.s0 = true; }, "10 00 60 6B",
         "12 12 12 12 7E 7E"},
        {"slip B s1", [](PrinterState& s) { s.slipB.s1 = true; }, "10 00 60 4F",
         "12 12 12 12 7E 5E"},
        {"slip B s2", [](PrinterState& s) { s.slipB.s2 = true; }, "10 00 60 2F",
         "12 12 12 12 7E 3E"},
        {"slip B s3", [](PrinterState& s) { s.slipB.s3 = true; }, "10 00 60 67",
         "12 12 12 12 7E 7E"},
        {"slip mode, no form", [](PrinterState& s) { s.slipMode = true; }, "10 00 60 6F",
         "12 12 12 12 7A 7A"},
        {"slip mode, form at s1 of set A",
         [](PrinterState& s) {
             s.slipMode = true;
             s.slipA.s1 = true;
         },
         "10 00 40 6F", "12 12 12 12 52 7A"},
        {"slip mode, full form in set B",
         [](PrinterState& s) {
             s.slipMode = true;
             s.slipB = SlipSensors{true, true, true, true};
         },
         "10 00 60 03", "12 12 12 12 7A 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrinterState s;
        c.set(s);
        EXPECT_EQ(ToHex(AutoStatusFrame(s)), c.frame);
        EXPECT_EQ(Replies(s), c.replies);
    }
}

// The fixed bits that let the receiving side tell frames and replies apart hold in
// every state: frame byte 0 & 93 = 10, bytes 1-3 & 90 = 0, replies & 93 = 12.
TEST(StatusBytes, FixedBitsHoldInEveryState) {
    for (uint32_t m = 0; m < (1u << 16); ++m) {
        PrinterState s;
        const auto bit = [m](int i) { return (m >> i & 1) != 0; };
        s.coverOpen = bit(0);
        s.feeding = bit(1);
        s.drawerHigh = bit(2);
        s.mechanicalError = bit(3);
        s.autocutterError = bit(4);
        s.unrecoverableError = bit(5);
        s.autoRecoverableError = bit(6);
        s.receipt = bit(7) ? Paper::kEmpty : Paper::kNearEnd;
        s.journal = bit(8) ? Paper::kOk : Paper::kEmpty;
        s.slipA = SlipSensors{bit(9), bit(10), bit(11), bit(12)};
        s.slipB = SlipSensors{bit(12), bit(13), bit(14), bit(15)};
        s.slipMode = bit(13);
        const std::string f = AutoStatusFrame(s);
        ASSERT_EQ(f.size(), 4u);
        ASSERT_EQ(static_cast<uint8_t>(f[0]) & 0x93, 0x10) << m;
        for (int i = 1; i < 4; ++i) ASSERT_EQ(static_cast<uint8_t>(f[i]) & 0x90, 0) << m;
        for (int n = 1; n <= 6; ++n) {
            uint8_t r = 0;
            ASSERT_TRUE(RealTimeStatus(s, n, &r));
            ASSERT_EQ(r & 0x93, 0x12) << m << " n=" << n;
        }
    }
}

TEST(StatusBytes, OnlyRequestsOneToSixAreAnswered) {
    PrinterState s;
    uint8_t r = 0xAA;
    for (int n : {0, 7, 8, 9, 255}) {
        EXPECT_FALSE(RealTimeStatus(s, n, &r)) << n;
    }
    EXPECT_EQ(r, 0xAA);
}

}  // namespace
}  // namespace sim

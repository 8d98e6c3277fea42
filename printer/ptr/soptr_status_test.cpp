// Enabling, status events, power reports, the event hand-over and the final reset,
// through the control.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "include/opos_ptr.h"
#include "printer/ptr/soptr_test_app.h"

namespace soptr_test {
namespace {

TEST_F(Printer, EnablingReportsPowerThenTheSensors) {
    EXPECT_EQ(sim->Control("cover open"), "ok");
    App app;
    Claimed(app);
    EXPECT_EQ(app.Set("PowerNotify", 1).first, OPOS_SUCCESS);
    EXPECT_EQ(app.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
    ASSERT_TRUE(app.WaitStatus(2));
    std::vector<LONG> got = app.Statuses();
    EXPECT_EQ(got[0], OPOS_SUE_POWER_ONLINE);
    EXPECT_EQ(got[1], PTR_SUE_COVER_OPEN);
    EXPECT_EQ(app.Number("CoverOpen"), 1);
    EXPECT_EQ(app.Number("PowerState"), OPOS_PS_ONLINE);
    // Then the rolls, and a change afterwards comes as its own event.
    ASSERT_TRUE(app.WaitStatus(4));
    EXPECT_EQ(app.Statuses()[2], PTR_SUE_JRN_PAPEROK);
    EXPECT_EQ(app.Statuses()[3], PTR_SUE_REC_PAPEROK);
    app.Sim("cover close");
    ASSERT_TRUE(app.WaitStatus(5));
    EXPECT_EQ(app.Statuses()[4], PTR_SUE_COVER_OK);
    EXPECT_EQ(app.Number("CoverOpen"), 0);
}

TEST_F(Printer, StatusWhileDisabledIsDroppedExceptTheIdleReport) {
    App app;
    Claimed(app);
    app.Sim("cover open");
    app.Sim("paper receipt near-end");
    EXPECT_EQ(app.Set("FlagWhenIdle", 1).first, OPOS_SUCCESS);
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(app.Statuses().empty()) << "nothing is handed over while disabled";
    EXPECT_EQ(app.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
    ASSERT_TRUE(app.WaitStatus(4));
    // The kept idle report first, then the enable-time report of the current state; the
    // changes made while disabled never arrive on their own.
    EXPECT_EQ(app.Statuses(), (std::vector<LONG>{PTR_SUE_IDLE, PTR_SUE_COVER_OPEN,
                                                 PTR_SUE_JRN_PAPEROK, PTR_SUE_REC_NEAREMPTY}));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(app.Statuses().size(), 4u);
}

TEST_F(Printer, FlagWhenIdleWhileIdleDeliversOneIdleReport) {
    App app;
    Enabled(app);
    ASSERT_TRUE(app.WaitStatus(3));  // cover, journal, receipt
    app.Forget();
    EXPECT_EQ(app.Set("FlagWhenIdle", 1).first, OPOS_SUCCESS);
    ASSERT_TRUE(app.WaitStatus(1));
    EXPECT_EQ(app.Statuses()[0], PTR_SUE_IDLE);
    EXPECT_EQ(app.Number("FlagWhenIdle"), 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(app.Statuses().size(), 1u) << "the output thread does not report it again";
}

// The final reset selects every present station for its settings and restores its line
// spacing; a printer with one station needs no station select.
TEST_F(Printer, CloseOfAnEnabledObjectSendsTheFinalReset) {
    struct Case {
        const char* name;
        std::string values;
        std::string reset;
    } cases[] = {
        {"journal and receipt", kModel,
         std::string("\x1b\x3d\x01\x1b\x63\x31\x01\x1b\x33\x18\x1b\x63\x31\x02\x1b\x33\x1e", 17)},
        {"receipt only",
         "\"INFVersion\"=dword:000f6180\n\"CapReceipt\"=dword:00002000\n"
         "\"CapPtrElse\"=dword:00000001\n\"LineSpacing\"=dword:00007530\n",
         std::string("\x1b\x3d\x01\x1b\x33\x1e", 6)},
    };
    for (const Case& c : cases) {
        std::string p = NewPort();
        reg.Import("Windows Registry Editor Version 5.00\n\n" +
                   Entry("POSPrinter", p, p, c.values));
        auto printer = sim::LoopPrinter(p);
        App app;
        Enabled(app, p);
        printer->ClearReceived();
        EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS) << c.name;
        EXPECT_EQ(printer->Received(), c.reset) << c.name;
        EXPECT_EQ(app.Number("State"), OPOS_S_CLOSED) << c.name;
    }
}

TEST_F(Printer, PropertyAccessFollowsTheClaimAndEnableState) {
    App app;
    ASSERT_EQ(app.Call("Open", {"P1"}), OPOS_SUCCESS);
    struct SetCase {
        const char* prop;
        LONG value, rc, rcx;
    };
    const SetCase unclaimed[] = {
        {"DeviceEnabled", 1, OPOS_E_NOTCLAIMED, 0},
        {"RecLineChars", 42, OPOS_E_NOTCLAIMED, 0},
        {"PowerNotify", 2, OPOS_E_ILLEGAL, KAVRO_E_BADVALUE},
        {"BinaryConversion", 3, OPOS_E_ILLEGAL, 0},
        {"MapMode", 5, OPOS_E_ILLEGAL, KAVRO_E_BADVALUE},
        {"MapMode", PTR_MM_METRIC, OPOS_SUCCESS, 0},
        {"AsyncMode", 7, OPOS_SUCCESS, 0},
    };
    for (const SetCase& c : unclaimed) {
        EXPECT_EQ(app.Set(c.prop, c.value), std::make_pair(c.rc, c.rcx))
            << c.prop << " " << c.value;
    }
    EXPECT_EQ(app.Number("AsyncMode"), 1);
    ASSERT_EQ(app.Call("Claim", {1000}), OPOS_SUCCESS);
    EXPECT_EQ(app.Set("RecLineChars", 42).first, OPOS_E_DISABLED);
    EXPECT_EQ(app.Number("RecLineChars"), 0) << "hidden while disabled";
    EXPECT_EQ(app.Number("DeviceEnabled"), 0);
    ASSERT_EQ(app.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
    EXPECT_EQ(app.Number("RecLineChars"), 42);
    const SetCase enabled[] = {
        {"PowerNotify", 1, OPOS_E_ILLEGAL, 0},  // only while disabled
        {"RecLineChars", 50, OPOS_SUCCESS, 0},
        {"RecLineChars", 57, OPOS_E_ILLEGAL, KAVRO_E_BADVALUE},
        {"CharacterSet", 932, OPOS_SUCCESS, 0},
        {"CharacterSet", 850, OPOS_E_ILLEGAL, KAVRO_E_BADVALUE},
        {"SlpLineChars", 40, OPOS_E_ILLEGAL, KAVRO_E_NOSTATION},
        {"RotateSpecial", PTR_RP_LEFT90, OPOS_E_ILLEGAL, KAVRO_E_NOCAPABILITY},
        {"RotateSpecial", 7, OPOS_E_ILLEGAL, KAVRO_E_BADVALUE},
        {"CoverOpen", 1, OPOS_E_ILLEGAL, 0},  // read-only
    };
    for (const SetCase& c : enabled) {
        EXPECT_EQ(app.Set(c.prop, c.value), std::make_pair(c.rc, c.rcx))
            << c.prop << " " << c.value;
    }
    EXPECT_EQ(app.Number("RecLineChars"), 56) << "the second font's longest line";
    EXPECT_EQ(app.Number("CharacterSet"), 932);
    EXPECT_EQ(app.Number("PowerState"), OPOS_PS_UNKNOWN) << "PowerNotify is off";
    // A string property cannot be set.
    EXPECT_EQ(app.ctrl.PutProperty("ErrorString", Variant(std::string("x"))), S_OK);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_E_ILLEGAL);
}

TEST_F(Printer, PowerLossAndReturnAreReported) {
    App app;
    Claimed(app);
    EXPECT_EQ(app.Set("PowerNotify", 1).first, OPOS_SUCCESS);
    EXPECT_EQ(app.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
    ASSERT_TRUE(app.WaitStatus(4));
    app.Forget();
    EXPECT_EQ(sim->Control("power off"), "ok");
    ASSERT_TRUE(app.WaitStatus(1));
    EXPECT_EQ(app.Statuses()[0], OPOS_SUE_POWER_OFF_OFFLINE);
    EXPECT_EQ(app.Number("PowerState"), OPOS_PS_OFF_OFFLINE);
    EXPECT_EQ(sim->Control("power on"), "ok");
    ASSERT_TRUE(PumpUntil(
        [&] {
            auto s = app.Statuses();
            return std::find(s.begin(), s.end(), OPOS_SUE_POWER_ONLINE) != s.end();
        },
        kWait));
    EXPECT_EQ(app.Number("PowerState"), OPOS_PS_ONLINE);
    // The printer was set up again: automatic status flows.
    ASSERT_TRUE(PumpUntil([&] { return sim->AutoStatusEnabled(); }, kWait));
    app.Forget();
    app.Sim("cover open");
    ASSERT_TRUE(app.WaitStatus(1));
    EXPECT_EQ(app.Statuses()[0], PTR_SUE_COVER_OPEN);
}

TEST_F(Printer, FrozenEventsWaitForTheThaw) {
    App app;
    Enabled(app);
    ASSERT_TRUE(app.WaitStatus(3));
    app.Forget();
    app.Freeze(true);
    app.Sim("cover open");
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(app.Statuses().empty());
    app.Freeze(false);
    ASSERT_TRUE(app.WaitStatus(1));
    EXPECT_EQ(app.Statuses()[0], PTR_SUE_COVER_OPEN);
}

// Another object opening and closing on a claimed port leaves the holder's status alone:
// the holder reports changes only.
TEST_F(Printer, AnotherObjectOnTheClaimedPortKeepsItsStatus) {
    App a;
    Enabled(a);
    ASSERT_TRUE(a.WaitStatus(3));
    a.Sim("cover open");
    ASSERT_TRUE(a.WaitStatus(4));
    {
        App b;
        ASSERT_EQ(b.Call("Open", {"P2"}), OPOS_SUCCESS);
        EXPECT_EQ(b.Call("Close"), OPOS_SUCCESS);
    }
    a.Forget();
    a.Sim("paper receipt near-end");
    ASSERT_TRUE(a.WaitStatus(1));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(a.Statuses(), std::vector<LONG>{PTR_SUE_REC_NEAREMPTY}) << "no second cover report";
}

// One event of the library in delivery at a time: while an application handler of one
// printer waits with message dispatch, another printer's event stays queued.
TEST_F(Printer, AnEventWaitsWhileAnotherHandlerRuns) {
    std::string other = NewPort();
    reg.Import("Windows Registry Editor Version 5.00\n\n" + Entry("POSPrinter", "B", other) +
               Entry("POSPrinter", "C", other));
    App a, b, c;
    Enabled(a);
    Enabled(b, "B");
    ASSERT_EQ(c.Call("Open", {"C"}), OPOS_SUCCESS);
    ASSERT_TRUE(a.WaitStatus(3));
    ASSERT_TRUE(b.WaitStatus(3));
    a.Forget();
    b.Forget();
    std::vector<std::string> order;
    std::atomic<bool> inHandler{false};
    a.onStatus = [&](LONG status) {
        if (status != PTR_SUE_COVER_OPEN) return;
        order.push_back("a begins");
        inHandler = true;
        b.Sim("cover open");
        // A claim that times out waits with message dispatch; b's event is handed over
        // meanwhile, and must be refused.
        EXPECT_EQ(c.Call("Claim", {500}), OPOS_E_TIMEOUT);
        inHandler = false;
        order.push_back("a ends");
    };
    b.onStatus = [&](LONG status) {
        if (status == PTR_SUE_COVER_OPEN) order.push_back(inHandler ? "b inside a" : "b");
    };
    a.Sim("cover open");
    ASSERT_TRUE(b.WaitStatus(1));
    EXPECT_EQ(order, (std::vector<std::string>{"a begins", "a ends", "b"}));
}

// Open, claim, enable, status events, disable, release, close, many times, with two
// objects taking turns on one port.
TEST_F(Printer, LifecycleStress) {
    App a, b;
    ASSERT_EQ(a.Call("Open", {"P1"}), OPOS_SUCCESS);
    ASSERT_EQ(b.Call("Open", {"P2"}), OPOS_SUCCESS);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        App& user = round % 2 ? b : a;
        App& other = round % 2 ? a : b;
        const char* name = round % 2 ? "P2" : "P1";
        ASSERT_EQ(user.Call("Claim", {1000}), OPOS_SUCCESS);
        EXPECT_EQ(other.Call("Claim", {0}), OPOS_E_TIMEOUT);
        user.Forget();
        ASSERT_EQ(user.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
        ASSERT_TRUE(user.WaitStatus(3));
        user.Sim("cover open");
        user.Sim("cover close");
        ASSERT_TRUE(user.WaitStatus(5));
        EXPECT_EQ(user.Statuses()[3], PTR_SUE_COVER_OPEN);
        EXPECT_EQ(user.Statuses()[4], PTR_SUE_COVER_OK);
        ASSERT_EQ(user.Set("DeviceEnabled", 0).first, OPOS_SUCCESS);
        ASSERT_EQ(user.Call("Release"), OPOS_SUCCESS);
        ASSERT_EQ(user.Call("Close"), OPOS_SUCCESS);
        ASSERT_EQ(user.Call("Open", {name}), OPOS_SUCCESS);
    }
}

}  // namespace
}  // namespace soptr_test

// Open, Claim and Release of the printer service, through the control.
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

TEST_F(Printer, OpenReportsTheServiceAndItsModel) {
    App app;
    ASSERT_EQ(app.Call("Open", {"P1"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("State"), OPOS_S_IDLE);
    EXPECT_EQ(app.Number("ServiceObjectVersion"), 1008001);
    EXPECT_EQ(app.Number("CapPowerReporting"), OPOS_PR_STANDARD);
    EXPECT_EQ(app.Number("CapRecPresent"), 1);
    EXPECT_EQ(app.Number("CapRecPapercut"), 1);
    EXPECT_EQ(app.Number("CapSlpPresent"), 0);
    EXPECT_EQ(app.String("CharacterSetList"), "437,932");
    EXPECT_EQ(app.String("DeviceName"), "P1");
    EXPECT_EQ(app.Number("Claimed"), 0);
    EXPECT_FALSE(sim->Control("status").empty());
}

TEST_F(Printer, ClaimsNestAndOnlyTheLastReleaseClosesThePort) {
    App app;
    Claimed(app);
    EXPECT_EQ(app.Call("Claim", {0}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("Claimed"), 2);
    EXPECT_EQ(app.Call("Release"), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("Claimed"), 1);
    // Still claimed: a second object on the port cannot have it.
    App other;
    ASSERT_EQ(other.Call("Open", {"P2"}), OPOS_SUCCESS);
    EXPECT_EQ(other.Call("Claim", {0}), OPOS_E_TIMEOUT);
    EXPECT_EQ(app.Call("Release"), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("Claimed"), 0);
    EXPECT_EQ(app.Call("Release"), OPOS_E_ILLEGAL);
    EXPECT_EQ(app.Number("ResultCodeExtended"), KAVRO_E_NOTCLAIMED);
    EXPECT_EQ(other.Call("Claim", {0}), OPOS_SUCCESS) << "the port is free again";
}

TEST_F(Printer, ClaimTimeoutsOnAPortHeldByAnotherObject) {
    App holder;
    Claimed(holder);
    App app;
    ASSERT_EQ(app.Call("Open", {"P2"}), OPOS_SUCCESS);
    struct Case {
        LONG timeout, rc, rcx;
    } cases[] = {
        {0, OPOS_E_TIMEOUT, 0},
        {200, OPOS_E_TIMEOUT, 0},
        {-2, OPOS_E_ILLEGAL, KAVRO_E_ARG1},
    };
    for (const Case& c : cases) {
        DWORD start = GetTickCount();
        EXPECT_EQ(app.Call("Claim", {c.timeout}), c.rc) << c.timeout;
        EXPECT_EQ(app.Number("ResultCodeExtended"), c.rcx) << c.timeout;
        if (c.timeout > 0) {
            EXPECT_GE(GetTickCount() - start, static_cast<DWORD>(c.timeout));
        }
        EXPECT_EQ(app.Number("Claimed"), 0);
    }
    // Held elsewhere: a property that needs the claim says so.
    EXPECT_EQ(app.Set("RecLineChars", 42).first, OPOS_E_CLAIMED);
}

TEST_F(Printer, ClaimForeverWaitsUntilThePortIsFree) {
    App holder;
    Claimed(holder);
    std::atomic<bool> waiting{false};
    std::atomic<LONG> result{-1};
    std::thread second([&] {
        App app;  // its own control and window, on this thread
        ASSERT_EQ(app.Call("Open", {"P2"}), OPOS_SUCCESS);
        waiting = true;
        result = app.Call("Claim", {OPOS_FOREVER});
        EXPECT_EQ(app.Number("Claimed"), 1);
    });
    ASSERT_TRUE(PumpUntil([&] { return waiting.load(); }, kWait));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(result, -1) << "still waiting while the port is held";
    EXPECT_EQ(holder.Call("Release"), OPOS_SUCCESS);
    ASSERT_TRUE(PumpUntil([&] { return result != -1; }, kWait));
    second.join();
    EXPECT_EQ(result, OPOS_SUCCESS);
}

// A failed set-up closes the port again and leaves the object open and unclaimed.
TEST_F(Printer, ClaimSetUpFailuresCloseThePort) {
    struct Case {
        const char* fault;
        const char* repair;
        LONG rcx;
    } cases[] = {
        {"mute on", "mute off", KAVRO_E_NOANSWER},     // no first status, no status replies
        {"id mode 01", "id mode 00", KAVRO_E_CONFIG},  // mode check: not the normal mode
    };
    App app;
    ASSERT_EQ(app.Call("Open", {"P1"}), OPOS_SUCCESS);
    for (const Case& c : cases) {
        EXPECT_EQ(sim->Control(c.fault), "ok") << c.fault;
        EXPECT_EQ(app.Call("Claim", {1000}), OPOS_E_ILLEGAL) << c.fault;
        EXPECT_EQ(app.Number("ResultCodeExtended"), c.rcx) << c.fault;
        EXPECT_EQ(app.Number("Claimed"), 0) << c.fault;
        EXPECT_EQ(app.Number("State"), OPOS_S_IDLE) << c.fault;
        EXPECT_EQ(sim->Control(c.repair), "ok") << c.fault;
        ASSERT_EQ(app.Call("Claim", {1000}), OPOS_SUCCESS) << c.fault << ": the port was closed";
        ASSERT_EQ(app.Call("Release"), OPOS_SUCCESS);
    }
}

// Two port indexes that reach one device: the second driver finds the port in use.
TEST_F(Printer, APortInUseByAnotherDriverTimesOutWith10016) {
    std::string p = NewPort();
    reg.Import(
        "Windows Registry Editor Version 5.00\n\n" +
        Entry("POSPrinter", "X1", p, std::string(kModel) + "\"PortIndex\"=dword:00000384\n") +
        Entry("POSPrinter", "X2", p, std::string(kModel) + "\"PortIndex\"=dword:00000385\n"));
    App a, b;
    Claimed(a, "X1");
    ASSERT_EQ(b.Call("Open", {"X2"}), OPOS_SUCCESS);
    EXPECT_EQ(b.Call("Claim", {100}), OPOS_E_ILLEGAL);
    EXPECT_EQ(b.Number("ResultCodeExtended"), KAVRO_E_INUSE);
    EXPECT_EQ(a.Call("Release"), OPOS_SUCCESS);
    EXPECT_EQ(b.Call("Claim", {1000}), OPOS_SUCCESS);
}

TEST_F(Printer, ClaimInitialisesThePrinter) {
    App app;
    sim->ClearReceived();
    Claimed(app);
    const std::string init(
        "\x00\x00\x1b\x3d\x01\x10\x05\x03\x1b\x40\x1b\x63\x34\xfc\x1d\x61\xff"
        "\x1b\x61\x00\x1b\x21\x00",
        23);
    std::string got = sim->Received();
    EXPECT_EQ(got.substr(0, init.size()), init);
    EXPECT_NE(got.find(std::string("\x1b\x3d\x01\x1d\x49\x04", 6)), std::string::npos)
        << "the mode check follows";
    EXPECT_TRUE(sim->AutoStatusEnabled());
}

}  // namespace
}  // namespace soptr_test

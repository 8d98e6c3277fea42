// The printer service tests' application and fixture: the generic POSPrinter control
// opens "SOKAVROL.POSPrinter" from the registry, and the service talks over the loop
// port to the simulated printer of the same process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/frame/control.h"
#include "include/opos.h"
#include "platform/automation/classes.h"
#include "platform/clock/clock.h"
#include "platform/window/window.h"
#include "printer/frame/build_traits.h"
#include "sim/loop_device.h"
#include "tests/support/control_app.h"
#include "tests/support/testenv.h"

namespace soptr_test {

using plat::DispParams;
using plat::Variant;

// Every fixed wait of the lifecycle runs at a fifth of its time; time-outs below are in
// clock milliseconds and generous.
constexpr DWORD kWait = 20000;

class ScaledTime : public ::testing::Environment {
  public:
    void SetUp() override { plat::SetClock(&clock_); }
    void TearDown() override { plat::SetClock(nullptr); }

  private:
    plat::ScaledClock clock_{0.2};
};
inline const auto* const kTime = ::testing::AddGlobalTestEnvironment(new ScaledTime);

// A journal and receipt printer with cover and paper sensors and automatic status.
inline const char kModel[] =
    "\"INFVersion\"=dword:000f6180\n"
    "\"CapCoverSensor\"=dword:00000001\n"
    "\"CapJournal\"=dword:00002880\n"
    "\"CapReceipt\"=dword:00003880\n"
    "\"CapPtrElse\"=dword:00000001\n"
    "\"CharacterSet\"=dword:000001b5\n"
    "\"CharacterSetList\"=\"437,932\"\n"
    "\"LineChars\"=dword:02818290\n"  // journal 42, receipt 42
    "\"RecLineCharsList\"=\"42,56\"\n"
    "\"JrnLineCharsList\"=\"42\"\n"
    "\"LineSpacing\"=dword:016eab30\n";  // journal 24, receipt 30 dots

inline std::string Entry(const std::string& cls, const std::string& name, const std::string& port,
                         const std::string& values = kModel) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + cls + "\\" + name +
           "]\n@=\"SOKAVROL." + cls + "\"\n\"Port\"=\"LOOP:" + port + "\"\n" + values + "\n";
}

// A fresh simulated printer for every test.
inline std::string NewPort() {
    static std::atomic<int> n{0};
    return "ptr" + std::to_string(getpid()) + "-" + std::to_string(n++);
}

// The application of these tests: the shared test application plus status helpers.
class App : public testapp::ControlApp {
  public:
    explicit App(const std::string& progId = "OPOS.POSPrinter") : ControlApp(progId) {
        onEvent = [this](const testapp::Event& e, DispParams&) {
            if (e.name == "StatusUpdateEvent" && onStatus) onStatus(e.a);
        };
    }
    ~App() { Call("Close"); }

    // Dispatches until `count` status events arrived.
    bool WaitStatus(size_t count, DWORD ms = kWait) {
        return PumpUntil([&] { return Statuses().size() >= count; }, ms);
    }
    std::vector<LONG> Statuses() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<LONG> out;
        for (const testapp::Event& e : events)
            if (e.name == "StatusUpdateEvent") out.push_back(e.a);
        return out;
    }
    void Forget() {
        std::lock_guard<std::mutex> g(lock);
        events.clear();
    }
    // Sends a control line to the simulated printer through the service (DirectIO).
    std::string Sim(const std::string& line) {
        int32_t data = 0;
        std::string text = line;
        EXPECT_EQ(Call("DirectIO", {printer::kDirectIOSimControl, &data, &text}), OPOS_SUCCESS);
        return text;
    }

    std::function<void(LONG)> onStatus;  // runs inside the StatusUpdateEvent handler
};

class Printer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(testenv::Register("opos_generic"), S_OK);
        ASSERT_EQ(testenv::Register("SOKAVROL"), S_OK);
        port = NewPort();
        reg.Import("Windows Registry Editor Version 5.00\n\n" + Entry("POSPrinter", "P1", port) +
                   Entry("POSPrinter", "P2", port));
        sim = sim::LoopPrinter(port);
        ASSERT_TRUE(sim);
    }
    // Opens `app` on device `name` and claims it.
    void Claimed(App& app, const std::string& name = "P1") {
        ASSERT_EQ(app.Call("Open", {name}), OPOS_SUCCESS);
        ASSERT_EQ(app.Call("Claim", {1000}), OPOS_SUCCESS);
    }
    void Enabled(App& app, const std::string& name = "P1") {
        Claimed(app, name);
        ASSERT_EQ(app.Set("DeviceEnabled", 1).first, OPOS_SUCCESS);
    }

    testenv::Registry reg;
    std::string port;
    std::shared_ptr<sim::Printer> sim;
};

}  // namespace soptr_test

// The simulated printer behind the in-process loop port: the device side on its own,
// and a service object's view through the loop port driver.
#include "sim/loop_device.h"

#include <gtest/gtest.h>

#include "include/portdrv.h"
#include "ports/conformance/fake_svc.h"
#include "ports/loop/loop_port.h"
#include "sim/sim_test_util.h"
#include "tests/support/testenv.h"

namespace sim {
namespace {

using test::Bytes;

class FakeHost : public loop::ILoopHost {
  public:
    void Input(const BYTE* data, size_t length) override {
        std::lock_guard<std::mutex> g(lock_);
        input_.append(reinterpret_cast<const char*>(data), length);
        if (onInput) onInput();
    }
    void Power(LONG rawState) override {
        std::lock_guard<std::mutex> g(lock_);
        powers_.push_back(rawState);
    }
    std::string Hex() const {
        std::lock_guard<std::mutex> g(lock_);
        return ToHex(input_);
    }
    std::vector<LONG> Powers() const {
        std::lock_guard<std::mutex> g(lock_);
        return powers_;
    }
    std::function<void()> onInput;  // runs inside Input (under this host's own lock)

  private:
    mutable std::mutex lock_;
    std::string input_;
    std::vector<LONG> powers_;
};

class LoopDeviceTest : public ::testing::Test {
  protected:
    LoopDeviceTest() { InstallLoopDevices(); }
    ~LoopDeviceTest() override { loop::SetDeviceFactory(nullptr); }
};

TEST_F(LoopDeviceTest, EachNameReachesItsOwnPrinter) {
    auto a = loop::GetDevice("sim-a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(loop::GetDevice("sim-a"), a);
    auto b = loop::GetDevice("sim-b");
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(loop::GetDevice(""), nullptr);

    // The printer behind "sim-a" is LoopPrinter("sim-a"), whoever created it first.
    ASSERT_EQ(LoopPrinter("sim-a")->Control("cover open"), "ok");
    FakeHost host;
    ASSERT_TRUE(a->Connect(&host));
    a->Write(reinterpret_cast<const BYTE*>("\x10\x04\x02"), 3);
    EXPECT_EQ(host.Hex(), "16");
    EXPECT_EQ(LoopPrinter("sim-a")->Received(), Bytes("10 04 02"));
    EXPECT_EQ(LoopPrinter("sim-b")->Received(), "");
    a->Disconnect(&host);
}

TEST_F(LoopDeviceTest, AnswersStatusAndPowerThroughTheHost) {
    auto device = loop::GetDevice("sim-power");
    auto printer = LoopPrinter("sim-power");
    FakeHost host;
    ASSERT_TRUE(device->Connect(&host));
    EXPECT_EQ(device->PowerState(), PD_PS_ONLINE);
    const std::string enable = Bytes("1B 3D 01 1D 61 FF");
    device->Write(reinterpret_cast<const BYTE*>(enable.data()), enable.size());
    ASSERT_EQ(printer->Control("cover open"), "ok");
    EXPECT_EQ(host.Hex(), "10 00 60 6F 38 00 60 6F");

    ASSERT_EQ(printer->Control("power off"), "ok");
    EXPECT_EQ(device->PowerState(), PD_PS_OFF);
    device->Write(reinterpret_cast<const BYTE*>("\x10\x04\x01"), 3);
    ASSERT_EQ(printer->Control("power on"), "ok");
    EXPECT_EQ(device->PowerState(), PD_PS_ONLINE);
    EXPECT_EQ(host.Hex(), "10 00 60 6F 38 00 60 6F 3B 30 00 3B 31 00");
    EXPECT_EQ(host.Powers(), (std::vector<LONG>{PD_PS_OFF, PD_PS_ONLINE}));
    device->Disconnect(&host);
}

TEST_F(LoopDeviceTest, OneHostAtATimeAndNothingAfterDisconnect) {
    auto device = loop::GetDevice("sim-hosts");
    auto printer = LoopPrinter("sim-hosts");
    FakeHost first, second;
    EXPECT_FALSE(device->Connect(nullptr));
    ASSERT_TRUE(device->Connect(&first));
    EXPECT_FALSE(device->Connect(&second)) << "the port is in use";
    device->Disconnect(&second);  // not connected: no effect
    EXPECT_EQ(printer->Control("inject 01"), "ok");
    device->Disconnect(&first);
    EXPECT_EQ(printer->Control("inject 02"), "ok");
    ASSERT_TRUE(device->Connect(&second));
    EXPECT_EQ(printer->Control("inject 03"), "ok");
    device->Disconnect(&second);
    EXPECT_EQ(first.Hex(), "01");
    EXPECT_EQ(second.Hex(), "03");
}

// The driver may write from inside its input callback; the answer to that write comes
// after the callback returns, and nothing deadlocks.
TEST_F(LoopDeviceTest, HostMayWriteFromInsideInput) {
    auto device = loop::GetDevice("sim-reentrant");
    FakeHost host;
    bool wrote = false;
    host.onInput = [&] {
        if (wrote) return;
        wrote = true;
        device->Write(reinterpret_cast<const BYTE*>("\x10\x04\x01"), 3);
    };
    ASSERT_TRUE(device->Connect(&host));
    device->Write(reinterpret_cast<const BYTE*>("\x1D\x61\xFF"), 3);
    EXPECT_EQ(host.Hex(), "10 00 60 6F 12");
    device->Disconnect(&host);
}

// A service object's view: a device entry "Port"="LOOP:sim-svc" reaches the simulated
// printer through the loop port driver.
TEST_F(LoopDeviceTest, ServiceObjectTalksToThePrinterThroughTheLoopPort) {
    testenv::Registry reg;
    reg.Import(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\SimPtr]
"Port"="LOOP:sim-svc"
)");
    auto printer = LoopPrinter("sim-svc");
    auto svc = portconf::Svc::Adopt(new portconf::FakeSvc("POSPrinter"));
    {
        CLoopPort port;
        PortOpenOptions options;
        options.readSize = 31;
        ASSERT_EQ(port.PortOpen("SimPtr", svc.get(), options), PD_OK);
        const std::string enable = Bytes("1B 3D 01 1D 61 FF");
        ASSERT_EQ(port.PortOutputData(enable.data(), enable.size(), 1, svc.get(), 0, 1, -1, 0),
                  PD_OK);
        ASSERT_TRUE(portconf::Eventually([&] { return svc->Data() == Bytes("10 00 60 6F"); }))
            << ToHex(svc->Data());
        ASSERT_EQ(printer->Control("cover open"), "ok");
        ASSERT_TRUE(
            portconf::Eventually([&] { return svc->Data() == Bytes("10 00 60 6F 38 00 60 6F"); }));
        const std::string request = Bytes("1B 3D 01 10 04 02");
        ASSERT_EQ(port.PortOutputData(request.data(), request.size(), -1, nullptr, 1, 0, -1, 1),
                  PD_OK);
        ASSERT_TRUE(portconf::Eventually(
            [&] { return svc->Data() == Bytes("10 00 60 6F 38 00 60 6F 16"); }));
        ASSERT_EQ(printer->Control("power off"), "ok");
        ASSERT_TRUE(portconf::Eventually([&] {
            const auto p = svc->Powers();
            return !p.empty() && p.back() == PD_PS_OFF;
        }));
        ASSERT_EQ(printer->Control("power on"), "ok");
        ASSERT_TRUE(portconf::Eventually([&] {
            const auto p = svc->Powers();
            return !p.empty() && p.back() == PD_PS_ONLINE;
        }));
        ASSERT_EQ(port.PortClose(svc.get()), PD_OK);
        svc->MarkClosed();
        EXPECT_FALSE(printer->Attached()) << "the port's close disconnects the printer";
        ASSERT_EQ(printer->Control("cover close"), "ok");  // reaches no one now
    }
    EXPECT_EQ(printer->Received(), Bytes("1B 3D 01 1D 61 FF 1B 3D 01 10 04 02"));
}

}  // namespace
}  // namespace sim

// The loop port: the conformance suite with a fake device, and what is the loop port's
// own (opening by device entry, the close rule, the device table).
#include <gtest/gtest.h>

#include "platform/clock/clock.h"
#include "ports/conformance/conformance.h"
#include "ports/loop/fake_loop_device.h"
#include "ports/loop/loop_port.h"

namespace {

using portconf::Eventually;
using portconf::FakeSvc;
using portconf::Svc;

constexpr const char* kEntries = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\LoopPtr]
"Port"="LOOP:peer"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Lower]
"Port"="loop:peer"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Usb]
"Port"="USB1"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\NoPort]
"Model"="x"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Bare]
"Port"="LOOP:"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Elsewhere]
"Port"="LOOP:nosuch"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Dword]
"Port"=dword:00000001
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\Drawer]
"Port"="LOOP:peer"
)";

// Installs a factory that knows one device, "peer"; removes it again.
class PeerFactory {
public:
    PeerFactory() : device(std::make_shared<FakeLoopDevice>()) {
        loop::SetDeviceFactory([d = device](const std::string& name) {
            return name == "peer" ? std::static_pointer_cast<loop::ILoopDevice>(d) : nullptr;
        });
    }
    ~PeerFactory() { loop::SetDeviceFactory(nullptr); }
    std::shared_ptr<FakeLoopDevice> device;
};

class LoopAdapter : public portconf::PortAdapter {
public:
    std::string Entries() override { return kEntries; }
    std::string DeviceName() override { return "LoopPtr"; }
    std::unique_ptr<CPortDriver> CreateDriver() override { return std::make_unique<CLoopPort>(); }
    portconf::PeerDevice& Peer() override { return *factory_.device; }
    DWORD NoPowerAfterMs() override { return CLoopPort::kNoPowerAfterMs; }

private:
    PeerFactory factory_;
};

}  // namespace

namespace portconf {
KAVRO_PORT_CONFORMANCE(Loop, (DriverParam{"Loop", [] { return std::make_unique<LoopAdapter>(); }}));
}  // namespace portconf

namespace {

class LoopPort : public ::testing::Test {
protected:
    LoopPort() { reg.Import(kEntries); }
    ~LoopPort() override {
        for (auto& s : svcs) {
            if (!s->Closed()) {
                for (auto* d : {&port, &other}) d->PortClose(s.get());
            }
        }
    }
    Svc NewSvc(const std::string& devClass = "POSPrinter") {
        svcs.push_back(Svc::Adopt(new FakeSvc(devClass)));
        return svcs.back();
    }

    testenv::Registry reg;
    PeerFactory peer;
    std::vector<Svc> svcs;  // outlive the drivers
    CLoopPort port, other;
};

TEST_F(LoopPort, PortOpenFindsTheDeviceThroughItsEntry) {
    struct Case {
        const char* entry;
        const char* devClass;
        LONG readSize;
        LONG result;
    } cases[] = {
        {"LoopPtr", "POSPrinter", 31, PD_OK},
        {"Lower", "POSPrinter", 31, PD_OK},
        {"Drawer", "", 31, PD_OK},  // no class: every class key is searched
        {"Drawer", "POSPrinter", 31, PD_E_OPEN},
        {"NoSuchEntry", "POSPrinter", 31, PD_E_OPEN},
        {"Elsewhere", "POSPrinter", 31, PD_E_OPEN},
        {"Usb", "POSPrinter", 31, PD_E_NOPORT},
        {"NoPort", "POSPrinter", 31, PD_E_NOPORT},
        {"Bare", "POSPrinter", 31, PD_E_NOPORT},
        {"Dword", "POSPrinter", 31, PD_E_NOPORT},
        {"LoopPtr", "POSPrinter", 0, PD_E_PARAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + "/" + c.devClass);
        Svc s = NewSvc(c.devClass);
        PortOpenOptions o;
        o.readSize = c.readSize;
        EXPECT_EQ(port.PortOpen(c.entry, s.get(), o), c.result);
        EXPECT_EQ(peer.device->Connected(), c.result == PD_OK);
        EXPECT_EQ(port.PortClose(s.get()), c.result == PD_OK ? PD_OK : PD_E_NOTOPEN)
            << "a failed open leaves nothing registered";
        s->MarkClosed();
    }
    EXPECT_EQ(port.PortOpen("LoopPtr", nullptr, PortOpenOptions{}), PD_E_PARAM);
}

TEST_F(LoopPort, ADeviceConnectedToAnotherDriverIsInUse) {
    Svc a = NewSvc(), b = NewSvc();
    ASSERT_EQ(port.PortOpen("LoopPtr", a.get(), {}), PD_OK);
    EXPECT_EQ(other.PortOpen("LoopPtr", b.get(), {}), PD_E_INUSE);
    ASSERT_EQ(port.PortClose(a.get()), PD_OK);
    a->MarkClosed();
    EXPECT_EQ(other.PortOpen("LoopPtr", b.get(), {}), PD_OK);
}

TEST_F(LoopPort, CloseNeverRefusesAndFinishesTheBlockBeingWrittenWithoutCompletion) {
    Svc a = NewSvc(), b = NewSvc();
    ASSERT_EQ(port.PortOpen("LoopPtr", a.get(), {}), PD_OK);
    ASSERT_EQ(port.PortOpen("LoopPtr", b.get(), {}), PD_OK);
    peer.device->StallWrites(true);
    ASSERT_EQ(port.PortOutputData("A1", 2, 1, a.get(), 0, 1, 1, 0), PD_OK);
    ASSERT_TRUE(Eventually([&] { return peer.device->WriteStalled(); }));
    ASSERT_EQ(port.PortOutputData("A2", 2, 1, a.get(), 0, 1, 2, 0), PD_OK);
    ASSERT_EQ(port.PortOutputData("B1", 2, 1, b.get(), 0, 1, 3, 0), PD_OK);
    EXPECT_EQ(port.PortClose(a.get()), PD_OK) << "while its block is being written";
    a->MarkClosed();
    peer.device->StallWrites(false);
    ASSERT_TRUE(Eventually([&] { return !b->Completions().empty(); }));
    EXPECT_EQ(portconf::AllWritten(*peer.device), "A1B1");
    EXPECT_TRUE(a->Completions().empty());
}

TEST_F(LoopPort, ADeviceFoundOffIsReportedAndRefusesOutputAfterTheBound) {
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    peer.device->SetPower(PD_PS_OFF);
    Svc a = NewSvc();
    ASSERT_EQ(port.PortOpen("LoopPtr", a.get(), {}), PD_OK);
    ASSERT_TRUE(Eventually([&] { return !a->Powers().empty(); }));
    EXPECT_EQ(a->Powers(), (std::vector<LONG>{PD_PS_OFF}));
    clock.Advance(CLoopPort::kNoPowerAfterMs);
    EXPECT_EQ(port.PortOutputData("x", 1, 1, a.get(), 0, 1, 1, 0), PD_OK) << "not yet longer";
    clock.Advance(1);
    EXPECT_EQ(port.PortOutputData("x", 1, 1, a.get(), 0, 1, 1, 0), PD_E_NOPOWER);
}

TEST_F(LoopPort, ADeviceMayAnswerFromInsideWrite) {
    peer.device->AnswerEachWrite("ok");
    Svc a = NewSvc();
    ASSERT_EQ(port.PortOpen("LoopPtr", a.get(), {}), PD_OK);
    for (LONG tag = 1; tag <= 3; ++tag) {
        ASSERT_EQ(port.PortOutputData("?", 1, 1, a.get(), 0, 1, tag, 1), PD_OK);
    }
    ASSERT_TRUE(Eventually([&] { return a->Data() == "okokok" && a->Completions().size() == 3; }));
}

TEST_F(LoopPort, DestroyingTheDriverDisconnects) {
    auto driver = std::make_unique<CLoopPort>();
    Svc a = NewSvc();
    ASSERT_EQ(driver->PortOpen("LoopPtr", a.get(), {}), PD_OK);
    ASSERT_EQ(driver->PortOutputData("x", 1, 1, a.get(), 0, 1, 1, 0), PD_OK);
    driver.reset();
    a->MarkClosed();
    EXPECT_FALSE(peer.device->Connected());
    peer.device->Inject("late");
}

TEST(LoopDevices, OneDevicePerNameWhileHeldFromTheInstalledFactory) {
    int made = 0;
    loop::SetDeviceFactory([&](const std::string& name) -> std::shared_ptr<loop::ILoopDevice> {
        ++made;
        return name == "known" ? std::make_shared<FakeLoopDevice>() : nullptr;
    });
    auto first = loop::GetDevice("known");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(loop::GetDevice("known"), first);
    EXPECT_EQ(loop::GetDevice("unknown"), nullptr);
    EXPECT_EQ(loop::GetDevice(""), nullptr);
    EXPECT_EQ(made, 2);
    first.reset();
    EXPECT_NE(loop::GetDevice("known"), nullptr) << "made again once nobody held it";
    EXPECT_EQ(made, 3);
    loop::SetDeviceFactory(nullptr);
    EXPECT_EQ(loop::GetDevice("known"), nullptr);
}

TEST(LoopDevices, PortValues) {
    struct Case {
        const char* port;
        bool ok;
        const char* name;
    } cases[] = {{"LOOP:sim", true, "sim"}, {"Loop:A b", true, "A b"}, {"LOOP:", false, ""},
                 {"LOOP", false, ""},       {"USB1", false, ""},       {" LOOP:x", false, ""}};
    for (const Case& c : cases) {
        std::string name;
        EXPECT_EQ(CLoopPort::ParsePort(c.port, &name), c.ok) << c.port;
        if (c.ok) {
            EXPECT_EQ(name, c.name);
        }
    }
}

}  // namespace

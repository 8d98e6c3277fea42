// The conformance suite of the port driver contract. A driver's test binary runs it with
// a small adapter (a driver, its device entries and a peer device that records what was
// written and can answer):
//
//   namespace portconf {
//   KAVRO_PORT_CONFORMANCE(Loop, (DriverParam{"Loop", MakeAdapter}));
//   }
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "ports/conformance/fake_svc.h"
#include "ports/portdrv.h"
#include "tests/support/testenv.h"

namespace portconf {

// The device on the far side of the port, as the suite drives it. All calls may come
// from any thread.
class PeerDevice {
public:
    struct WriteRecord {
        std::string bytes;  // one write the driver made
        int injected;       // Inject calls made before it
    };
    virtual ~PeerDevice() = default;
    virtual std::vector<WriteRecord> Writes() = 0;
    virtual int Connections() = 0;  // times the driver opened the port so far
    virtual bool Connected() = 0;
    // Bytes sent from the device to the driver (delivered to the registrations).
    virtual void Inject(const std::string& bytes) = 0;
    // The device's raw power state (PD_PS_*), reported to the driver as a device would.
    virtual void SetPower(LONG rawState) = 0;
    // While stalled, a write that starts blocks in the device until the stall ends (or
    // the driver closes the port).
    virtual void StallWrites(bool on) = 0;
    virtual bool WriteStalled() = 0;  // a write is blocked now
};

class PortAdapter {
public:
    virtual ~PortAdapter() = default;
    // .reg text of the device entries, imported into the test's own registry.
    virtual std::string Entries() = 0;
    virtual std::string DeviceClass() { return "POSPrinter"; }
    virtual std::string DeviceName() = 0;  // the entry PortOpen is given
    virtual std::unique_ptr<CPortDriver> CreateDriver() = 0;
    virtual PeerDevice& Peer() = 0;
    virtual PortOpenOptions Options(LONG readSize) {
        PortOpenOptions o;
        o.readSize = readSize;
        return o;
    }
    // Output is refused with PD_E_NOPOWER once the device has been off longer than this
    // (platform clock); 0 when the driver has no such rule.
    virtual DWORD NoPowerAfterMs() { return 1000; }
};

struct DriverParam {
    std::string name;
    std::function<std::unique_ptr<PortAdapter>()> make;
};
std::string ParamName(const ::testing::TestParamInfo<DriverParam>& info);
inline void PrintTo(const DriverParam& p, std::ostream* os) {
    *os << p.name;
}

// Everything the peer received, in order.
std::string AllWritten(PeerDevice& peer);

class PortConformance : public ::testing::TestWithParam<DriverParam> {
protected:
    void SetUp() override;
    void TearDown() override;

    Svc NewSvc();
    LONG Open(FakeSvc* svc, LONG readSize = 31);
    // Opens and expects PD_OK.
    Svc Opened(LONG readSize = 31);
    // PortClose until it is no longer refused; marks the service closed.
    LONG Close(FakeSvc* svc);
    LONG Write(FakeSvc* svc, const std::string& bytes, LONG completionTag, int priority = 0,
               int awaitReply = 0);

    PeerDevice& Peer() { return adapter_->Peer(); }

    testenv::Registry reg_;
    std::unique_ptr<PortAdapter> adapter_;
    std::unique_ptr<CPortDriver> driver_;
    std::vector<Svc> svcs_;  // kept alive until the driver is gone
};

// The stress part: many threads opening, writing and closing at once.
class PortStress : public PortConformance {
protected:
    void Round(int role, int round, std::vector<Svc>* keep);
    void Run(bool anchored);
};

}  // namespace portconf

// Runs the whole suite for one driver.
#define KAVRO_PORT_CONFORMANCE(prefix, param)                                  \
    INSTANTIATE_TEST_SUITE_P(prefix, PortConformance, ::testing::Values param, \
                             ::portconf::ParamName);                           \
    INSTANTIATE_TEST_SUITE_P(prefix, PortStress, ::testing::Values param, ::portconf::ParamName)

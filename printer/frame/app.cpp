#include "printer/frame/app.h"

#include <array>
#include <atomic>
#include <cstdio>

#include "ports/portdrv.h"
#include "printer/frame/module.h"
#include "printer/shared/device_table.h"
#include "printer/shared/shared_port.h"
#include "printer/shared/shared_port_table.h"

namespace printer {

// The flags of this process alone, used when the device table cannot be attached.
struct CPrinterApp::LocalFlags {
    std::array<std::atomic<bool>, SharedDeviceTable::kPorts> claimed{};
    std::array<std::atomic<bool>, SharedDeviceTable::kPorts> busy{};
    static bool InRange(LONG portIndex) {
        return portIndex >= 1 && portIndex <= SharedDeviceTable::kPorts;
    }
};

CPrinterApp::CPrinterApp(const BuildTraits& traits)
    : traits_(traits),
      ports_(std::make_unique<SharedPortTable>([&traits]() -> std::unique_ptr<CPortDriver> {
          return traits.createDriver ? traits.createDriver() : nullptr;
      })),
      local_(std::make_unique<LocalFlags>()) {
    std::string error;
    devices_ = SharedDeviceTable::Attach(traits.progIdPrefix, &error);
    if (!devices_)
        std::fprintf(stderr, "%s: device table not shared (%s); claims hold in this process only\n",
                     traits.progIdPrefix, error.c_str());
}

CPrinterApp::~CPrinterApp() = default;

SharedPort* CPrinterApp::GetSharedPort(LONG portIndex) {
    return ports_->Get(portIndex);
}

bool CPrinterApp::TryClaimPrinter(LONG portIndex) {
    if (devices_) return devices_->TryClaim(ClaimKind::Printer, portIndex);
    if (!LocalFlags::InRange(portIndex)) return false;
    bool expected = false;
    return local_->claimed[portIndex - 1].compare_exchange_strong(expected, true);
}

void CPrinterApp::ReleasePrinterClaim(LONG portIndex) {
    if (devices_) {
        devices_->Release(ClaimKind::Printer, portIndex);
    } else if (LocalFlags::InRange(portIndex)) {
        local_->claimed[portIndex - 1] = false;
    }
}

bool CPrinterApp::PrinterClaimFlag(LONG portIndex) const {
    if (devices_) return devices_->Claimed(ClaimKind::Printer, portIndex);
    return LocalFlags::InRange(portIndex) && local_->claimed[portIndex - 1];
}

void CPrinterApp::SetPrinterBusy(LONG portIndex, bool busy) {
    if (devices_) {
        devices_->SetPrinterBusy(portIndex, busy);
    } else if (LocalFlags::InRange(portIndex)) {
        local_->busy[portIndex - 1] = busy;
    }
}

bool CPrinterApp::PrinterBusy(LONG portIndex) const {
    if (devices_) return devices_->PrinterBusy(portIndex);
    return LocalFlags::InRange(portIndex) && local_->busy[portIndex - 1];
}

CPrinterApp& CPrinterApp::Library() {
    // Kept for the life of the process: the library is never unloaded, and objects still
    // open at exit must not find their shared ports (and drivers) gone under them.
    static CPrinterApp* app = new CPrinterApp(ThisBuild());
    return *app;
}

}  // namespace printer

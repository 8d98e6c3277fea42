// The application object of the printer-family service library: the shared ports of
// the port indexes, the library-wide event-delivery counter, and the claim and busy flags
// of the printer per port index (kept in the cross-process device table).
//
// The library makes one for its whole life (CPrinterApp::Library()); tests may make their
// own with their own traits.
#pragma once

#include <memory>

#include "platform/wintypes.h"
#include "printer/frame/build_traits.h"
#include "printer/shared/delivery_guard.h"

class SharedPort;
class SharedPortTable;
class SharedDeviceTable;

namespace printer {

class CPrinterApp {
  public:
    explicit CPrinterApp(const BuildTraits& traits);
    ~CPrinterApp();  // deletes every shared port (and with it its driver)
    CPrinterApp(const CPrinterApp&) = delete;
    CPrinterApp& operator=(const CPrinterApp&) = delete;

    const BuildTraits& Traits() const { return traits_; }

    // The shared port of port index 1..1000, created on first request; null outside that
    // range or when the build has no driver.
    SharedPort* GetSharedPort(LONG portIndex);

    // Printer claim flag of a port index, shared by every process that loads the library:
    // taken by compare-and-swap (false when held, here or elsewhere), given up only by its
    // holder. PrinterClaimFlag tells whether anyone holds it.
    bool TryClaimPrinter(LONG portIndex);
    void ReleasePrinterClaim(LONG portIndex);
    bool PrinterClaimFlag(LONG portIndex) const;
    // Printer busy flag: State is OPOS_S_BUSY or OPOS_S_ERROR.
    void SetPrinterBusy(LONG portIndex, bool busy);
    bool PrinterBusy(LONG portIndex) const;

    // The event-delivery guard of the library: one event in delivery at a time.
    EventDeliveryGuard& DeliveryGuard() { return guard_; }

    // The library's own application object (made with the build's traits at first use).
    static CPrinterApp& Library();

  private:
    const BuildTraits& traits_;
    std::unique_ptr<SharedPortTable> ports_;
    // Null when the section cannot be attached: the claims then hold within this process.
    std::unique_ptr<SharedDeviceTable> devices_;
    struct LocalFlags;
    std::unique_ptr<LocalFlags> local_;
    EventDeliveryGuard guard_;
};

}  // namespace printer

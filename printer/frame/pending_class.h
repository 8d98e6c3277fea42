// Stand-in for a service class of the library whose service is not built yet (cash
// drawer, MICR, line display). It offers the common dispatch surface so that a control
// can create it and call OpenService, which answers OPOS_E_NOSERVICE (104) with
// ResultCodeExtended kNotYetAvailable; every other method answers as a closed object.
#pragma once

#include <string>

#include "platform/automation/automation.h"
#include "platform/wintypes.h"

namespace printer {

// ResultCodeExtended of OpenService on a class that is not available yet.
constexpr LONG kNotYetAvailable = 10006;

class CSoPendingCtrl : public plat::Dispatchable<CSoPendingCtrl> {
  public:
    explicit CSoPendingCtrl(std::string className) : className_(std::move(className)) {}
    static void Describe(plat::DispatchMap<CSoPendingCtrl>& m);

    LONG OpenService(const std::string& deviceClass, const std::string& deviceName,
                     plat::IDispatch* co);
    LONG Closed() { return Result(101, 0); }
    LONG ClosedWith(LONG) { return Result(101, 0); }
    LONG DirectIO(LONG command, LONG* data, std::string* text) { return Result(101, 0); }
    LONG GetPropertyNumber(LONG pidx);
    void SetPropertyNumber(LONG pidx, LONG value);
    std::string GetPropertyString(LONG) { return "[Error]"; }
    void SetPropertyString(LONG, const std::string&) { Result(101, 0); }
    LONG COFreezeEvents(LONG) { return 101; }

    const std::string& className() const { return className_; }

  private:
    LONG Result(LONG rc, LONG rcx) {
        resultCode_ = rc;
        resultCodeExtended_ = rcx;
        return rc;
    }
    std::string className_;
    LONG resultCode_ = 0;
    LONG resultCodeExtended_ = 0;
};

}  // namespace printer

#include "printer/frame/pending_class.h"

#include "include/opos.h"

namespace printer {

void CSoPendingCtrl::Describe(plat::DispatchMap<CSoPendingCtrl>& m) {
    m.Method("CheckHealth", &CSoPendingCtrl::ClosedWith)
        .Method("Close", &CSoPendingCtrl::Closed)
        .Method("DirectIO", &CSoPendingCtrl::DirectIO)
        .Method("Claim", &CSoPendingCtrl::ClosedWith)
        .Method("Release", &CSoPendingCtrl::Closed)
        .Method("GetPropertyNumber", &CSoPendingCtrl::GetPropertyNumber)
        .Method("GetPropertyString", &CSoPendingCtrl::GetPropertyString)
        .Method("SetPropertyNumber", &CSoPendingCtrl::SetPropertyNumber)
        .Method("SetPropertyString", &CSoPendingCtrl::SetPropertyString)
        .Method("COFreezeEvents", &CSoPendingCtrl::COFreezeEvents)
        .Method("OpenService", &CSoPendingCtrl::OpenService);
}

LONG CSoPendingCtrl::OpenService(const std::string&, const std::string&, plat::IDispatch*) {
    return Result(OPOS_E_NOSERVICE, kNotYetAvailable);
}

LONG CSoPendingCtrl::GetPropertyNumber(LONG pidx) {
    switch (pidx) {
        case PIDX_ResultCode:
            return resultCode_;
        case PIDX_ResultCodeExtended:
            return resultCodeExtended_;
        case PIDX_State:
            return OPOS_S_CLOSED;
    }
    return 0;
}

void CSoPendingCtrl::SetPropertyNumber(LONG pidx, LONG value) {
    if (pidx == PIDX_ResultCode) {
        resultCode_ = value;
    } else if (pidx == PIDX_ResultCodeExtended) {
        resultCodeExtended_ = value;
    } else {
        Result(OPOS_E_CLOSED, 0);
    }
}

}  // namespace printer

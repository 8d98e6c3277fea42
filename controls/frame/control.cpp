#include "controls/frame/control.h"

#include <cstdio>

#include "include/opos.h"
#include "include/kavro_codes.h"
#include "platform/automation/classes.h"
#include "platform/ui/ui.h"
#include "posframe/reginfo.h"

namespace {

const char* const kCommonMethods[SM_ClassFirst] = {
    "GetPropertyNumber", "SetPropertyNumber", "GetPropertyString", "SetPropertyString",
    "COFreezeEvents",    "OpenService",       "Close",             "Claim",
    "Release",           "CheckHealth"};

const char kErrorString[] = "[Error]";

}  // namespace

CControlFrame::CControlFrame(ControlSpec spec, InstanceCounter& counter)
    : spec_(std::move(spec)), counter_(counter) {
    GetInstanceID(counter_, &instanceId_);
    char caption[128];
    std::snprintf(caption, sizeof caption, spec_.captionFormat.c_str(),
                  static_cast<long>(instanceId_));
    caption_ = caption;
    closeEvent_ = CreateEvent(TRUE, FALSE);
    freezeEvent_ = CreateEvent(TRUE, FALSE);
    mutexName_ = EventMutexName();
}

CControlFrame::~CControlFrame() {
    Close();
    if (open_) {
        // The service refused to close; it must never call back into this control again.
        plat::DispParams freeze{true};
        plat::Variant v;
        InvokeService(SM_COFreezeEvents, freeze, &v);
        ReleaseService();
    }
    ResetInstanceID(counter_, instanceId_);
    CloseHandle(closeEvent_);
    CloseHandle(freezeEvent_);
}

// --- Open and Close ---

LONG CControlFrame::Open(const std::string& deviceName) {
    ResetEvent(closeEvent_);
    lastGate_ = -2;
    ClearHeld();
    if (open_) {
        SetHeld(OPOS_E_ILLEGAL, 0);
        return OPOS_E_ILLEGAL;
    }
    CRegistryInfo reg(spec_.classCode, 0);
    if (!reg.GetDeviceInfo(deviceName, spec_.classCode)) return OPOS_E_NOEXIST;

    // Any failure from here on is "no service" unless OpenService itself fails.
    auto fail = [&](LONG rc) {
        if (service_ && ids_.size() > SM_GetPropertyNumber &&
            ids_[SM_GetPropertyNumber] != plat::DISPID_UNKNOWN) {
            plat::DispParams a{static_cast<int32_t>(PIDX_ResultCodeExtended)};
            plat::Variant v;
            int32_t rcx = 0;
            if (SUCCEEDED(service_.Invoke(ids_[SM_GetPropertyNumber], plat::DISPATCH_METHOD, a,
                                          &v)) &&
                v.ToLong(&rcx))
                heldRcx_ = rcx;
        }
        ReleaseService();
        return rc;
    };
    if (reg.ProgId().empty()) return OPOS_E_NOSERVICE;
    plat::ComPtr<> so;
    if (FAILED(plat::CreateObject(reg.ProgId(), so.put()))) return OPOS_E_NOSERVICE;
    service_.Attach(so.get());

    ids_.assign(SM_ClassFirst + spec_.methods.size(), plat::DISPID_UNKNOWN);
    for (size_t i = 0; i < ids_.size(); ++i) {
        const std::string& name = i < SM_ClassFirst ? std::string(kCommonMethods[i])
                                                    : spec_.methods[i - SM_ClassFirst];
        if (FAILED(service_.GetId(name, &ids_[i]))) {
            ids_[i] = plat::DISPID_UNKNOWN;
            return fail(OPOS_E_NOSERVICE);
        }
    }

    plat::DispParams args{spec_.deviceClass, reg.ServiceName(), static_cast<IDispatch*>(this)};
    plat::Variant result;
    LONG rc = ResultOf(InvokeService(SM_OpenService, args, &result), result);
    if (rc != OPOS_SUCCESS) return fail(rc);

    // The container's freeze state holds for every service it opens.
    if (freezeRequested_) {
        plat::DispParams f{true};
        InvokeService(SM_COFreezeEvents, f, &result);
    }
    open_ = true;
    serviceVersion_ = ServiceNumber(PIDX_ServiceObjectVersion);
    UpdateServiceInfo(reg.EntryKey(), ServiceString(PIDX_ServiceObjectDescription),
                      serviceVersion_);
    return OPOS_SUCCESS;
}

LONG CControlFrame::Close() {
    SetEvent(closeEvent_);
    ClearHeld();
    if (!open_) return OPOS_E_CLOSED;
    plat::DispParams none;
    plat::Variant result;
    LONG rc = ResultOf(InvokeService(SM_Close, none, &result), result);
    if (rc == OPOS_SUCCESS) {
        ReleaseService();
    } else {
        // Still open: it must go on delivering events.
        ResetEvent(closeEvent_);
    }
    return rc;
}

void CControlFrame::ReleaseService() {
    service_.Release();
    ids_.clear();
    open_ = false;
    serviceVersion_ = 0;
}

HRESULT CControlFrame::InvokeService(size_t method, plat::DispParams& args,
                                     plat::Variant* result) {
    if (!service_ || method >= ids_.size() || ids_[method] == plat::DISPID_UNKNOWN)
        return DISP_E_MEMBERNOTFOUND;
    // The service may call back into this control (same thread): keep it alive.
    plat::ComPtr<> keep(service_.get());
    return service_.Invoke(ids_[method], plat::DISPATCH_METHOD, args, result);
}

LONG CControlFrame::ResultOf(HRESULT hr, const plat::Variant& v) {
    if (FAILED(hr)) return OPOS_E_NOSERVICE;
    int32_t rc = 0;
    return v.ToLong(&rc) ? rc : OPOS_SUCCESS;
}

// --- Methods ---

LONG CControlFrame::ForwardMethod(size_t method, plat::DispParams args) {
    ClearHeld();
    if (!open_) return OPOS_E_CLOSED;
    plat::Variant result;
    return ResultOf(InvokeService(method, args, &result), result);
}

LONG CControlFrame::ForwardByName(const std::string& name, plat::DispParams& args) {
    ClearHeld();
    if (!open_) return OPOS_E_CLOSED;
    plat::Variant result;
    plat::ComPtr<> keep(service_.get());
    return ResultOf(service_.Call(name, args, &result), result);
}

LONG CControlFrame::DirectIO(LONG command, LONG* data, std::string* text) {
    if (open_ && command == kDirectIOGateResult && data && *data == -1) {
        *data = lastGate_;
        return OPOS_SUCCESS;
    }
    size_t method = SM_ClassFirst;
    for (; method < ids_.size(); ++method)
        if (spec_.methods[method - SM_ClassFirst] == "DirectIO") break;
    if (open_ && method >= ids_.size()) {
        plat::DispParams a{command, data, text};
        return ForwardByName("DirectIO", a);
    }
    return ForwardMethod(method, {command, data, text});
}

void CControlFrame::AboutBox() {
    std::string name = spec_.description.substr(0, spec_.description.find(','));
    MessageBox(0, name + ", Version 1.3.1", "About " + name, MB_OK | MB_ICONINFORMATION);
}

// --- Properties ---

LONG CControlFrame::ServiceNumber(LONG pidx, LONG closedValue) {
    if (!open_ && !service_) return closedValue;
    plat::DispParams a{pidx};
    plat::Variant v;
    int32_t n = 0;
    if (FAILED(InvokeService(SM_GetPropertyNumber, a, &v)) || !v.ToLong(&n)) return closedValue;
    return n;
}

std::string CControlFrame::ServiceString(LONG pidx) {
    if (!open_ && !service_) return kErrorString;
    plat::DispParams a{pidx};
    plat::Variant v;
    if (FAILED(InvokeService(SM_GetPropertyString, a, &v)) || !v.GetString()) return kErrorString;
    return *v.GetString();
}

LONG CControlFrame::GetResultCode() {
    if (held_) return heldRc_;
    return open_ ? ServiceNumber(PIDX_ResultCode) : OPOS_E_CLOSED;
}

LONG CControlFrame::GetResultCodeExtended() {
    if (held_ || !open_) return heldRcx_;
    return ServiceNumber(PIDX_ResultCodeExtended);
}

LONG CControlFrame::GetState() { return open_ ? ServiceNumber(PIDX_State) : OPOS_S_CLOSED; }

LONG CControlFrame::GatedNumber(LONG pidx, LONG gate) {
    if (!open_ || serviceVersion_ < gate) return 0;
    return ServiceNumber(pidx);
}

void CControlFrame::ForwardNumber(LONG pidx, LONG value) {
    if (!open_) {
        heldRcx_ = 0;
        return;
    }
    ClearHeld();
    plat::DispParams a{pidx, value};
    plat::Variant v;
    InvokeService(SM_SetPropertyNumber, a, &v);
}

void CControlFrame::GatedForward(LONG pidx, LONG value, LONG gate) {
    if (open_ && serviceVersion_ < gate) {
        SetHeld(OPOS_E_NOSERVICE, KAVRO_E_OLDSERVICE);
        return;
    }
    ForwardNumber(pidx, value);
}

void CControlFrame::ForwardString(LONG pidx, const std::string& value) {
    if (!open_) {
        heldRcx_ = 0;
        return;
    }
    ClearHeld();
    plat::DispParams a{pidx, value};
    plat::Variant v;
    InvokeService(SM_SetPropertyString, a, &v);
}

// --- Events ---

LONG CControlFrame::Fire(DISPID id, plat::DispParams& args) {
    HANDLE context = nullptr;
    LONG r = EnterEventCS(mutexName_, &context, freezeEvent_, closeEvent_);
    lastGate_ = r;
    if (r != 0) return r == 1 ? 0 : 1;  // closing: dropped; frozen or no gate: kept
    events_.Fire(id, args);
    LeaveEventCS(context);
    return 0;
}

LONG CControlFrame::SOData(LONG status) {
    plat::DispParams a{status};
    return Fire(spec_.dataEvent, a);
}

LONG CControlFrame::SODirectIO(LONG eventNumber, LONG* data, std::string* text) {
    plat::DispParams a{eventNumber, data, text};
    return Fire(spec_.directIOEvent, a);
}

LONG CControlFrame::SOError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                            LONG* errorResponse) {
    plat::DispParams a{resultCode, resultCodeExtended, errorLocus, errorResponse};
    return Fire(spec_.errorEvent, a);
}

LONG CControlFrame::SOOutputComplete(LONG outputId) {
    plat::DispParams a{outputId};
    return Fire(spec_.outputCompleteEvent, a);
}

LONG CControlFrame::SOStatusUpdate(LONG status) {
    plat::DispParams a{status};
    return Fire(spec_.statusUpdateEvent, a);
}

LONG CControlFrame::SOProcessID() { return static_cast<LONG>(GetCurrentProcessId()); }

// --- Container notifications ---

void CControlFrame::OnFreezeEvents(bool freeze) {
    freezeRequested_ = freeze;
    if (freeze)
        SetEvent(freezeEvent_);
    else
        ResetEvent(freezeEvent_);
    if (open_) {
        plat::DispParams a{freeze};
        plat::Variant v;
        InvokeService(SM_COFreezeEvents, a, &v);
    }
}

void CControlFrame::OnDraw() { COOnDraw(nullptr, DrawBounds{}, caption_, nullptr, 1); }

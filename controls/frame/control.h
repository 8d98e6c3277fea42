// The frame of every control object: Open finds the device in the registry, creates its
// service object by ProgID and opens it; properties and methods are forwarded through
// the service's dispatch interface; the service's SO* callbacks become events fired on
// the container's thread inside the process-wide event gate.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/sync/sync.h"
#include "posframe/control_support.h"
#include "posframe/dispatch_table.h"

using plat::IDispatch;

// What differs between controls.
struct ControlSpec {
    int classCode = 0;               // device class code of the registry lookup
    std::string deviceClass;         // class string passed to OpenService ("MSR", ...)
    std::string captionFormat;       // "MSR%ld", formatted with the instance id
    std::vector<std::string> methods;  // service methods resolved after the common ten
    LONG version = 1003001;          // ControlObjectVersion
    std::string description;         // ControlObjectDescription
    // Event dispatch ids of the control's event interface.
    DISPID dataEvent = 1, directIOEvent = 2, errorEvent = 3, outputCompleteEvent = 4,
           statusUpdateEvent = 5;
};

// Indexes of the service method table: the common ten, then ControlSpec::methods.
enum ServiceMethod : size_t {
    SM_GetPropertyNumber,
    SM_SetPropertyNumber,
    SM_GetPropertyString,
    SM_SetPropertyString,
    SM_COFreezeEvents,
    SM_OpenService,
    SM_Close,
    SM_Claim,
    SM_Release,
    SM_CheckHealth,
    SM_ClassFirst,  // first of ControlSpec::methods
};

// The container's interface of a control (what an ActiveX site calls), as dispatch
// members with fixed negative ids: OleAdvise(IDispatch* sink) -> cookie,
// OleUnadvise(cookie), OleFreezeEvents(BOOL), OleResetState(), OleDraw().
constexpr DISPID kDispOleAdvise = -1000;
constexpr DISPID kDispOleUnadvise = -1001;
constexpr DISPID kDispOleFreezeEvents = -1002;
constexpr DISPID kDispOleResetState = -1003;
constexpr DISPID kDispOleDraw = -1004;

// DirectIO command answered by the control itself: the last event gate result.
constexpr LONG kDirectIOGateResult = -960726;

// Result of the SO* callbacks: 1 = the control refused the event while frozen (the service
// keeps it queued); 0 = fired, or dropped because the control is closing.
class CControlFrame : public plat::DispatchObject {
public:
    // --- Methods of the control interface ---
    LONG Open(const std::string& deviceName);
    LONG Close();
    LONG Claim(LONG timeout) { return ForwardMethod(SM_Claim, {timeout}); }
    LONG ReleaseDevice() { return ForwardMethod(SM_Release, {}); }  // "Release"
    LONG CheckHealth(LONG level) { return ForwardMethod(SM_CheckHealth, {level}); }
    LONG DirectIO(LONG command, LONG* data, std::string* text);
    void AboutBox();

    // --- Called by the service object ---
    LONG SOData(LONG status);
    LONG SODirectIO(LONG eventNumber, LONG* data, std::string* text);
    LONG SOError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* errorResponse);
    LONG SOOutputComplete(LONG outputId);
    LONG SOStatusUpdate(LONG status);
    LONG SOProcessID();

    // --- Common properties ---
    LONG GetClaimed() { return ServiceNumber(1); }
    LONG GetDeviceEnabled() { return ServiceNumber(3); }
    void SetDeviceEnabled(LONG v) { ForwardNumber(3, v); }
    LONG GetFreezeEvents() { return ServiceNumber(4); }
    void SetFreezeEvents(LONG v) { ForwardNumber(4, v); }
    // DataEventEnabled and DataCount: only the controls of classes with data events.
    LONG GetDataEventEnabled() { return ServiceNumber(2); }
    void SetDataEventEnabled(LONG v) { ForwardNumber(2, v); }
    LONG GetDataCount() { return GatedNumber(12, 1002000); }
    LONG GetResultCode();
    LONG GetResultCodeExtended();
    LONG GetState();
    LONG GetServiceObjectVersion() { return ServiceNumber(8); }
    std::string GetCheckHealthText() { return ServiceString(1000001); }
    std::string GetDeviceDescription() { return ServiceString(1000002); }
    std::string GetDeviceName() { return ServiceString(1000003); }
    std::string GetServiceObjectDescription() { return ServiceString(1000004); }
    std::string GetControlObjectDescription() { return spec_.description; }
    LONG GetControlObjectVersion() { return spec_.version; }
    LONG GetAutoDisable() { return GatedNumber(10, 1002000); }
    void SetAutoDisable(LONG v) { GatedForward(10, v, 1002000); }
    LONG GetBinaryConversion() { return GatedNumber(11, 1002000); }
    void SetBinaryConversion(LONG v) { GatedForward(11, v, 1002000); }
    LONG GetCapPowerReporting() { return GatedNumber(501, 1003000); }
    LONG GetPowerNotify() { return GatedNumber(13, 1003000); }
    void SetPowerNotify(LONG v) { GatedForward(13, v, 1003000); }
    LONG GetPowerState() { return GatedNumber(14, 1003000); }

    // --- Container notifications ---
    void OnFreezeEvents(bool freeze);
    void OnResetState() { Close(); }
    void OnDraw();

    LONG OleAdvise(IDispatch* sink) { return static_cast<LONG>(Advise(sink)); }
    void OleUnadvise(LONG cookie) { Unadvise(static_cast<uint32_t>(cookie)); }
    void OleFreezeEvents(bool freeze) { OnFreezeEvents(freeze); }

    // Event sinks of the container.
    uint32_t Advise(IDispatch* sink) { return events_.Advise(sink); }
    void Unadvise(uint32_t cookie) { events_.Unadvise(cookie); }

    bool IsOpen() const { return open_; }
    LONG InstanceId() const { return instanceId_; }
    const std::string& Caption() const { return caption_; }
    LONG ServiceVersion() const { return serviceVersion_; }

protected:
    CControlFrame(ControlSpec spec, InstanceCounter& counter);
    ~CControlFrame() override;

    // Property access for derived controls.
    LONG ServiceNumber(LONG pidx, LONG closedValue = 0);  // service value when open
    std::string ServiceString(LONG pidx);                 // "[Error]" when closed
    LONG GatedNumber(LONG pidx, LONG gate);               // 0 below the gate or closed
    void ForwardNumber(LONG pidx, LONG value);            // forwarded write
    void GatedForward(LONG pidx, LONG value, LONG gate);  // gated forward
    void ForwardString(LONG pidx, const std::string& value);

    // Clears the held result and calls a service method of the table (101 when closed).
    LONG ForwardMethod(size_t method, plat::DispParams args);
    // Calls a service method by name (resolved through the service's dispatch).
    LONG ForwardByName(const std::string& name, plat::DispParams& args);
    plat::DispatchDriver& Service() { return service_; }

    void SetHeld(LONG rc, LONG rcx) {
        held_ = true;
        heldRc_ = rc;
        heldRcx_ = rcx;
    }
    void ClearHeld() {
        held_ = false;
        heldRc_ = 0;
        heldRcx_ = 0;
    }

private:
    LONG Fire(DISPID id, plat::DispParams& args);
    HRESULT InvokeService(size_t method, plat::DispParams& args, plat::Variant* result);
    LONG ResultOf(HRESULT hr, const plat::Variant& v);
    void ReleaseService();

    ControlSpec spec_;
    InstanceCounter& counter_;
    plat::DispatchDriver service_;
    std::vector<DISPID> ids_;  // service method table
    plat::EventSource events_;
    bool open_ = false;
    LONG serviceVersion_ = 0;
    bool held_ = false;
    LONG heldRc_ = 0, heldRcx_ = 0;
    LONG instanceId_ = 0;
    std::string caption_;
    bool freezeRequested_ = false;
    HANDLE closeEvent_ = nullptr;
    HANDLE freezeEvent_ = nullptr;
    std::string mutexName_;
    LONG lastGate_ = -2;
};

// The members every control's dispatch map starts with (common properties, the common
// methods and the SO callbacks), in one fixed order. A control adds its own after.
template <class C>
void DescribeCommonProperties(plat::DispatchMap<C>& m);
template <class C>
void DescribeCommonMethods(plat::DispatchMap<C>& m);

#include "controls/frame/control_map.h"

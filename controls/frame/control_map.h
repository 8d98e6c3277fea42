// Dispatch-map fragments shared by every control (included by control.h).
#pragma once

template <class C>
void DescribeCommonProperties(plat::DispatchMap<C>& m) {
    m.Property("Claimed", &CControlFrame::GetClaimed)
        .Property("DeviceEnabled", &CControlFrame::GetDeviceEnabled,
                  &CControlFrame::SetDeviceEnabled)
        .Property("FreezeEvents", &CControlFrame::GetFreezeEvents, &CControlFrame::SetFreezeEvents)
        .Property("ResultCode", &CControlFrame::GetResultCode)
        .Property("ResultCodeExtended", &CControlFrame::GetResultCodeExtended)
        .Property("State", &CControlFrame::GetState)
        .Property("ServiceObjectVersion", &CControlFrame::GetServiceObjectVersion)
        .Property("CheckHealthText", &CControlFrame::GetCheckHealthText)
        .Property("DeviceDescription", &CControlFrame::GetDeviceDescription)
        .Property("DeviceName", &CControlFrame::GetDeviceName)
        .Property("ServiceObjectDescription", &CControlFrame::GetServiceObjectDescription)
        .Property("ControlObjectDescription", &CControlFrame::GetControlObjectDescription)
        .Property("ControlObjectVersion", &CControlFrame::GetControlObjectVersion)
        .Property("AutoDisable", &CControlFrame::GetAutoDisable, &CControlFrame::SetAutoDisable)
        .Property("BinaryConversion", &CControlFrame::GetBinaryConversion,
                  &CControlFrame::SetBinaryConversion)
        .Property("CapPowerReporting", &CControlFrame::GetCapPowerReporting)
        .Property("PowerNotify", &CControlFrame::GetPowerNotify, &CControlFrame::SetPowerNotify)
        .Property("PowerState", &CControlFrame::GetPowerState);
}

template <class C>
void DescribeCommonMethods(plat::DispatchMap<C>& m) {
    m.Method("Open", &CControlFrame::Open)
        .Method("Close", &CControlFrame::Close)
        .Method("Claim", &CControlFrame::Claim)
        .Method("Release", &CControlFrame::ReleaseDevice)
        .Method("CheckHealth", &CControlFrame::CheckHealth)
        .Method("DirectIO", &CControlFrame::DirectIO)
        .Method("SOData", &CControlFrame::SOData)
        .Method("SODirectIO", &CControlFrame::SODirectIO)
        .Method("SOError", &CControlFrame::SOError)
        .Method("SOOutputComplete", &CControlFrame::SOOutputComplete)
        .Method("SOStatusUpdate", &CControlFrame::SOStatusUpdate)
        .Method("SOProcessID", &CControlFrame::SOProcessID)
        .WithId(plat::DISPID_ABOUTBOX)
        .Method("AboutBox", &CControlFrame::AboutBox)
        // The container's side (the ActiveX site): events, freeze, reset, draw.
        .WithId(kDispOleAdvise)
        .Method("OleAdvise", &CControlFrame::OleAdvise)
        .WithId(kDispOleUnadvise)
        .Method("OleUnadvise", &CControlFrame::OleUnadvise)
        .WithId(kDispOleFreezeEvents)
        .Method("OleFreezeEvents", &CControlFrame::OleFreezeEvents)
        .WithId(kDispOleResetState)
        .Method("OleResetState", &CControlFrame::OnResetState)
        .WithId(kDispOleDraw)
        .Method("OleDraw", &CControlFrame::OnDraw);
}

// Devices of the in-process loop port: a device (the printer simulator, or a test's
// fake) lives in the same process as the driver. The driver hands it every byte it
// writes; the device answers through its host (the driver side).
//
// A device entry selects the loop port with "Port"="LOOP:<name>"; every driver object
// that opens <name> reaches the same device object. Devices come from the factory that
// the process installed (the simulator installs one; tests may install their own).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/wintypes.h"

namespace loop {

// The driver side of a connection, as the device sees it. Calls may come from any
// thread, never while the device holds a lock the driver's Write could need.
class ILoopHost {
public:
    virtual ~ILoopHost() = default;
    virtual void Input(const BYTE* data, size_t length) = 0;  // bytes from the device
    virtual void Power(LONG rawState) = 0;                    // PD_PS_* of include/portdrv.h
};

class ILoopDevice {
public:
    virtual ~ILoopDevice() = default;
    // The driver connects when its port opens and disconnects (nullptr) when it closes.
    // Returns false when another host is connected (the port is in use).
    virtual bool Connect(ILoopHost* host) = 0;
    virtual void Disconnect(ILoopHost* host) = 0;
    // Bytes the driver wrote. The device may answer from inside (through the host).
    virtual void Write(const BYTE* data, size_t length) = 0;
    // Raw power state now (PD_PS_ONLINE when powered and ready).
    virtual LONG PowerState() = 0;
};

using DeviceFactory = std::function<std::shared_ptr<ILoopDevice>(const std::string& name)>;

// Installs the factory (replacing any earlier one); null removes it.
void SetDeviceFactory(DeviceFactory factory);
// Whether a factory is installed.
bool HasDeviceFactory();
// The device of `name`, created by the factory on first use and kept while anyone holds
// it; nullptr when there is no factory or it has no such device.
std::shared_ptr<ILoopDevice> GetDevice(const std::string& name);

}  // namespace loop

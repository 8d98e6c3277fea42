// The in-process loop port: a port driver whose device (the printer simulator or a
// test's fake, see loopdev.h) lives in the same process. A device entry selects it with
// "Port"="LOOP:<name>".
//
// The first registration connects to the device and starts two threads: the output
// thread writes the queued blocks to the device; the input thread delivers what the
// device sent (queued on the device's thread) and its power changes to every
// registration. PortClose never refuses: it drops the service object's queued blocks
// except the one being written, which is finished without a completion.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/callback_gate.h"
#include "ports/portdrv.h"

class CLoopPort : public CPortDriver {
public:
    // Output is refused (PD_E_NOPOWER) once the device has been off longer than this.
    static constexpr DWORD kNoPowerAfterMs = 1000;
    // Input from the device waiting for delivery beyond this is dropped.
    static constexpr size_t kMaxPendingInput = 1 << 20;

    CLoopPort();
    ~CLoopPort() override;
    CLoopPort(const CLoopPort&) = delete;
    CLoopPort& operator=(const CLoopPort&) = delete;

    // The device entry is looked up under the class key of svc->m_strDevClass (every
    // class key under ServiceOPOS when that is empty). PD_E_PARAM for a null argument or
    // a readSize below 1; PD_E_OPEN when there is no such entry or no such loop device;
    // PD_E_NOPORT when its "Port" is not "LOOP:<name>"; PD_E_INUSE when the device is
    // connected to another driver object.
    LONG PortOpen(const char* deviceName, CSvcBase* svc, const PortOpenOptions& options) override;
    LONG PortClose(CSvcBase* svc) override;
    using CPortDriver::PortOutputData;
    // PD_E_NOTOPEN when `svc` is not registered, or for an anonymous block while the port
    // is closed; PD_E_PARAM for null data with a length.
    LONG PortOutputData(const char* data, unsigned long length, LONG errorTag, CSvcBase* svc,
                        int priority, int flowMode, LONG completionTag, int awaitReply) override;
    // PD_E_PARAM for a null `svc`, PD_E_NOTOPEN when it is not registered.
    LONG ClearOutputBuffer(CSvcBase* svc, int purgeDevice) override;

    // The loop device name of a "Port" value "LOOP:<name>" (prefix in any case); false
    // for any other value.
    static bool ParsePort(const std::string& port, std::string* name);

private:
    class Session;

    std::shared_ptr<Session> Current() const;
    LONG OpenPort(const char* deviceName, CSvcBase* svc, std::shared_ptr<Session>* session);
    void CloseIfUnused();
    void ReapRetired();

    ports::CallbackGate gate_;
    std::mutex openLock_;             // opening and closing the port; never held in a callback
    mutable std::mutex sessionLock_;  // session_ itself
    std::shared_ptr<Session> session_;
    // Sessions ended by a close from one of their own threads, joined later.
    std::vector<std::shared_ptr<Session>> retired_;
};

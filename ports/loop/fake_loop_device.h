// A loop device for the driver's tests: records every write, sends input and power
// changes when told, and can hold writes (stall) until released or disconnected.
#pragma once

#include <condition_variable>
#include <mutex>

#include "ports/conformance/conformance.h"
#include "ports/loop/loopdev.h"

class FakeLoopDevice : public loop::ILoopDevice, public portconf::PeerDevice {
public:
    // --- loop::ILoopDevice ---
    bool Connect(loop::ILoopHost* host) override;
    void Disconnect(loop::ILoopHost* host) override;
    void Write(const BYTE* data, size_t length) override;
    LONG PowerState() override;

    // --- portconf::PeerDevice ---
    std::vector<WriteRecord> Writes() override;
    int Connections() override;
    bool Connected() override;
    void Inject(const std::string& bytes) override;
    void SetPower(LONG rawState) override;
    void StallWrites(bool on) override;
    bool WriteStalled() override;

    // Input sent back from inside Write for every write (a device answering at once).
    void AnswerEachWrite(const std::string& answer);

private:
    std::mutex hostLock_;  // held while calling the host, so Disconnect ends every call
    loop::ILoopHost* host_ = nullptr;
    LONG power_ = PD_PS_ONLINE;

    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<WriteRecord> writes_;
    int connections_ = 0;
    int injected_ = 0;
    bool connected_ = false;
    bool stall_ = false;
    bool stalled_ = false;
    std::string answer_;
};

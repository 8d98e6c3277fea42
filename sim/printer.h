// The simulated printer's protocol engine, apart from any transport: it is fed the bytes
// the printer receives, answers through its sink, and keeps the state that tests change
// with control lines (see docs/simulator.md).
//
// Thread safety: every method may be called from any thread. Answers are queued under
// the engine's lock and handed to the sink after it is released, in the order they were
// made, by one thread at a time; a sink may call back into the engine (Receive, Control)
// from inside its calls.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/commands.h"
#include "sim/status.h"

namespace sim {

// Where the printer's output goes (a transport, or a test).
class Sink {
  public:
    virtual ~Sink() = default;
    virtual void Send(const uint8_t* data, size_t length) = 0;  // bytes the printer sends
    virtual void PowerChanged(bool on) = 0;
    virtual void Trace(const std::string& line) {}  // what the engine did, for people
};

class Printer : private CommandParser::Handler {
  public:
    // Bytes of received data kept for Received(); older ones are dropped beyond this.
    static constexpr size_t kMaxReceivedKept = 4 << 20;
    static constexpr size_t kMaxTraceKept = 1000;

    Printer();
    ~Printer() override;
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Bytes the printer receives, in any pieces.
    void Receive(const uint8_t* data, size_t length);
    void Receive(std::string_view bytes) {
        Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    // One control line ("cover open", ...): "ok", "error: ..." or the answer of a query.
    std::string Control(std::string_view line);

    // Connects the sink; false when another one is connected. Detach returns when no
    // call into the sink is running any more (at once when called from inside one).
    bool Attach(Sink* sink);
    void Detach(Sink* sink);

    bool Attached() const;
    bool Powered() const;
    PrinterState State() const;
    bool AutoStatusEnabled() const;
    // Everything received while powered (the newest kMaxReceivedKept bytes).
    std::string Received() const;
    void ClearReceived();
    std::vector<std::string> TraceLines() const;
    // Appends every received byte to `path` as well (raw); an empty path stops it.
    bool OpenLog(const std::string& path, std::string* error);

  private:
    struct Out {
        enum Kind { kData, kPower, kTrace } kind;
        std::string text;  // data or trace line
        bool on = false;   // kPower
    };

    // --- CommandParser::Handler (under lock_) ---
    void OnCommand(const Command& command) override;
    void OnText(std::string_view text) override;
    void OnControl(uint8_t b) override;

    // Under lock_.
    void Emit(std::string bytes);  // answer bytes (dropped while off or muted)
    void TraceLocked(std::string line);
    void FlushText();
    void SendFrameIfChanged();
    void SendFrame();
    void PowerOff();
    void PowerOn();
    void RealTimeStatusRequest(const Command& command);
    void TransmitId(uint8_t n);
    std::string StatusLine() const;
    std::string ControlLocked(const std::vector<std::string>& words);
    std::string SetSlipSensors(const std::vector<std::string>& words);

    // Hands queued output to the sink; one thread delivers at a time.
    void Deliver();

    mutable std::mutex lock_;
    CommandParser parser_;
    PrinterState state_;
    bool powered_ = true;
    bool autoStatus_ = false;
    bool selected_ = true;  // the printer takes commands (1B 3D with bit 0)
    bool muted_ = false;
    bool notices_ = true;  // ";0" / ";1" at power off / on
    uint8_t romVersion_ = 0x20;
    uint8_t typeId_ = 0x02;  // autocutter present
    uint8_t modeId_ = 0x00;  // normal mode
    std::string lastFrame_;  // the last automatic status frame sent
    std::string text_;       // printable text of the current line
    std::string received_;
    size_t dropped_ = 0;  // bytes received while off
    std::FILE* log_ = nullptr;
    std::deque<std::string> trace_;

    std::deque<Out> outbox_;
    Sink* sink_ = nullptr;
    bool delivering_ = false;
    bool inCall_ = false;
    std::thread::id deliverer_;
    std::condition_variable callDone_;
};

}  // namespace sim

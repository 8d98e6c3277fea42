// The event side of posctl: the sink advised to every control, one printed line per
// event, the arrivals `wait` looks for and the response `respond` gives.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/automation/automation.h"

namespace posctl {

// Writes whole lines to a stream and flushes each, so output can be followed live.
class Output {
public:
    explicit Output(FILE* f) : f_(f) {}
    void Line(std::string_view text);

private:
    FILE* f_;
    std::mutex mu_;  // events from a stray thread never tear a line
};

class EventPrinter {
public:
    explicit EventPrinter(Output& out) : out_(out) {}  // `out` lives as long as the program

    // The sink's Invoke: prints the event, applies a pending response to ErrorEvent.
    HRESULT OnEvent(DISPID id, plat::DispParams& args);

    // ErrorResponse written into the next ErrorEvent (one event only).
    void SetResponse(int32_t response);
    // True, consuming it, when an event with dispatch id `id` (1..5) arrived that no
    // earlier Take took.
    bool Take(DISPID id);

private:
    Output& out_;
    std::mutex mu_;  // guards the fields below
    std::optional<int32_t> response_;
    uint64_t arrived_[5] = {};
    uint64_t taken_[5] = {};
};

// A sink object for OleAdvise that forwards to `printer`; it keeps the printer alive for
// as long as a control holds it.
plat::ComPtr<> CreateSink(std::shared_ptr<EventPrinter> printer);

}  // namespace posctl

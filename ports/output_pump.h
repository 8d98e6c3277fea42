// The output thread's loop, common to the drivers: take the next block, write it in
// pieces through the driver's transport, check after each piece whether to abandon it,
// then report completion (or, after repeated failure, the error once) through the
// callback gate, so that no driver lock is held during the callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"
#include "ports/callback_gate.h"
#include "ports/output_queue.h"

namespace ports {

// What a driver gives the loop. Each call is made on the output thread, without any
// lock of the queue or the gate held.
class OutputTransport {
public:
    virtual ~OutputTransport() = default;
    // Writes up to `length` bytes of `block`; returns how many were written, 0 when none
    // could be (no progress), or -1 when the write failed.
    virtual long WritePiece(const OutputBlock& block, const char* data, size_t length) = 0;
    // Drops what the device still holds of an abandoned block (ClearOutputBuffer with
    // purge).
    virtual void Purge() {}
    // A count of input deliveries from the device so far, and a wait until the count
    // passes `since` (awaitReply), the driver stops, or `ms` pass.
    virtual uint64_t InputCount() = 0;
    virtual void AwaitInput(uint64_t since, DWORD ms) = 0;
    // Waits `ms` before a failed piece is retried; false when the driver stops.
    virtual bool RetryPause(DWORD ms) = 0;
};

struct OutputPolicy {
    size_t pieceSize = 512;       // bytes per WritePiece call
    int failuresBeforeError = 3;  // failed pieces in a row before PortError
    DWORD retryDelayMs = 100;     // pause between attempts after a failure
    DWORD awaitReplyMs = 1000;    // awaitReply: the longest wait for input
};

// Writes blocks until queue.Take returns false (after queue.Stop).
void RunOutputLoop(OutputQueue& queue, CallbackGate& gate, OutputTransport& transport,
                   const OutputPolicy& policy);

}  // namespace ports

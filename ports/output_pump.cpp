#include "ports/output_pump.h"

#include <algorithm>

#include "posframe/svcbase.h"

namespace ports {

namespace {

// Writes one block. Returns true when it was written whole.
bool WriteBlock(const OutputBlock& block, OutputQueue& queue, CallbackGate& gate,
                OutputTransport& transport, const OutputPolicy& policy) {
    const size_t piece = std::max<size_t>(policy.pieceSize, 1);
    size_t offset = 0;
    int failures = 0;
    bool errorReported = false;
    while (offset < block.data.size()) {
        const size_t n = std::min(piece, block.data.size() - offset);
        const long written = transport.WritePiece(block, block.data.data() + offset, n);
        if (written > 0) {
            offset += std::min(static_cast<size_t>(written), n);
            failures = 0;
        } else {
            // An anonymous block is tried once and dropped whatever the outcome.
            if (!block.owner) return false;
            if (++failures >= policy.failuresBeforeError && !errorReported) {
                errorReported = true;
                gate.Call(block.owner,
                          [&](CSvcBase* svc, LONG) { svc->PortError(block.errorTag); });
            }
            // Retried until written, cleared, or its owner is gone.
            if (!gate.IsOpen(block.owner) || queue.ClearRequested()) return false;
            if (!transport.RetryPause(policy.retryDelayMs)) return false;
        }
        switch (queue.Check()) {
            case OutputQueue::Verdict::kContinue:
                break;
            case OutputQueue::Verdict::kAbandonPurge:
                transport.Purge();
                return false;
            case OutputQueue::Verdict::kAbandon:
                return false;
        }
    }
    return true;
}

}  // namespace

void RunOutputLoop(OutputQueue& queue, CallbackGate& gate, OutputTransport& transport,
                   const OutputPolicy& policy) {
    OutputBlock block;
    while (queue.Take(&block)) {
        const uint64_t inputMark = transport.InputCount();
        const bool written = WriteBlock(block, queue, gate, transport, policy);
        // The block is no longer current when its owner hears of it (a close from the
        // callback must not find it still being written).
        queue.Done();
        if (written) {
            if (block.owner) {
                gate.Call(block.owner, [&](CSvcBase* svc, LONG) {
                    svc->OutputDataComplete(block.completionTag);
                });
            }
            if (block.awaitReply && !block.data.empty()) {
                transport.AwaitInput(inputMark, policy.awaitReplyMs);
            }
        }
    }
}

}  // namespace ports

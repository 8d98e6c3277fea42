// The output queue of a port driver: blocks written one at a time, oldest first, except
// that a priority block goes behind the last queued priority block and ahead of every
// ordinary block (never ahead of the block being written).
//
// The output thread takes the head as the current block (Take), checks after each piece
// it wrote whether to abandon it (Check) and ends it (Done). ClearOutputBuffer and
// PortClose leave requests for the current block; they are emptied by the next Take.
// The queue has its own lock and makes no callbacks.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wintypes.h"

class CSvcBase;

namespace ports {

struct OutputBlock {
    std::string data;           // a private copy; may be empty (completes without a write)
    CSvcBase* owner = nullptr;  // null: anonymous, no callbacks
    LONG errorTag = 0;
    LONG completionTag = -1;
    bool priority = false;
    int flowMode = 0;
    bool awaitReply = false;
};

class OutputQueue {
public:
    enum class Verdict {
        kContinue,      // go on writing
        kAbandon,       // drop the block without completion
        kAbandonPurge,  // the same, and purge what the device still holds of it
    };

    // Queues a block by the priority rule and wakes the output thread.
    void Push(OutputBlock block);

    // Output thread: waits until a block is queued, makes the head the current block and
    // empties the request lists. False once Stop was called (the block is not taken).
    bool Take(OutputBlock* current);
    // Output thread, after each piece: whether the current block's owner asked to clear
    // it with purge or closed with abandon.
    Verdict Check() const;
    // Output thread, while a piece keeps failing: whether the current block's owner asked
    // to clear its output (the block is then given up).
    bool ClearRequested() const;
    // Output thread: the current block is finished (written, abandoned or given up).
    void Done();

    // ClearOutputBuffer: drops every queued block of `svc`; when the current block is
    // `svc`'s, Check abandons it if `purgeDevice`, else it is finished.
    void Clear(CSvcBase* svc, bool purgeDevice);
    // PortClose: drops every queued block of `svc`; with `abandonCurrent` the current
    // block, when it is `svc`'s, is abandoned too, else it is finished.
    void DropOwner(CSvcBase* svc, bool abandonCurrent);

    // Whether `svc` owns a queued block, or (with `countCurrent`) the current one.
    bool Owns(CSvcBase* svc, bool countCurrent) const;
    size_t Queued() const;  // blocks waiting, the current one not counted
    bool Writing() const;   // there is a current block

    // Take returns false from now on; queued blocks are dropped.
    void Stop();

private:
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<OutputBlock> queue_;
    size_t priorityCount_ = 0;  // leading priority blocks in queue_
    bool stopped_ = false;
    bool writing_ = false;
    CSvcBase* currentOwner_ = nullptr;
    // Requests for the current block, emptied by Take.
    std::vector<std::pair<CSvcBase*, bool>> clearRequests_;  // (svc, purgeDevice)
    std::vector<CSvcBase*> closed_;
};

}  // namespace ports

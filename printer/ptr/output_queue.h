// The printer's queue of asynchronous print jobs. The print methods of the later parts
// fill it; the lifecycle replaces it at each Claim, clears it at Release and ClearOutput
// and lets the output thread report idle when it is empty.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "platform/wintypes.h"

namespace printer {

struct QueuedJob {
    std::string data;  // command bytes, prefix not yet added
    LONG station = 0;
    LONG outputId = 0;
};

class COutputQueue {
  public:
    void Append(QueuedJob job) {
        std::lock_guard<std::mutex> g(lock_);
        jobs_.push_back(std::move(job));
    }
    bool PeekFirst(QueuedJob* job) const {
        std::lock_guard<std::mutex> g(lock_);
        if (jobs_.empty()) return false;
        *job = jobs_.front();
        return true;
    }
    void RemoveFirst() {
        std::lock_guard<std::mutex> g(lock_);
        if (!jobs_.empty()) jobs_.pop_front();
    }
    size_t Count() const {
        std::lock_guard<std::mutex> g(lock_);
        return jobs_.size();
    }
    void Clear() {
        std::lock_guard<std::mutex> g(lock_);
        jobs_.clear();
    }
    // Replaces the queue by an empty one of the given kind: the extended queue of
    // synchronisation type 3 sends jobs without waiting and has them confirmed by number.
    void Replace(bool extended) {
        std::lock_guard<std::mutex> g(lock_);
        jobs_.clear();
        extended_ = extended;
    }
    bool Extended() const {
        std::lock_guard<std::mutex> g(lock_);
        return extended_;
    }

  private:
    mutable std::mutex lock_;
    std::deque<QueuedJob> jobs_;
    bool extended_ = false;
};

}  // namespace printer

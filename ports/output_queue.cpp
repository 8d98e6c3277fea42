#include "ports/output_queue.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace ports {

void OutputQueue::Push(OutputBlock block) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopped_) return;
        if (block.priority) {
            queue_.insert(queue_.begin() + static_cast<std::ptrdiff_t>(priorityCount_),
                          std::move(block));
            ++priorityCount_;
        } else {
            queue_.push_back(std::move(block));
        }
    }
    wake_.notify_one();
}

bool OutputQueue::Take(OutputBlock* current) {
    std::unique_lock<std::mutex> lk(lock_);
    writing_ = false;
    currentOwner_ = nullptr;
    wake_.wait(lk, [this] { return stopped_ || !queue_.empty(); });
    if (stopped_) return false;
    *current = std::move(queue_.front());
    queue_.pop_front();
    if (priorityCount_ > 0) --priorityCount_;
    writing_ = true;
    currentOwner_ = current->owner;
    clearRequests_.clear();
    closed_.clear();
    return true;
}

OutputQueue::Verdict OutputQueue::Check() const {
    std::lock_guard<std::mutex> g(lock_);
    if (!writing_ || currentOwner_ == nullptr) return Verdict::kContinue;
    for (const auto& [svc, purge] : clearRequests_) {
        if (svc == currentOwner_ && purge) return Verdict::kAbandonPurge;
    }
    if (std::find(closed_.begin(), closed_.end(), currentOwner_) != closed_.end()) {
        return Verdict::kAbandon;
    }
    return Verdict::kContinue;
}

bool OutputQueue::ClearRequested() const {
    std::lock_guard<std::mutex> g(lock_);
    return writing_ && currentOwner_ != nullptr &&
           std::any_of(clearRequests_.begin(), clearRequests_.end(),
                       [this](const auto& r) { return r.first == currentOwner_; });
}

void OutputQueue::Done() {
    std::lock_guard<std::mutex> g(lock_);
    writing_ = false;
    currentOwner_ = nullptr;
}

namespace {

// Removes the blocks of `svc`, keeping the count of leading priority blocks right.
void EraseOwned(std::deque<OutputBlock>& queue, size_t& priorityCount, CSvcBase* svc) {
    size_t keptPriority = 0;
    for (size_t i = 0; i < priorityCount; ++i) {
        if (queue[i].owner != svc) ++keptPriority;
    }
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [svc](const OutputBlock& b) { return b.owner == svc; }),
                queue.end());
    priorityCount = keptPriority;
}

}  // namespace

void OutputQueue::Clear(CSvcBase* svc, bool purgeDevice) {
    std::lock_guard<std::mutex> g(lock_);
    EraseOwned(queue_, priorityCount_, svc);
    if (writing_ && currentOwner_ == svc) clearRequests_.emplace_back(svc, purgeDevice);
}

void OutputQueue::DropOwner(CSvcBase* svc, bool abandonCurrent) {
    std::lock_guard<std::mutex> g(lock_);
    EraseOwned(queue_, priorityCount_, svc);
    if (abandonCurrent && writing_ && currentOwner_ == svc) closed_.push_back(svc);
}

bool OutputQueue::Owns(CSvcBase* svc, bool countCurrent) const {
    std::lock_guard<std::mutex> g(lock_);
    if (countCurrent && writing_ && currentOwner_ == svc) return true;
    return std::any_of(queue_.begin(), queue_.end(),
                       [svc](const OutputBlock& b) { return b.owner == svc; });
}

size_t OutputQueue::Queued() const {
    std::lock_guard<std::mutex> g(lock_);
    return queue_.size();
}

bool OutputQueue::Writing() const {
    std::lock_guard<std::mutex> g(lock_);
    return writing_;
}

void OutputQueue::Stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopped_ = true;
        queue_.clear();
        priorityCount_ = 0;
    }
    wake_.notify_all();
}

}  // namespace ports

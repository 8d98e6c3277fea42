#include "posframe/event_queue.h"

#include <algorithm>

namespace {

constexpr LONG kFirstType = 1;  // data
constexpr LONG kDirectIO = 2;
constexpr LONG kLastType = 5;  // status update

bool Matches(const OposEvent& e, LONG type) {
    return type == 0 || e.type == type;
}

}  // namespace

uint64_t COposEvent::QueueEvent(const OposEvent& event) {
    if (event.type < kFirstType || event.type > kLastType) return 0;
    std::lock_guard<std::mutex> lk(mu_);
    events_.push_back(event);
    events_.back().seq = nextSeq_++;
    return events_.back().seq;
}

LONG COposEvent::FindLocked(LONG type) const {
    for (size_t i = 0; i < events_.size(); ++i)
        if (Matches(events_[i], type)) return static_cast<LONG>(i);
    return -1;
}

bool COposEvent::GetFirstData(OposEvent* event) const {
    return GetAt(0, event);
}

bool COposEvent::GetFirst(LONG type, OposEvent* event) const {
    std::lock_guard<std::mutex> lk(mu_);
    LONG i = FindLocked(type);
    if (i < 0 || !event) return false;
    *event = events_[static_cast<size_t>(i)];
    return true;
}

bool COposEvent::GetAt(LONG index, OposEvent* event) const {
    std::lock_guard<std::mutex> lk(mu_);
    if (!event || index < 0 || static_cast<size_t>(index) >= events_.size()) return false;
    *event = events_[static_cast<size_t>(index)];
    return true;
}

bool COposEvent::GetDirectIOData(LONG index, OposEvent* event) const {
    std::lock_guard<std::mutex> lk(mu_);
    if (!event || index < 0 || static_cast<size_t>(index) >= events_.size()) return false;
    const OposEvent& e = events_[static_cast<size_t>(index)];
    if (e.type != kDirectIO) return false;
    *event = e;
    return true;
}

LONG COposEvent::GetDirectIOIndex() const {
    std::lock_guard<std::mutex> lk(mu_);
    return FindLocked(kDirectIO);
}

LONG COposEvent::GetSize() const {
    std::lock_guard<std::mutex> lk(mu_);
    return static_cast<LONG>(events_.size());
}

LONG COposEvent::GetCount(LONG type) const {
    std::lock_guard<std::mutex> lk(mu_);
    return static_cast<LONG>(std::count_if(
        events_.begin(), events_.end(), [type](const OposEvent& e) { return Matches(e, type); }));
}

bool COposEvent::Remove(uint64_t seq) {
    std::lock_guard<std::mutex> lk(mu_);
    // Sequence numbers increase along the queue: binary search.
    auto it = std::lower_bound(events_.begin(), events_.end(), seq,
                               [](const OposEvent& e, uint64_t s) { return e.seq < s; });
    if (it == events_.end() || it->seq != seq) return false;
    events_.erase(it);
    return true;
}

bool COposEvent::RemoveFirstID(LONG type) {
    std::lock_guard<std::mutex> lk(mu_);
    LONG i = FindLocked(type);
    if (i < 0) return false;
    events_.erase(events_.begin() + i);
    return true;
}

bool COposEvent::RemoveAt(LONG index) {
    std::lock_guard<std::mutex> lk(mu_);
    if (index < 0 || static_cast<size_t>(index) >= events_.size()) return false;
    events_.erase(events_.begin() + index);
    return true;
}

LONG COposEvent::RemoveAll(LONG type) {
    std::lock_guard<std::mutex> lk(mu_);
    size_t before = events_.size();
    events_.erase(std::remove_if(events_.begin(), events_.end(),
                                 [type](const OposEvent& e) { return Matches(e, type); }),
                  events_.end());
    return static_cast<LONG>(before - events_.size());
}

bool COposEvent::TakeFirst(LONG type, OposEvent* event) {
    std::lock_guard<std::mutex> lk(mu_);
    LONG i = FindLocked(type);
    if (i < 0 || !event) return false;
    auto it = events_.begin() + i;
    *event = std::move(*it);
    events_.erase(it);
    return true;
}

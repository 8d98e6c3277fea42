// The event-delivery guard of a printer library: one counter for every service object
// of the library in this process, so that only one event is being fired to a control at
// a time. It is a member of the library's application object (never a global symbol),
// so two printer libraries in one process each keep their own.
#pragma once

#include <atomic>

class EventDeliveryGuard {
  public:
    // One hand-over: raises the counter for its lifetime. The event may be fired only
    // when first() (no other delivery of the library is running, on any thread, and not
    // further up this thread's stack); otherwise it stays queued.
    class Turn {
      public:
        explicit Turn(EventDeliveryGuard& guard)
            : guard_(guard), first_(guard.count_.fetch_add(1) == 0) {}
        ~Turn() { guard_.count_.fetch_sub(1); }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        bool first() const { return first_; }

      private:
        EventDeliveryGuard& guard_;
        bool first_;
    };

    int Depth() const { return count_.load(); }
    std::atomic<int>& Counter() { return count_; }

  private:
    std::atomic<int> count_{0};
};

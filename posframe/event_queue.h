// The event queue of a service object: events waiting for delivery to the control, oldest
// first. Producers (driver callbacks, the service's methods) queue; the event thread and
// the hidden window's thread look, deliver and remove. Every operation takes the queue's
// own lock and copies records in or out, so no reference into the queue escapes it.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "platform/wintypes.h"

// Event types and the event-mask bit (type - 1) of each.
constexpr LONG EVT_DATA = 1;
constexpr LONG EVT_DIRECTIO = 2;
constexpr LONG EVT_ERROR = 3;
constexpr LONG EVT_OUTPUTCOMPLETE = 4;
constexpr LONG EVT_STATUSUPDATE = 5;
constexpr LONG EventMaskBit(LONG type) { return 1L << (type - 1); }

// One queued event. The meaning of the values depends on the type:
//   1 data            p1 status
//   2 DirectIO        p1 event number, p2 data, text the string
//   3 error           p1 ResultCode, p2 ResultCodeExtended, p3 error locus,
//                     p4 error response (the preset the control starts with)
//   4 output complete p1 OutputID
//   5 status update   p1 status
// Unused values are 0.
struct OposEvent {
    LONG type = 0;
    LONG p1 = 0, p2 = 0, p3 = 0, p4 = 0;
    std::string text;
    // Set by the queue: unique per queue and increasing, never 0. It names this event
    // for Remove, so a look-then-remove on one thread never removes an event that
    // another thread queued after the look.
    uint64_t seq = 0;
};

class COposEvent {
  public:
    COposEvent() = default;
    COposEvent(const COposEvent&) = delete;
    COposEvent& operator=(const COposEvent&) = delete;

    // Appends a copy of `event` (types 1..5). Returns the event's sequence number, or 0
    // (nothing queued) for any other type.
    uint64_t QueueEvent(const OposEvent& event);

    // Copies of queued events; false (and *event untouched) when there is none.
    bool GetFirstData(OposEvent* event) const;                 // the oldest event
    bool GetFirst(LONG type, OposEvent* event) const;          // the oldest of `type` (0 any)
    bool GetAt(LONG index, OposEvent* event) const;            // position 0 = oldest
    bool GetDirectIOData(LONG index, OposEvent* event) const;  // GetAt, DirectIO only

    // Position of the oldest DirectIO event, -1 when there is none.
    LONG GetDirectIOIndex() const;
    LONG GetSize() const;
    // Number of queued events of `type` (0 all).
    LONG GetCount(LONG type) const;

    // Removes the event with this sequence number; false when it is no longer queued.
    bool Remove(uint64_t seq);
    // Removes the oldest event of `type` (0 any); false when there is none.
    bool RemoveFirstID(LONG type);
    // Removes the event at `index`; false when out of range.
    bool RemoveAt(LONG index);
    // Removes every event of `type` (0 all); returns how many were removed.
    LONG RemoveAll(LONG type);
    // Copies and removes the oldest event of `type` (0 any) in one step.
    bool TakeFirst(LONG type, OposEvent* event);

  private:
    // Position of the oldest event of `type` (0 any) or -1; caller holds mu_.
    LONG FindLocked(LONG type) const;

    mutable std::mutex mu_;
    std::deque<OposEvent> events_;
    uint64_t nextSeq_ = 1;
};

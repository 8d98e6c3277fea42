// The slot table of the shared ports: one slot per port index 1..1000, the shared port
// created on first request and kept until the table ends. The application object of a
// printer library owns one; tests make and drop their own.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/wintypes.h"

class CPortDriver;
class SharedPort;

class SharedPortTable {
  public:
    static constexpr LONG kSlots = 1000;
    // Makes the driver object of one shared port; null means no port.
    using DriverFactory = std::function<std::unique_ptr<CPortDriver>()>;

    explicit SharedPortTable(DriverFactory factory);
    ~SharedPortTable();  // deletes every shared port, and with it its driver
    SharedPortTable(const SharedPortTable&) = delete;
    SharedPortTable& operator=(const SharedPortTable&) = delete;

    // The shared port of `portIndex` (slot portIndex - 1), created on first request.
    // Null for an index outside 1..1000, or when no driver could be made (a later
    // request tries again).
    SharedPort* Get(LONG portIndex);

  private:
    DriverFactory factory_;
    std::mutex lock_;
    std::array<std::unique_ptr<SharedPort>, kSlots> slots_;
};

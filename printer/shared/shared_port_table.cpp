#include "printer/shared/shared_port_table.h"

#include "ports/portdrv.h"
#include "printer/shared/shared_port.h"

SharedPortTable::SharedPortTable(DriverFactory factory) : factory_(std::move(factory)) {}

SharedPortTable::~SharedPortTable() = default;

SharedPort* SharedPortTable::Get(LONG portIndex) {
    if (portIndex < 1 || portIndex > kSlots) return nullptr;
    std::lock_guard<std::mutex> g(lock_);
    std::unique_ptr<SharedPort>& slot = slots_[static_cast<size_t>(portIndex - 1)];
    if (!slot) {
        std::unique_ptr<CPortDriver> driver = factory_ ? factory_() : nullptr;
        if (!driver) return nullptr;
        slot = std::make_unique<SharedPort>(std::move(driver));
    }
    return slot.get();
}

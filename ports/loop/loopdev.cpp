// The process-wide table of loop devices (one copy: it lives in libkavroloop).
#include "ports/loop/loopdev.h"

#include <map>
#include <mutex>

namespace loop {

namespace {

struct Table {
    std::mutex lock;
    DeviceFactory factory;
    uint64_t generation = 0;  // raised by every SetDeviceFactory
    std::map<std::string, std::weak_ptr<ILoopDevice>> devices;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: devices may outlive static teardown
    return *table;
}

}  // namespace

void SetDeviceFactory(DeviceFactory factory) {
    Table& t = TheTable();
    DeviceFactory old;
    {
        std::lock_guard<std::mutex> g(t.lock);
        old = std::move(t.factory);
        t.factory = std::move(factory);
        ++t.generation;
        // Devices still held stay alive; new look-ups go to the new factory.
        t.devices.clear();
    }
    // `old` (and what it captured) goes here, outside the lock.
}

bool HasDeviceFactory() {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    return static_cast<bool>(t.factory);
}

std::shared_ptr<ILoopDevice> GetDevice(const std::string& name) {
    if (name.empty()) return nullptr;
    Table& t = TheTable();
    DeviceFactory factory;
    uint64_t generation;
    {
        std::lock_guard<std::mutex> g(t.lock);
        auto it = t.devices.find(name);
        if (it != t.devices.end()) {
            if (auto d = it->second.lock()) return d;
        }
        if (!t.factory) return nullptr;
        factory = t.factory;
        generation = t.generation;
    }
    // The factory runs without the lock (it may look other devices up).
    std::shared_ptr<ILoopDevice> made = factory(name);
    if (!made) return nullptr;
    std::lock_guard<std::mutex> g(t.lock);
    if (generation != t.generation) return made;  // the factory was replaced meanwhile
    auto& slot = t.devices[name];
    if (auto d = slot.lock()) return d;  // another thread made it first
    slot = made;
    return made;
}

}  // namespace loop

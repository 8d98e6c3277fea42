#include "printer/shared/device_table.h"

#include <atomic>
#include <type_traits>

struct SharedDeviceTable::Layout {
    uint32_t magic;
    uint32_t version;
    plat::SectionMutex rowLock;            // guards the drawer rows
    uint32_t claims[kClaimKinds][kPorts];  // owner token, 0 = free
    uint32_t busy[kPorts];                 // owner token while busy
    int32_t drawerFlags[kDrawerFlags][kPorts];
    struct Entry {
        uint32_t window;
        uint32_t owner;
    };
    struct Row {
        uint32_t count;
        Entry entries[kDrawerRowSize];
    } rows[kPorts];
};

namespace {

using Layout = SharedDeviceTable::Layout;
static_assert(std::is_trivially_copyable_v<Layout>);

constexpr uint32_t kMagic = 0x4B445442;  // "KDTB"
constexpr uint32_t kLayoutVersion = 1;
constexpr uint32_t kRowSize = SharedDeviceTable::kDrawerRowSize;

bool InRange(LONG portIndex) {
    return portIndex >= 1 && portIndex <= SharedDeviceTable::kPorts;
}
size_t Slot(LONG portIndex) {
    return static_cast<size_t>(portIndex - 1);
}

std::atomic_ref<uint32_t> Ref(uint32_t& v) {
    return std::atomic_ref<uint32_t>(v);
}
std::atomic_ref<int32_t> Ref(int32_t& v) {
    return std::atomic_ref<int32_t>(v);
}

// Under the row lock: drops dead owners' entries and anything beyond the row, keeping
// the order (the memory is shared with other processes, so nothing in it is trusted).
void Compact(Layout::Row& row) {
    const uint32_t n = row.count < kRowSize ? row.count : kRowSize;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const Layout::Entry e = row.entries[i];
        if (e.window != 0 && plat::TokenAlive(e.owner)) row.entries[kept++] = e;
    }
    for (uint32_t i = kept; i < kRowSize; ++i) row.entries[i] = {0, 0};
    row.count = kept;
}

}  // namespace

std::unique_ptr<SharedDeviceTable> SharedDeviceTable::Attach(const std::string& libName,
                                                             std::string* error) {
    auto section = plat::SharedSection::Attach(
        libName + ".devtab", sizeof(Layout),
        [](void* mem) {
            auto* l = static_cast<Layout*>(mem);
            l->rowLock.Init();
            l->version = kLayoutVersion;
            Ref(l->magic).store(kMagic, std::memory_order_release);
        },
        error);
    if (!section) return nullptr;
    auto* layout = static_cast<Layout*>(section->data());
    if (Ref(layout->magic).load(std::memory_order_acquire) != kMagic ||
        layout->version != kLayoutVersion) {
        if (error) *error = libName + ".devtab: not a device table of this layout";
        return nullptr;
    }
    std::unique_ptr<SharedDeviceTable> table(new SharedDeviceTable);
    table->section_ = std::move(section);
    table->layout_ = layout;
    return table;
}

SharedDeviceTable::~SharedDeviceTable() = default;

bool SharedDeviceTable::TryClaim(ClaimKind kind, LONG portIndex) {
    if (!InRange(portIndex)) return false;
    auto entry = Ref(layout_->claims[static_cast<int>(kind)][Slot(portIndex)]);
    const uint32_t self = plat::SelfToken();
    uint32_t cur = entry.load(std::memory_order_acquire);
    for (;;) {
        if (cur == self) return false;  // another object of this process holds it
        if (cur != 0 && plat::TokenAlive(cur)) return false;
        // Free or dead: swap from exactly the value judged; a failed swap reloads `cur`.
        if (entry.compare_exchange_weak(cur, self, std::memory_order_acq_rel,
                                        std::memory_order_acquire))
            return true;
    }
}

bool SharedDeviceTable::Release(ClaimKind kind, LONG portIndex) {
    if (!InRange(portIndex)) return false;
    auto entry = Ref(layout_->claims[static_cast<int>(kind)][Slot(portIndex)]);
    uint32_t expected = plat::SelfToken();
    return entry.compare_exchange_strong(expected, 0, std::memory_order_acq_rel,
                                         std::memory_order_relaxed);
}

DWORD SharedDeviceTable::ClaimOwner(ClaimKind kind, LONG portIndex) const {
    if (!InRange(portIndex)) return 0;
    uint32_t cur = Ref(layout_->claims[static_cast<int>(kind)][Slot(portIndex)])
                       .load(std::memory_order_acquire);
    return plat::TokenAlive(cur) ? cur : 0;
}

bool SharedDeviceTable::SetPrinterBusy(LONG portIndex, bool busy) {
    if (!InRange(portIndex)) return false;
    auto entry = Ref(layout_->busy[Slot(portIndex)]);
    const uint32_t self = plat::SelfToken();
    if (busy) {
        entry.store(self, std::memory_order_release);
        return true;
    }
    uint32_t expected = self;
    entry.compare_exchange_strong(expected, 0, std::memory_order_acq_rel,
                                  std::memory_order_relaxed);
    return true;
}

bool SharedDeviceTable::PrinterBusy(LONG portIndex) const {
    if (!InRange(portIndex)) return false;
    return plat::TokenAlive(Ref(layout_->busy[Slot(portIndex)]).load(std::memory_order_acquire));
}

bool SharedDeviceTable::SetDrawerFlag(DrawerFlag flag, LONG portIndex, LONG value) {
    if (!InRange(portIndex)) return false;
    Ref(layout_->drawerFlags[static_cast<int>(flag)][Slot(portIndex)])
        .store(value, std::memory_order_release);
    return true;
}

LONG SharedDeviceTable::GetDrawerFlag(DrawerFlag flag, LONG portIndex) const {
    if (!InRange(portIndex)) return 0;
    return Ref(layout_->drawerFlags[static_cast<int>(flag)][Slot(portIndex)])
        .load(std::memory_order_acquire);
}

bool SharedDeviceTable::AddDrawerWindow(LONG portIndex, HWND window) {
    if (!InRange(portIndex) || window == 0) return false;
    plat::SectionLock lock(layout_->rowLock);
    Layout::Row& row = layout_->rows[Slot(portIndex)];
    Compact(row);
    for (uint32_t i = 0; i < row.count; ++i)
        if (row.entries[i].window == window) return true;
    if (row.count >= kRowSize) return false;
    row.entries[row.count] = {window, plat::SelfToken()};
    ++row.count;
    return true;
}

bool SharedDeviceTable::RemoveDrawerWindow(LONG portIndex, HWND window) {
    if (!InRange(portIndex) || window == 0) return false;
    plat::SectionLock lock(layout_->rowLock);
    Layout::Row& row = layout_->rows[Slot(portIndex)];
    Compact(row);
    for (uint32_t i = 0; i < row.count; ++i) {
        if (row.entries[i].window != window) continue;
        for (uint32_t j = i + 1; j < row.count; ++j) row.entries[j - 1] = row.entries[j];
        --row.count;
        row.entries[row.count] = {0, 0};
        return true;
    }
    return false;
}

std::vector<HWND> SharedDeviceTable::DrawerWindows(LONG portIndex) const {
    std::vector<HWND> out;
    if (!InRange(portIndex)) return out;
    plat::SectionLock lock(layout_->rowLock);
    Layout::Row& row = layout_->rows[Slot(portIndex)];
    Compact(row);
    for (uint32_t i = 0; i < row.count; ++i) out.push_back(row.entries[i].window);
    return out;
}

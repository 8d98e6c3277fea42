#include "platform/window/table.h"

#include <unistd.h>

#include <cstring>
#include <memory>
#include <unordered_map>

#include "platform/section/section.h"

namespace plat::win {
namespace {

constexpr uint32_t kLayoutMagic = 0x4B575431u;  // bumped when the layout changes
constexpr uint32_t kRowBits = 12;
constexpr size_t kRows = size_t{1} << kRowBits;
constexpr uint32_t kGenLimit = (uint32_t{1} << (32 - kRowBits)) - 1;
constexpr size_t kMessages = 0x4000;  // 0xC000..0xFFFF
constexpr size_t kMaxMessageName = 127;

struct Row {
    uint32_t hwnd;  // 0 = free; written last when taken
    uint32_t pid;
    uint32_t titleLen;
    char title[kMaxTitle + 1];
};

struct Layout {
    SectionMutex windowsMu;
    SectionMutex messagesMu;
    uint32_t magic;
    uint32_t nextGen;
    uint32_t messageCount;
    Row rows[kRows];
    char names[kMessages][kMaxMessageName + 1];
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const char* a, size_t alen, const char* b, size_t blen) {
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

class Table {
  public:
    static Layout* Get() {
        static Table table;
        return table.layout_;
    }

  private:
    Table() {
        section_ = SharedSection::Attach("windows", sizeof(Layout), [](void* mem) {
            auto* l = static_cast<Layout*>(mem);
            l->windowsMu.Init();
            l->messagesMu.Init();
            l->nextGen = 1;
            l->magic = kLayoutMagic;
        });
        if (!section_) return;
        auto* l = static_cast<Layout*>(section_->data());
        if (l->magic != kLayoutMagic) return;  // another build's layout: stay apart
        if (!section_->createdHere()) {
            // Rows with our pid are left by an earlier process that had it: ours start now.
            const uint32_t self = static_cast<uint32_t>(::getpid());
            SectionLock lk(l->windowsMu);
            for (Row& r : l->rows)
                if (r.pid == self) r.hwnd = 0;
        }
        layout_ = l;
    }

    std::unique_ptr<SharedSection> section_;
    Layout* layout_ = nullptr;
};

}  // namespace

HWND TableClaim() {
    Layout* l = Table::Get();
    if (!l) return 0;
    const uint32_t self = static_cast<uint32_t>(::getpid());
    std::unordered_map<uint32_t, bool> alive;  // pid -> alive, for this scan
    SectionLock lk(l->windowsMu);
    for (size_t i = 0; i < kRows; ++i) {
        Row& r = l->rows[i];
        if (r.hwnd != 0) {
            auto it = alive.find(r.pid);
            if (it == alive.end()) it = alive.emplace(r.pid, TokenAlive(r.pid)).first;
            if (it->second) continue;
        }
        uint32_t gen = l->nextGen;
        if (gen == 0 || gen > kGenLimit) gen = 1;
        l->nextGen = gen == kGenLimit ? 1 : gen + 1;
        r.pid = self;
        r.titleLen = 0;
        r.title[0] = '\0';
        r.hwnd = (gen << kRowBits) | static_cast<uint32_t>(i);
        return r.hwnd;
    }
    return 0;
}

void TablePublishTitle(HWND hwnd, const char* title) {
    Layout* l = Table::Get();
    size_t len = title ? strnlen(title, kMaxTitle + 1) : 0;
    if (!l || len == 0 || len > kMaxTitle) return;
    SectionLock lk(l->windowsMu);
    Row& r = l->rows[hwnd & (kRows - 1)];
    if (r.hwnd != hwnd) return;
    std::memcpy(r.title, title, len);
    r.title[len] = '\0';
    r.titleLen = static_cast<uint32_t>(len);
}

void TableRelease(HWND hwnd) {
    Layout* l = Table::Get();
    if (!l || hwnd == 0) return;
    SectionLock lk(l->windowsMu);
    Row& r = l->rows[hwnd & (kRows - 1)];
    if (r.hwnd == hwnd && r.pid == static_cast<uint32_t>(::getpid())) r.hwnd = 0;
}

std::optional<uint32_t> TableOwner(HWND hwnd) {
    Layout* l = Table::Get();
    if (!l || hwnd == 0) return std::nullopt;
    uint32_t pid = 0;
    {
        SectionLock lk(l->windowsMu);
        const Row& r = l->rows[hwnd & (kRows - 1)];
        if (r.hwnd != hwnd) return std::nullopt;
        pid = r.pid;
    }
    if (!TokenAlive(pid)) return std::nullopt;
    return pid;
}

HWND TableFind(const char* title) {
    Layout* l = Table::Get();
    size_t len = title ? strnlen(title, kMaxTitle + 1) : 0;
    if (!l || len == 0 || len > kMaxTitle) return 0;
    SectionLock lk(l->windowsMu);
    for (const Row& r : l->rows) {
        if (r.hwnd == 0) continue;
        size_t rlen = r.titleLen <= kMaxTitle ? r.titleLen : 0;
        if (EqualNoCase(r.title, rlen, title, len) && TokenAlive(r.pid)) return r.hwnd;
    }
    return 0;
}

UINT TableRegisterMessage(const char* name) {
    Layout* l = Table::Get();
    size_t len = name ? strnlen(name, kMaxMessageName + 1) : 0;
    if (!l || len == 0 || len > kMaxMessageName) return 0;
    SectionLock lk(l->messagesMu);
    size_t count = l->messageCount <= kMessages ? l->messageCount : kMessages;
    for (size_t i = 0; i < count; ++i) {
        const char* n = l->names[i];
        if (EqualNoCase(n, strnlen(n, kMaxMessageName), name, len))
            return static_cast<UINT>(0xC000 + i);
    }
    if (count == kMessages) return 0;
    // The name is complete before the count covers it, so a writer that dies between
    // the two leaves only an unused slot.
    std::memset(l->names[count], 0, sizeof l->names[count]);
    std::memcpy(l->names[count], name, len);
    l->messageCount = static_cast<uint32_t>(count + 1);
    return static_cast<UINT>(0xC000 + count);
}

}  // namespace plat::win

#include "platform/registry/regtree.h"

#include <utility>

namespace plat::reg::detail {
namespace {

struct RootNames {
    Root root;
    const char* longName;
    const char* shortName;
};
constexpr RootNames kRoots[kRootCount] = {
    {Root::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {Root::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {Root::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool IsControl(char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

}  // namespace

const char* RootName(Root root) {
    return kRoots[static_cast<size_t>(root)].longName;
}

bool RootFromName(std::string_view name, Root* out) {
    for (const auto& r : kRoots) {
        if (EqualFolded(name, r.longName) || EqualFolded(name, r.shortName)) {
            *out = r.root;
            return true;
        }
    }
    return false;
}

bool RootFromHkey(HKEY key, Root* out) {
    switch (key) {
        case HKEY_CLASSES_ROOT:
            *out = Root::kClassesRoot;
            return true;
        case HKEY_CURRENT_USER:
            *out = Root::kCurrentUser;
            return true;
        case HKEY_LOCAL_MACHINE:
            *out = Root::kLocalMachine;
            return true;
        default:
            return false;
    }
}

std::string Fold(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool CheckKeyName(std::string_view name, std::string* why) {
    if (name.empty()) {
        *why = "empty key name";
        return false;
    }
    if (name.size() > kMaxKeyNameLen) {
        *why = "key name longer than 255 bytes";
        return false;
    }
    for (char c : name) {
        if (c == '\\' || IsControl(c)) {
            *why = "key name with a backslash or control character";
            return false;
        }
    }
    return true;
}

bool CheckValueName(std::string_view name, std::string* why) {
    if (name.size() > kMaxValueNameLen) {
        *why = "value name longer than 16383 bytes";
        return false;
    }
    for (char c : name) {
        if (IsControl(c)) {
            *why = "value name with a control character";
            return false;
        }
    }
    return true;
}

bool SplitSubKey(std::string_view text, std::vector<std::string>* parts, std::string* why) {
    if (text.empty()) return true;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\\', start);
        std::string_view part =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!CheckKeyName(part, why)) return false;
        if (parts->size() >= kMaxDepth) {
            *why = "key path deeper than 512 levels";
            return false;
        }
        parts->emplace_back(part);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool ParseKeyPath(std::string_view text, KeyPath* out, std::string* why) {
    size_t sep = text.find('\\');
    std::string_view root = text.substr(0, sep);
    KeyPath path;
    if (!RootFromName(root, &path.root)) {
        *why = "unknown root key '" + std::string(root) + "'";
        return false;
    }
    if (sep != std::string_view::npos) {
        if (!SplitSubKey(text.substr(sep + 1), &path.parts, why)) return false;
        if (path.parts.empty()) {
            *why = "empty key name";
            return false;
        }
    }
    *out = std::move(path);
    return true;
}

std::string FormatKeyPath(Root root, const std::vector<std::string>& parts, size_t count) {
    std::string out = RootName(root);
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        out += '\\';
        out += parts[i];
    }
    return out;
}

std::string FormatKeyPath(const KeyPath& path) {
    return FormatKeyPath(path.root, path.parts, path.parts.size());
}

const Value* Key::FindValue(std::string_view valueName) const {
    auto it = values.find(Fold(valueName));
    return it == values.end() ? nullptr : &it->second;
}

void Key::SetValue(std::string_view valueName, DWORD type, std::string data) {
    auto [it, inserted] = values.try_emplace(Fold(valueName));
    if (inserted) it->second.name = std::string(valueName);
    it->second.type = type;
    it->second.data = std::move(data);
}

bool Key::DeleteValue(std::string_view valueName) {
    return values.erase(Fold(valueName)) > 0;
}

const Key* Key::FindSubKey(std::string_view keyName) const {
    auto it = subkeys.find(Fold(keyName));
    return it == subkeys.end() ? nullptr : it->second.get();
}

Key* Key::FindSubKey(std::string_view keyName) {
    auto it = subkeys.find(Fold(keyName));
    return it == subkeys.end() ? nullptr : it->second.get();
}

bool Key::operator==(const Key& other) const {
    if (name != other.name || values != other.values || subkeys.size() != other.subkeys.size()) {
        return false;
    }
    for (auto a = subkeys.begin(), b = other.subkeys.begin(); a != subkeys.end(); ++a, ++b) {
        if (a->first != b->first || !(*a->second == *b->second)) return false;
    }
    return true;
}

Tree::Tree() {
    for (const auto& r : kRoots) RootKey(r.root).name = r.longName;
}

const Key* Tree::Find(Root root, const std::vector<std::string>& parts) const {
    const Key* key = &RootKey(root);
    for (const auto& part : parts) {
        key = key->FindSubKey(part);
        if (!key) return nullptr;
    }
    return key;
}

Key* Tree::Find(Root root, const std::vector<std::string>& parts) {
    return const_cast<Key*>(std::as_const(*this).Find(root, parts));
}

Key* Tree::Create(const KeyPath& path, bool* created) {
    Key* key = &RootKey(path.root);
    bool isNew = false;
    for (const auto& part : path.parts) {
        auto [it, inserted] = key->subkeys.try_emplace(Fold(part));
        if (inserted) {
            it->second = std::make_unique<Key>();
            it->second->name = part;
        }
        isNew = inserted;
        key = it->second.get();
    }
    if (created) *created = isNew;
    return key;
}

bool Tree::Remove(const KeyPath& path) {
    if (path.parts.empty()) return false;
    std::vector<std::string> parentParts(path.parts.begin(), path.parts.end() - 1);
    Key* parent = Find(path.root, parentParts);
    return parent && parent->subkeys.erase(Fold(path.parts.back())) > 0;
}

bool Tree::operator==(const Tree& other) const {
    for (size_t i = 0; i < kRootCount; ++i) {
        if (!(roots_[i] == other.roots_[i])) return false;
    }
    return true;
}

}  // namespace plat::reg::detail

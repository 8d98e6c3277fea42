// The in-memory registry tree: three roots, keys with sub-keys and typed values.
// Names ignore ASCII case and keep the case they were first created with.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace plat::reg::detail {

// Limits of names, depth and value size; the .reg parser and the store enforce them.
constexpr size_t kMaxKeyNameLen = 255;
constexpr size_t kMaxValueNameLen = 16383;
constexpr size_t kMaxDepth = 512;  // key names below the root
constexpr size_t kMaxValueSize = size_t{1} << 20;

enum class Root { kClassesRoot = 0, kCurrentUser = 1, kLocalMachine = 2 };
constexpr size_t kRootCount = 3;

const char* RootName(Root root);  // "HKEY_LOCAL_MACHINE"
// Long and short root names, any case.
bool RootFromName(std::string_view name, Root* out);
bool RootFromHkey(HKEY key, Root* out);

// ASCII lower case: the form names are compared in.
std::string Fold(std::string_view name);

// A key name: 1..255 bytes, no backslash, no control characters (00-1F, 7F).
bool CheckKeyName(std::string_view name, std::string* why);
// A value name ("" = default value): up to 16383 bytes, no control characters.
bool CheckValueName(std::string_view name, std::string* why);

struct KeyPath {
    Root root = Root::kLocalMachine;
    std::vector<std::string> parts;
};

// Splits "a\\b\\c" into checked key names and appends them to `parts`; "" adds none.
bool SplitSubKey(std::string_view text, std::vector<std::string>* parts, std::string* why);
// "HKEY_LOCAL_MACHINE\\SOFTWARE\\X" (or HKLM\\...) into a checked path.
bool ParseKeyPath(std::string_view text, KeyPath* out, std::string* why);
std::string FormatKeyPath(const KeyPath& path);
std::string FormatKeyPath(Root root, const std::vector<std::string>& parts, size_t count);

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
    bool operator==(const Value&) const = default;
};

struct Key {
    std::string name;
    std::map<std::string, Value> values;                  // by folded name
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name

    const Value* FindValue(std::string_view valueName) const;
    // Sets a value; an existing value keeps the case of its name.
    void SetValue(std::string_view valueName, DWORD type, std::string data);
    bool DeleteValue(std::string_view valueName);
    const Key* FindSubKey(std::string_view keyName) const;
    Key* FindSubKey(std::string_view keyName);
    bool operator==(const Key& other) const;
};

class Tree {
  public:
    Tree();
    Key& RootKey(Root root) { return roots_[static_cast<size_t>(root)]; }
    const Key& RootKey(Root root) const { return roots_[static_cast<size_t>(root)]; }

    const Key* Find(Root root, const std::vector<std::string>& parts) const;
    Key* Find(Root root, const std::vector<std::string>& parts);
    const Key* Find(const KeyPath& path) const { return Find(path.root, path.parts); }
    Key* Find(const KeyPath& path) { return Find(path.root, path.parts); }
    // Creates the key and every missing key above it; `created` tells whether the key
    // itself is new.
    Key* Create(const KeyPath& path, bool* created = nullptr);
    // Removes a key with everything below it; false when it does not exist. A root
    // cannot be removed (false).
    bool Remove(const KeyPath& path);

    bool operator==(const Tree& other) const;

  private:
    std::array<Key, kRootCount> roots_;
};

}  // namespace plat::reg::detail

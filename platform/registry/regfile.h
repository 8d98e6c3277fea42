// The .reg text format: parser and writer, independent of the store.
//
//   Windows Registry Editor Version 5.00        (or REGEDIT4)
//   [HKEY_LOCAL_MACHINE\SOFTWARE\X]             key (HKLM, HKCR, HKCU accepted)
//   [-HKEY_LOCAL_MACHINE\SOFTWARE\Old]          delete the key and everything below it
//   "Name"="text"                               REG_SZ, escapes \\ and \"
//   @="text"                                    the key's default value
//   "Name"=dword:0000000a                       REG_DWORD
//   "Name"=hex:01,02,\                          REG_BINARY, a trailing backslash
//     03                                        continues the line
//   "Name"=hex(7):00,01                         any other type number (hex), raw bytes
//   "Name"=-                                    delete the value
//   ; comment
//
// Data are byte strings. hex(N) holds the exact bytes of the value (no UTF-16, no
// terminator). The writer uses "text" for REG_SZ only when the bytes are printable UTF-8
// (tab allowed) and hex(1): otherwise, so every value reads back with its exact type
// and bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/regtree.h"

namespace plat::reg::detail {

constexpr size_t kMaxPhysicalLine = size_t{1} << 20;
constexpr size_t kMaxLogicalLine = size_t{4} << 20;  // continuation lines joined
constexpr size_t kMaxFileSize = size_t{256} << 20;

struct ParsedValue {
    std::string name;  // "" = default value
    bool remove = false;
    DWORD type = REG_NONE;
    std::string data;
};

struct ParsedSection {
    KeyPath path;
    bool remove = false;
    std::vector<ParsedValue> values;
};

struct Document {
    std::vector<ParsedSection> sections;
};

struct ParseError {
    int line = 0;  // 1-based; 0 when the error concerns the whole text
    std::string message;
    // "file:12: message" ("file: message" without a line).
    std::string Text(const std::string& file) const;
};

bool ParseRegText(std::string_view text, Document* doc, ParseError* error);

// Merges a document into a tree in order: sections create keys, [-KEY] removes them,
// values are set or removed.
void ApplyDocument(const Document& doc, Tree* tree);

// The whole tree as .reg text (header, then one section per key, depth first, keys and
// values in name order). Roots appear as sections only when they hold values.
std::string WriteRegText(const Tree& tree);
// The subtree at `path` (which must exist) as .reg text with header.
std::string WriteRegText(const Tree& tree, const KeyPath& path);
// One value line without the line end: "Name"=dword:0000000a.
std::string FormatValueLine(const Value& value);

}  // namespace plat::reg::detail

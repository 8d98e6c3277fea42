#include "platform/registry/regfile.h"

#include <cstdio>
#include <utility>

namespace plat::reg::detail {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kMaxQuotedText = size_t{64} << 10;  // longer strings are written as hex(1):

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits.
bool ReadHexNumber(std::string_view s, size_t* p, DWORD* out) {
    size_t start = *p, i = *p;
    while (i < s.size() && HexDigit(s[i]) >= 0) ++i;
    if (i == start || i - start > 8) return false;
    DWORD n = 0;
    for (size_t k = start; k < i; ++k) n = (n << 4) | static_cast<DWORD>(HexDigit(s[k]));
    *out = n;
    *p = i;
    return true;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && Fold(s.substr(0, prefix.size())) == prefix;
}

std::string Describe(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'\\") + c + "'";
    static const char kHex[] = "0123456789abcdef";
    return std::string("'\\' and byte 0x") + kHex[u >> 4] + kHex[u & 15];
}

// Where each joined physical line starts in a logical line, for error line numbers.
struct Segment {
    size_t offset;
    int line;
};

class Parser {
  public:
    Parser(std::string_view text, Document* doc, ParseError* error)
        : text_(text), doc_(doc), error_(error) {}

    bool Run();

  private:
    enum class Next { kLine, kEnd, kError };
    Next NextLine(std::string_view* line);
    bool Fail(int line, std::string message) {
        error_->line = line;
        error_->message = std::move(message);
        return false;
    }
    bool ParseSection(std::string_view line);
    bool ReadValueLine(std::string_view first);
    bool ParseValue(std::string_view s, const std::vector<Segment>& segs);
    bool ReadQuoted(std::string_view s, size_t* p, std::string* out);
    bool ReadHexBytes(std::string_view s, size_t* p, std::string* out);
    int LineAt(size_t offset) const {
        int line = (*segs_)[0].line;
        for (const auto& seg : *segs_) {
            if (seg.offset > offset) break;
            line = seg.line;
        }
        return line;
    }

    std::string_view text_;
    Document* doc_;
    ParseError* error_;
    size_t pos_ = 0;
    int line_ = 0;
    const std::vector<Segment>* segs_ = nullptr;
};

Parser::Next Parser::NextLine(std::string_view* line) {
    if (pos_ >= text_.size()) return Next::kEnd;
    size_t nl = text_.find('\n', pos_);
    size_t end = nl == std::string_view::npos ? text_.size() : nl;
    *line = text_.substr(pos_, end - pos_);
    pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    ++line_;
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    if (line->size() > kMaxPhysicalLine) {
        Fail(line_, "line longer than 1 MiB");
        return Next::kError;
    }
    return Next::kLine;
}

bool Parser::Run() {
    if (text_.size() > kMaxFileSize) return Fail(0, "file larger than 256 MiB");
    if (text_.substr(0, kBom.size()) == kBom) pos_ = kBom.size();
    std::string_view line;
    Next next = NextLine(&line);
    if (next == Next::kError) return false;
    std::string_view header = next == Next::kLine ? Trim(line) : std::string_view();
    if (header != kHeader5 && header != kHeader4) {
        return Fail(1, "expected the header line \"Windows Registry Editor Version 5.00\"");
    }
    while ((next = NextLine(&line)) == Next::kLine) {
        std::string_view t = Trim(line);
        if (t.empty() || t[0] == ';' || t == kHeader5 || t == kHeader4) continue;
        bool ok;
        if (t[0] == '[') {
            ok = ParseSection(t);
        } else if (t[0] == '"' || t[0] == '@') {
            ok = ReadValueLine(t);
        } else {
            ok = Fail(line_, "expected a [KEY] line or a \"Name\"=value line");
        }
        if (!ok) return false;
    }
    return next == Next::kEnd;
}

bool Parser::ParseSection(std::string_view t) {
    if (t.size() < 2 || t.back() != ']') {
        return Fail(line_, "expected ']' at the end of the key line");
    }
    std::string_view inner = t.substr(1, t.size() - 2);
    ParsedSection section;
    if (!inner.empty() && inner[0] == '-') {
        section.remove = true;
        inner.remove_prefix(1);
    }
    std::string why;
    if (!ParseKeyPath(inner, &section.path, &why)) return Fail(line_, why);
    if (section.remove && section.path.parts.empty()) {
        return Fail(line_, "a root key cannot be deleted");
    }
    doc_->sections.push_back(std::move(section));
    return true;
}

// Joins continuation lines (a trailing backslash outside quotes) and parses the value.
bool Parser::ReadValueLine(std::string_view first) {
    int firstLine = line_;
    if (doc_->sections.empty()) return Fail(firstLine, "value before the first [KEY] line");
    if (doc_->sections.back().remove) return Fail(firstLine, "value under a deleted [-KEY]");

    std::vector<Segment> segs;
    std::string joined;
    std::string_view seg = first;
    bool continued = false;
    while (true) {
        segs.push_back({joined.size(), line_});
        bool inQuote = false;
        for (size_t i = 0; i < seg.size(); ++i) {
            if (!inQuote) {
                inQuote = seg[i] == '"';
            } else if (seg[i] == '\\') {
                ++i;
            } else if (seg[i] == '"') {
                inQuote = false;
            }
        }
        bool more = !inQuote && !seg.empty() && seg.back() == '\\';
        if (!more && !continued) return ParseValue(seg, segs);
        continued = true;
        joined.append(seg.substr(0, more ? seg.size() - 1 : seg.size()));
        if (!more) break;
        std::string_view line;
        Next next = NextLine(&line);
        if (next == Next::kError) return false;
        if (next == Next::kEnd) return Fail(line_, "line continues past the end of the file");
        seg = Trim(line);
        if (joined.size() + seg.size() > kMaxLogicalLine) {
            return Fail(line_, "continued line longer than 4 MiB");
        }
    }
    return ParseValue(joined, segs);
}

bool Parser::ParseValue(std::string_view s, const std::vector<Segment>& segs) {
    segs_ = &segs;
    ParsedValue value;
    size_t p = 0;
    if (s[0] == '@') {
        p = 1;
    } else if (!ReadQuoted(s, &p, &value.name)) {
        return false;
    }
    std::string why;
    if (!CheckValueName(value.name, &why)) return Fail(LineAt(0), why);
    while (p < s.size() && IsBlank(s[p])) ++p;
    if (p >= s.size() || s[p] != '=') return Fail(LineAt(p), "expected '=' after value name");
    ++p;
    while (p < s.size() && IsBlank(s[p])) ++p;
    std::string_view rest = s.substr(p);
    if (!rest.empty() && rest[0] == '-') {
        value.remove = true;
        ++p;
    } else if (!rest.empty() && rest[0] == '"') {
        value.type = REG_SZ;
        if (!ReadQuoted(s, &p, &value.data)) return false;
    } else if (StartsWithFolded(rest, "dword:")) {
        p += 6;
        DWORD number = 0;
        if (!ReadHexNumber(s, &p, &number)) {
            return Fail(LineAt(p), "dword: needs 1 to 8 hex digits");
        }
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
    } else if (StartsWithFolded(rest, "hex:")) {
        p += 4;
        value.type = REG_BINARY;
        if (!ReadHexBytes(s, &p, &value.data)) return false;
    } else if (StartsWithFolded(rest, "hex(")) {
        p += 4;
        if (!ReadHexNumber(s, &p, &value.type) || p + 1 >= s.size() || s[p] != ')' ||
            s[p + 1] != ':') {
            return Fail(LineAt(p), "expected hex(N): with a type number of 1 to 8 hex digits");
        }
        p += 2;
        if (!ReadHexBytes(s, &p, &value.data)) return false;
    } else {
        return Fail(LineAt(p), "expected \"text\", dword:, hex: or hex(N): after '='");
    }
    while (p < s.size() && IsBlank(s[p])) ++p;
    if (p != s.size()) return Fail(LineAt(p), "unexpected text after the value");
    if (value.data.size() > kMaxValueSize) return Fail(LineAt(0), "value larger than 1 MiB");
    doc_->sections.back().values.push_back(std::move(value));
    return true;
}

bool Parser::ReadQuoted(std::string_view s, size_t* p, std::string* out) {
    size_t start = *p;
    size_t i = start + 1;
    while (true) {
        if (i >= s.size()) return Fail(LineAt(start), "missing closing '\"'");
        char c = s[i];
        if (c == '"') break;
        if (c == '\\') {
            if (i + 1 >= s.size()) return Fail(LineAt(start), "missing closing '\"'");
            char n = s[i + 1];
            if (n != '\\' && n != '"') {
                return Fail(LineAt(i), "unknown escape " + Describe(n) +
                                           " in a string (write \\\\ for a backslash)");
            }
            out->push_back(n);
            i += 2;
        } else {
            out->push_back(c);
            ++i;
        }
    }
    *p = i + 1;
    return true;
}

bool Parser::ReadHexBytes(std::string_view s, size_t* p, std::string* out) {
    size_t i = *p;
    while (true) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i >= s.size()) break;
        int hi = HexDigit(s[i]);
        if (hi < 0) return Fail(LineAt(i), "expected a hex byte");
        ++i;
        int byte = hi;
        if (i < s.size() && HexDigit(s[i]) >= 0) byte = hi * 16 + HexDigit(s[i++]);
        out->push_back(static_cast<char>(byte));
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i >= s.size()) break;
        if (s[i] != ',') return Fail(LineAt(i), "expected ',' between hex bytes");
        ++i;
    }
    *p = i;
    return true;
}

// Printable UTF-8 (tab allowed, no other control character), short enough for one line.
bool FitsQuoted(std::string_view s) {
    if (s.size() > kMaxQuotedText) return false;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0x80 && cp <= 0x9F)) {
            return false;  // overlong, surrogate, out of range, C1 control
        }
        i += len;
    }
    return true;
}

void AppendQuoted(std::string* out, std::string_view s) {
    out->push_back('"');
    for (char c : s) {
        if (c == '\\' || c == '"') out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

void AppendHexBytes(std::string* out, std::string_view data) {
    static const char kHex[] = "0123456789abcdef";
    size_t col = out->size() - (out->rfind('\n') == std::string::npos ? 0 : out->rfind('\n') + 1);
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out->push_back(',');
            if (++col > 76) {
                out->append("\\\n  ");
                col = 2;
            }
        }
        auto b = static_cast<unsigned char>(data[i]);
        out->push_back(kHex[b >> 4]);
        out->push_back(kHex[b & 15]);
        col += 2;
    }
}

void WriteKey(const Key& key, bool isRoot, std::string* path, std::string* out) {
    if (!isRoot || !key.values.empty()) {
        out->append("\n[").append(*path).append("]\n");
        for (const auto& [folded, value] : key.values) {
            out->append(FormatValueLine(value)).push_back('\n');
        }
    }
    for (const auto& [folded, sub] : key.subkeys) {
        size_t mark = path->size();
        path->append("\\").append(sub->name);
        WriteKey(*sub, false, path, out);
        path->resize(mark);
    }
}

}  // namespace

std::string ParseError::Text(const std::string& file) const {
    if (line <= 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ": " + message;
}

bool ParseRegText(std::string_view text, Document* doc, ParseError* error) {
    *doc = Document();
    return Parser(text, doc, error).Run();
}

void ApplyDocument(const Document& doc, Tree* tree) {
    for (const auto& section : doc.sections) {
        if (section.remove) {
            tree->Remove(section.path);
            continue;
        }
        Key* key = tree->Create(section.path);
        for (const auto& value : section.values) {
            if (value.remove) {
                key->DeleteValue(value.name);
            } else {
                key->SetValue(value.name, value.type, value.data);
            }
        }
    }
}

std::string FormatValueLine(const Value& value) {
    std::string out;
    if (value.name.empty()) {
        out = "@";
    } else {
        AppendQuoted(&out, value.name);
    }
    out.push_back('=');
    if (value.type == REG_SZ && FitsQuoted(value.data)) {
        AppendQuoted(&out, value.data);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(value.data[i]);
        char buf[16];
        snprintf(buf, sizeof buf, "dword:%08x", n);
        out += buf;
    } else {
        if (value.type == REG_BINARY) {
            out += "hex:";
        } else {
            char buf[24];
            snprintf(buf, sizeof buf, "hex(%x):", value.type);
            out += buf;
        }
        AppendHexBytes(&out, value.data);
    }
    return out;
}

std::string WriteRegText(const Tree& tree) {
    std::string out(kHeader5);
    out.push_back('\n');
    for (size_t i = 0; i < kRootCount; ++i) {
        auto root = static_cast<Root>(i);
        std::string path = RootName(root);
        WriteKey(tree.RootKey(root), true, &path, &out);
    }
    return out;
}

std::string WriteRegText(const Tree& tree, const KeyPath& path) {
    std::string out(kHeader5);
    out.push_back('\n');
    // The section names take the stored case of every key on the path.
    const Key* key = &tree.RootKey(path.root);
    std::string text = RootName(path.root);
    for (const auto& part : path.parts) {
        key = key->FindSubKey(part);
        if (!key) return out;
        text.append("\\").append(key->name);
    }
    WriteKey(*key, path.parts.empty(), &text, &out);
    return out;
}

}  // namespace plat::reg::detail

// The value syntax: parsing tokens into values and printing values back.
#include "tools/posctl/value.h"

#include <cstdio>

#include "platform/automation/automation.h"

namespace posctl {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Parses the quoted string `token` (quotes included) into raw bytes.
bool ParseString(std::string_view token, std::string* out, std::string* err) {
    if (token.size() < 2 || token.front() != '"') {
        *err = "unterminated string";
        return false;
    }
    std::string bytes;
    size_t i = 1;
    for (;;) {
        if (i >= token.size()) {
            *err = "unterminated string";
            return false;
        }
        char c = token[i++];
        if (c == '"') break;
        if (c != '\\') {
            bytes.push_back(c);
            continue;
        }
        if (i >= token.size()) {
            *err = "unterminated string";
            return false;
        }
        char e = token[i++];
        switch (e) {
            case '\\': bytes.push_back('\\'); break;
            case '"': bytes.push_back('"'); break;
            case '\'': bytes.push_back('\''); break;
            case '?': bytes.push_back('?'); break;
            case 'n': bytes.push_back('\n'); break;
            case 'r': bytes.push_back('\r'); break;
            case 't': bytes.push_back('\t'); break;
            case 'a': bytes.push_back('\a'); break;
            case 'b': bytes.push_back('\b'); break;
            case 'f': bytes.push_back('\f'); break;
            case 'v': bytes.push_back('\v'); break;
            case '0': bytes.push_back('\0'); break;
            case 'x': {
                int hi = i < token.size() ? HexDigit(token[i]) : -1;
                int lo = i + 1 < token.size() ? HexDigit(token[i + 1]) : -1;
                if (hi < 0 || lo < 0) {
                    *err = "bad \\x escape (needs two hex digits)";
                    return false;
                }
                bytes.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                break;
            }
            default:
                *err = std::string("unknown escape \\") + e;
                return false;
        }
    }
    if (i != token.size()) {
        *err = "unexpected text after string";
        return false;
    }
    *out = std::move(bytes);
    return true;
}

}  // namespace

bool ParseNumber(std::string_view token, int32_t* out, std::string* err) {
    if (EqualsNoCase(token, "TRUE") || EqualsNoCase(token, "FALSE")) {
        *out = EqualsNoCase(token, "TRUE") ? 1 : 0;
        return true;
    }
    std::string_view s = token;
    bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex) s.remove_prefix(2);
    if (s.empty()) {
        *err = "bad number '" + std::string(token) + "'";
        return false;
    }
    // Digits first, then the range: at most 0xFFFFFFFF in hex (a bit pattern), and
    // -2147483648..2147483647 in decimal or negated hex.
    uint64_t magnitude = 0;
    for (char c : s) {
        int d = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) {
            *err = "bad number '" + std::string(token) + "'";
            return false;
        }
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (magnitude > 0xFFFFFFFFull) {
            *err = "number out of range '" + std::string(token) + "'";
            return false;
        }
    }
    uint64_t limit = negative ? 0x80000000ull : (hex ? 0xFFFFFFFFull : 0x7FFFFFFFull);
    if (magnitude > limit) {
        *err = "number out of range '" + std::string(token) + "'";
        return false;
    }
    int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
    return true;
}

bool ParseValue(std::string_view token, Value* out, std::string* err) {
    Value v;
    if (!token.empty() && token.front() == '&') {
        v.byRef = true;
        token.remove_prefix(1);
    }
    if (token.empty()) {
        *err = "missing value";
        return false;
    }
    if (token.front() == '"') {
        v.kind = Value::Kind::String;
        if (!ParseString(token, &v.text, err)) return false;
    } else {
        v.kind = Value::Kind::Number;
        if (!ParseNumber(token, &v.number, err)) return false;
    }
    *out = std::move(v);
    return true;
}

std::string FormatNumber(int32_t n) { return std::to_string(n); }

std::string QuoteBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (unsigned char c : bytes) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buf[5];
                    std::snprintf(buf, sizeof buf, "\\x%02x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
    return out;
}

std::string FormatValue(const Value& v) {
    std::string body = v.kind == Value::Kind::String ? QuoteBytes(v.text) : FormatNumber(v.number);
    return v.byRef ? "&" + body : body;
}

std::string FormatVariant(const plat::Variant& v) {
    if (const int32_t* n = v.GetLong()) return FormatNumber(*n);
    if (const std::string* s = v.GetString()) return QuoteBytes(*s);
    if (const int32_t* p = v.GetLongRef()) return FormatNumber(*p);
    if (const std::string* p = v.GetStringRef()) return QuoteBytes(*p);
    bool b = false;
    if (v.GetBool(&b)) return b ? "1" : "0";
    if (v.GetDispatch()) return "<dispatch>";
    return "<empty>";
}

}  // namespace posctl

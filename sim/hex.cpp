#include "sim/hex.h"

namespace sim {

namespace {

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Separator(char c) {
    return c == ' ' || c == ',' || c == '\t';
}

}  // namespace

std::string ToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

bool ParseHex(std::string_view text, std::string* bytes, std::string* error) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (Separator(text[i])) {
            ++i;
            continue;
        }
        if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
        }
        if (i + 1 >= text.size() || Digit(text[i]) < 0 || Digit(text[i + 1]) < 0) {
            if (error) {
                *error = i < text.size() && Digit(text[i]) >= 0 && i + 1 >= text.size()
                             ? "odd number of hex digits"
                             : "not a hex byte at position " + std::to_string(i + 1);
            }
            return false;
        }
        out += static_cast<char>(Digit(text[i]) * 16 + Digit(text[i + 1]));
        i += 2;
    }
    *bytes = std::move(out);
    return true;
}

}  // namespace sim

#include "posframe/binconv.h"

#include "include/kavro_codes.h"
#include "include/opos.h"

namespace {

LONG Fail(std::string* out, LONG* extended, LONG code) {
    if (out) out->clear();
    if (extended) *extended = code;
    return OPOS_E_ILLEGAL;
}

bool DecodeNibbles(const std::string& in, std::string* bytes) {
    if (in.size() % 2 != 0) return false;
    bytes->reserve(in.size() / 2);
    for (size_t i = 0; i < in.size(); i += 2) {
        auto hi = static_cast<unsigned char>(in[i]);
        auto lo = static_cast<unsigned char>(in[i + 1]);
        if ((hi & 0xF0) != 0x30 || (lo & 0xF0) != 0x30) return false;
        bytes->push_back(static_cast<char>(((hi & 0x0F) << 4) | (lo & 0x0F)));
    }
    return true;
}

bool DecodeDecimal(const std::string& in, std::string* bytes) {
    if (in.size() % 3 != 0) return false;
    bytes->reserve(in.size() / 3);
    for (size_t i = 0; i < in.size(); i += 3) {
        unsigned value = 0;
        for (size_t k = i; k < i + 3; ++k) {
            char c = in[k];
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255) return false;
        bytes->push_back(static_cast<char>(value));
    }
    return true;
}

}  // namespace

LONG ConvertToBinary(LONG mode, const std::string& in, std::string* out, LONG argExtended,
                     LONG* extended) {
    if (!out) return Fail(out, extended, argExtended);
    std::string bytes;
    switch (mode) {
        case OPOS_BC_NONE:
            bytes = in;
            break;
        case OPOS_BC_NIBBLE:
            if (!DecodeNibbles(in, &bytes)) return Fail(out, extended, argExtended);
            break;
        case OPOS_BC_DECIMAL:
            if (!DecodeDecimal(in, &bytes)) return Fail(out, extended, argExtended);
            break;
        default:
            return Fail(out, extended, KAVRO_E_BADVALUE);
    }
    *out = std::move(bytes);
    if (extended) *extended = 0;
    return OPOS_SUCCESS;
}

LONG ConvertToASCII(LONG mode, const std::string& in, std::string* out) {
    if (!out) return OPOS_E_ILLEGAL;
    std::string text;
    switch (mode) {
        case OPOS_BC_NONE:
            text = in;
            break;
        case OPOS_BC_NIBBLE:
            text.reserve(in.size() * 2);
            for (char ch : in) {
                auto b = static_cast<unsigned char>(ch);
                text.push_back(static_cast<char>(0x30 + (b >> 4)));
                text.push_back(static_cast<char>(0x30 + (b & 0x0F)));
            }
            break;
        case OPOS_BC_DECIMAL:
            text.reserve(in.size() * 3);
            for (char ch : in) {
                auto b = static_cast<unsigned char>(ch);
                text.push_back(static_cast<char>('0' + b / 100));
                text.push_back(static_cast<char>('0' + b / 10 % 10));
                text.push_back(static_cast<char>('0' + b % 10));
            }
            break;
        default:
            out->clear();
            return OPOS_E_ILLEGAL;
    }
    *out = std::move(text);
    return OPOS_SUCCESS;
}

// The value syntax of posctl scripts and output.
//
//   numbers   decimal or 0x hex, optionally negative: 12, -3, 0x1B, 0xFFFFFFFF (= -1)
//   TRUE      1, FALSE 0 (any case)
//   strings   "..." with C escapes: \\ \" \n \r \t \0 \a \b \f \v \' \? and \xHH (exactly
//             two hex digits); strings are byte strings, NUL included
//   &VALUE    a by-reference argument holding VALUE (&0, &"")
//
// Printing is the inverse: numbers in decimal, strings quoted with printable ASCII as is
// and every other byte (and 0x7F and above) as \xHH, so parsing a printed value gives
// back the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {
class Variant;
}

namespace posctl {

struct Value {
    enum class Kind { Number, String };
    Kind kind = Kind::Number;
    int32_t number = 0;
    std::string text;  // Kind::String
    bool byRef = false;

    static Value Number(int32_t n) { return Value{Kind::Number, n, {}, false}; }
    static Value String(std::string s) { return Value{Kind::String, 0, std::move(s), false}; }
    bool operator==(const Value&) const = default;
};

// Parses one whole token. False with a message in *err when it is not a value.
bool ParseValue(std::string_view token, Value* out, std::string* err);
// Parses a number token only (no strings, no &).
bool ParseNumber(std::string_view token, int32_t* out, std::string* err);

// Printed forms.
std::string FormatNumber(int32_t n);
std::string QuoteBytes(std::string_view bytes);
std::string FormatValue(const Value& v);  // with a leading & when by reference
// An automation value as posctl prints it: long and BOOL as numbers (TRUE = 1), strings
// quoted, by-reference values as the value they refer to.
std::string FormatVariant(const plat::Variant& v);

}  // namespace posctl

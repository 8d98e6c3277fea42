// Hexadecimal text for bytes, as the control lines and traces write them.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// "1B 3D 01" for the bytes 1B 3D 01 (upper case, one space between bytes).
std::string ToHex(std::string_view bytes);

// Parses pairs of hex digits; spaces, commas and tabs between pairs are allowed, and so
// is a "0x" in front of a pair. False (with a reason) for any other character or an odd
// digit count.
bool ParseHex(std::string_view text, std::string* bytes, std::string* error);

}  // namespace sim

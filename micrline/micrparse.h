// String work behind CMicrData: splitting an E-13B code line into the MICR data fields and
// the routing-number check digit. Internal to the library (hidden symbols); tests and the
// fuzz target compile it directly.
#pragma once

#include <string>
#include <string_view>

#include "platform/wintypes.h"

namespace micrline::detail {

// DeleteChar setting bits.
constexpr LONG kDeleteSpace = 1;
constexpr LONG kDeleteDash = 2;

// One stored read.
struct MicrFields {
    std::string rawData;
    std::string accountNumber;
    std::string amount;
    std::string bankNumber;
    std::string serialNumber;
    std::string epc;
    std::string transitNumber;
    LONG checkType = 99;
    LONG countryCode = 99;
};

// Lower case (ASCII only), then every "d" becomes the dash symbol "-".
void TransOPOSCharacter(std::string& text);
// Number of characters '0'..'9'.
long GetNumLen(std::string_view text);
// Removes leading and trailing " \t\r\n\v\f".
void Trim(std::string& text);

// Field of `source` delimited by `symbol`:
//   mode 1: the field in front of the first symbol (after the previous "t", "o" or "a");
//   mode 2: the field after the last symbol, up to the next "t", "o" or "a";
//   mode 3: the field between the first two symbols.
// With `remove`, the field and its delimiting symbol(s) are cut out of `source` (modes 1 and 2
// only when the field is not empty). Any other mode gives an empty result.
std::string GetField(std::string& source, char symbol, long mode, bool remove);

// Splits a code line (any bytes) into the fields of one record.
MicrFields ParseE13B(std::string_view line, LONG deleteChar);

// ABA check digit (weights 3, 7, 1) over the digit characters of the transit number when it
// holds exactly nine of them; any other transit passes.
bool CheckDigit(std::string_view transit);

}  // namespace micrline::detail

// BinaryConversion: how string arguments and results that carry binary data are passed
// through the automation interface, by the BinaryConversion property's mode.
//   OPOS_BC_NONE (0)     the bytes as they are (00 and 80..FF included);
//   OPOS_BC_NIBBLE (1)   each byte as two characters, 0x30 + high nibble, 0x30 + low nibble;
//   OPOS_BC_DECIMAL (2)  each byte as three decimal digits "000".."255".
#pragma once

#include <string>

#include "platform/wintypes.h"

// Decodes an application's text into bytes. Returns OPOS_SUCCESS, or OPOS_E_ILLEGAL with
// *out emptied when the text does not decode (nibble: odd length or a character outside
// 0x30..0x3F; decimal: length not a multiple of 3, a non-digit, or a value above 255);
// *extended (when given) then holds `argExtended`, the caller's code for the argument
// (e.g. 300002). An unknown mode gives OPOS_E_ILLEGAL with extended 10005. `out` may be
// the same string as `in`.
LONG ConvertToBinary(LONG mode, const std::string& in, std::string* out, LONG argExtended,
                     LONG* extended);

// Encodes bytes as text for the application. Every byte string encodes; an unknown mode
// (or no `out`) gives OPOS_E_ILLEGAL with *out emptied. `out` may be the same as `in`.
LONG ConvertToASCII(LONG mode, const std::string& in, std::string* out);

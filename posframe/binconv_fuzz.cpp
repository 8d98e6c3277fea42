// BinaryConversion on arbitrary text and bytes: decoding never crashes, a text that
// decodes encodes back to itself, and encoded bytes decode back to themselves.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "include/opos.h"
#include "posframe/binconv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (LONG mode : {OPOS_BC_NONE, OPOS_BC_NIBBLE, OPOS_BC_DECIMAL}) {
        std::string bytes, text;
        LONG extended = 0;
        if (ConvertToBinary(mode, input, &bytes, 300002, &extended) == OPOS_SUCCESS) {
            if (ConvertToASCII(mode, bytes, &text) != OPOS_SUCCESS || text != input) abort();
        } else if (extended != 300002 || !bytes.empty()) {
            abort();
        }

        if (ConvertToASCII(mode, input, &text) != OPOS_SUCCESS) abort();
        if (ConvertToBinary(mode, text, &bytes, 300003, &extended) != OPOS_SUCCESS ||
            bytes != input)
            abort();
    }
    return 0;
}

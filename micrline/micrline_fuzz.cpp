// Any bytes as a code line: parsing never fails and the fields keep their properties. The
// first byte chooses the DeleteChar setting and the line kind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "micrline/micrdata.h"
#include "micrline/micrline_checks.h"
#include "micrline/micrparse.h"

namespace {

void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const LONG deleteChar = data[0] & 3;
    const bool e13b = (data[0] & 4) == 0;
    const std::string line(reinterpret_cast<const char*>(data + 1), size - 1);

    if (e13b) {
        auto fields = micrline::detail::ParseE13B(line, deleteChar);
        std::string fault = micrline::checks::CheckFields(line, deleteChar, fields);
        if (!fault.empty()) Fail(fault);
        std::string lower = line;
        micrline::detail::TransOPOSCharacter(lower);
        fault = micrline::checks::CheckGetField(lower);
        if (!fault.empty()) Fail(fault);
    }

    // The same line through the store: what comes out is what the parser gave.
    CMicrData store;
    store.Setting(deleteChar);
    std::string arg = line;
    const BOOL passed = store.Add(arg, e13b ? TRUE : FALSE, TRUE);
    std::string raw, account, amount, bank, serial, epc, transit;
    LONG checkType = 0, countryCode = 0;
    if (!store.PopOldest(raw, account, amount, bank, serial, epc, transit, checkType,
                         countryCode) ||
        store.GetSize() != 0) {
        Fail("record not stored once");
    }
    if (passed != (micrline::detail::CheckDigit(transit) ? TRUE : FALSE)) {
        Fail("check digit result does not match the stored transit number");
    }
    if (!e13b) {
        std::string lower = line;
        micrline::detail::TransOPOSCharacter(lower);
        if (arg != lower || raw != lower ||
            !(account + amount + bank + serial + epc + transit).empty()) {
            Fail("CMC7 record is not the translated line alone");
        }
    } else if (arg != line) {
        Fail("E-13B line changed");
    }
    return 0;
}

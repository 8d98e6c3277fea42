// Properties every parse result must have, whatever bytes the line held. Shared by the
// robustness tests and the fuzz target; each check returns an empty string or what is wrong.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "micrline/micrparse.h"

namespace micrline::checks {

inline bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Every character of `part` occurs in `whole`, in the same order.
inline bool IsSubsequence(std::string_view part, std::string_view whole) {
    size_t i = 0;
    for (char c : whole) {
        if (i < part.size() && part[i] == c) ++i;
    }
    return i == part.size();
}

inline std::string CheckFields(std::string_view line, LONG deleteChar,
                               const detail::MicrFields& f) {
    std::string raw(line);
    detail::TransOPOSCharacter(raw);
    detail::Trim(raw);
    if (f.rawData != raw) return "RawData is not the translated, trimmed line";
    if (f.countryCode != 99) return "CountryCode is not 99";

    const std::pair<const char*, const std::string*> fields[] = {
        {"AccountNumber", &f.accountNumber},
        {"Amount", &f.amount},
        {"BankNumber", &f.bankNumber},
        {"SerialNumber", &f.serialNumber},
        {"EPC", &f.epc},
        {"TransitNumber", &f.transitNumber}};
    for (const auto& [name, value] : fields) {
        const std::string& s = *value;
        std::string what = std::string(name) + " ";
        // The bank number is cut from the transit number by position, so it may end in a space.
        const bool trimmed =
            s.empty() || value == &f.bankNumber || (!IsWhite(s.front()) && !IsWhite(s.back()));
        if (!trimmed) return what + "not trimmed";
        if ((deleteChar & detail::kDeleteSpace) && s.find(' ') != std::string::npos) {
            return what + "keeps a space";
        }
        if ((deleteChar & detail::kDeleteDash) && s.find('-') != std::string::npos) {
            return what + "keeps a dash";
        }
        if (!IsSubsequence(s, raw)) return what + "holds characters not in RawData";
    }

    if (f.checkType == 99) {
        if (f.bankNumber != "00800") return "CheckType 99 without bank 00800";
        if (!f.accountNumber.empty() || !f.amount.empty()) return "bank 00800 with an account";
    } else if (f.checkType == 1 || f.checkType == 2) {
        std::string bank = f.transitNumber.size() >= 8 ? f.transitNumber.substr(3, 5) : "";
        if (f.bankNumber != bank) return "BankNumber is not characters 4 to 8 of the transit";
        if (detail::GetNumLen(f.serialNumber) < 3 && f.checkType == 2) {
            return "business check without a serial number";
        }
    } else {
        return "CheckType out of range";
    }
    return {};
}

// GetField with remove cuts exactly the field and its symbol(s), or leaves the source alone.
inline std::string CheckGetField(const std::string& source) {
    for (char symbol : {'t', 'o', 'a', '-'}) {
        for (long mode = 0; mode <= 4; ++mode) {
            std::string kept = source;
            std::string looked = detail::GetField(kept, symbol, mode, false);
            if (kept != source) return "GetField without remove changed the source";
            std::string cut = source;
            std::string field = detail::GetField(cut, symbol, mode, true);
            if (field != looked) return "GetField gives another field with remove";
            if (source.find(field) == std::string::npos) return "field is not part of the source";
            if (cut == source) continue;
            const size_t symbols = mode == 3 ? 2 : 1;
            if (mode < 1 || mode > 3 || (mode != 3 && field.empty()) ||
                cut.size() + field.size() + symbols != source.size() ||
                !IsSubsequence(cut, source)) {
                return "GetField with remove cut the wrong text";
            }
        }
    }
    return {};
}

}  // namespace micrline::checks

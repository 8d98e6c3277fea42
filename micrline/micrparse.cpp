#include "micrline/micrparse.h"

#include <algorithm>

namespace micrline::detail {
namespace {

constexpr const char* kFieldEnds = "toa";  // transit, on-us and amount symbols
constexpr const char* kWhite = " \t\r\n\v\f";
constexpr const char* kSeparators = " -";
constexpr const char* kSeparatorsAndWhite = " -\t\r\n\v\f";
constexpr std::string_view kBank00800 = "00800";

bool HasDigit(std::string_view text) {
    return GetNumLen(text) > 0;
}

void TrimLeft(std::string& text) {
    text.erase(0, text.find_first_not_of(kWhite));
}

void TrimRight(std::string& text) {
    size_t last = text.find_last_not_of(kWhite);
    text.erase(last == std::string::npos ? 0 : last + 1);
}

void EraseAll(std::string& text, char c) {
    std::erase(text, c);
}

// Removes the characters the DeleteChar setting names, then any white space left at the ends.
void ApplyDeleteChar(std::string& text, LONG deleteChar) {
    if (deleteChar & kDeleteSpace) EraseAll(text, ' ');
    if (deleteChar & kDeleteDash) EraseAll(text, '-');
    Trim(text);
}

// left: up to and including the last transit symbol; right: what follows it.
void SeparateField(const std::string& line, std::string& left, std::string& right) {
    size_t p = line.rfind('t');
    if (p == std::string::npos) {
        left.clear();
        right = line;
        return;
    }
    left = line.substr(0, p + 1);
    right = line.substr(p + 1);
}

// Serial number in front of or behind a space or dash of the account field; the rest of the
// field must still hold at least six digits. The separator goes with the serial number.
std::string FindSerial(std::string& account) {
    const long digits = GetNumLen(account);
    std::string lead = account.substr(0, account.find_first_of(kSeparators));
    if (lead.size() >= 3 && digits - static_cast<long>(lead.size()) >= 6) {
        account.erase(0, account.find_first_not_of(kSeparatorsAndWhite, lead.size()));
        return lead;
    }
    size_t last = account.find_last_of(kSeparators);
    std::string tail = last == std::string::npos ? account : account.substr(last + 1);
    if (tail.size() >= 3 && digits - static_cast<long>(tail.size()) >= 6) {
        size_t keep =
            account.find_last_not_of(kSeparatorsAndWhite, account.size() - tail.size() - 1);
        account.erase(keep == std::string::npos ? 0 : keep + 1);
        return tail;
    }
    return {};
}

// The first four characters of an undivided account field of at least ten digits. They are
// dropped from the account by position, so a non-digit in the field costs no digit.
std::string GetSerial(std::string& account) {
    if (account.find_first_of(kSeparators) != std::string::npos || GetNumLen(account) - 4 < 6) {
        return {};
    }
    std::string serial = account.substr(0, 4);
    account.erase(0, 4);
    return serial;
}

// Cuts a serial number that was read as part of the account field off its front or back.
void DeleteSerial(std::string& account, const std::string& serial) {
    if (GetNumLen(account) - static_cast<long>(serial.size()) < 6) return;
    if (account.starts_with(serial)) {
        account.erase(0, serial.size());
    } else if (account.ends_with(serial)) {
        account.erase(account.size() - serial.size());
    }
    Trim(account);
}

bool IsBank00800(std::string_view transit) {
    return transit.size() >= 8 && transit.substr(3, 5) == kBank00800;
}

}  // namespace

void TransOPOSCharacter(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == 'd') c = '-';
    }
}

long GetNumLen(std::string_view text) {
    return static_cast<long>(
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

void Trim(std::string& text) {
    TrimRight(text);
    TrimLeft(text);
}

std::string GetField(std::string& source, char symbol, long mode, bool remove) {
    const size_t p = source.find(symbol);
    if (p == std::string::npos) return {};
    switch (mode) {
        case 1: {
            size_t start = 0;
            if (p > 0) {
                size_t end = source.find_last_of(kFieldEnds, p - 1);
                if (end != std::string::npos) start = end + 1;
            }
            std::string field = source.substr(start, p - start);
            if (remove && !field.empty()) source.erase(start, p - start + 1);
            return field;
        }
        case 2: {
            const size_t q = source.rfind(symbol);
            size_t end = source.find_first_of(kFieldEnds, q + 1);
            if (end == std::string::npos) end = source.size();
            std::string field = source.substr(q + 1, end - q - 1);
            if (remove && !field.empty()) source.erase(q, end - q);
            return field;
        }
        case 3: {
            const size_t q = source.find(symbol, p + 1);
            if (q == std::string::npos) return {};
            std::string field = source.substr(p + 1, q - p - 1);
            if (remove) source.erase(p, q - p + 1);
            return field;
        }
        default:
            return {};
    }
}

MicrFields ParseE13B(std::string_view line, LONG deleteChar) {
    MicrFields f;
    std::string r(line);
    TransOPOSCharacter(r);
    std::string left, right;
    SeparateField(r, left, right);
    f.rawData = r;
    Trim(f.rawData);

    // Transit field between the two transit symbols; a single digit in front of it is the EPC.
    // With only one transit symbol the field in front of it is the transit number.
    f.transitNumber = GetField(left, 't', 3, false);
    std::string front = GetField(left, 't', 1, false);
    const long frontDigits = GetNumLen(front);
    if (frontDigits == 1) {
        f.epc = front;
    } else if (frontDigits > 1 && f.transitNumber.empty()) {
        f.transitNumber = front;
    }

    // Bank 00800 carries no account field: the serial number precedes the first on-us symbol.
    std::string transit = f.transitNumber;
    ApplyDeleteChar(transit, deleteChar);
    if (IsBank00800(transit)) {
        f.transitNumber = transit;
        f.bankNumber = std::string(kBank00800);
        f.serialNumber = GetField(right, 'o', 1, false);
        ApplyDeleteChar(f.serialNumber, deleteChar);
        ApplyDeleteChar(f.epc, deleteChar);
        return f;
    }

    // An on-us field in front of the transit field is the serial number of a business check.
    f.serialNumber = GetField(left, 'o', 3, false);
    if (f.serialNumber.empty()) f.serialNumber = GetField(left, 'o', 1, false);
    if (GetNumLen(f.serialNumber) >= 3) {
        f.checkType = 2;
    } else {
        f.serialNumber.clear();
        f.checkType = 1;
    }
    const bool personal = f.checkType == 1;

    f.amount = GetField(right, 'a', 3, true);
    std::string before = GetField(right, 'o', 1, false);
    std::string between = GetField(right, 'o', 3, false);
    std::string after = GetField(right, 'o', 2, false);
    if (HasDigit(between)) {
        f.accountNumber = between;
        if (personal) f.serialNumber = HasDigit(before) ? before : after;
    } else if (HasDigit(before)) {
        f.accountNumber = before;
        if (personal && HasDigit(after)) f.serialNumber = after;
    } else {
        f.accountNumber = after;
    }

    if (GetNumLen(f.serialNumber) < 3) f.serialNumber.clear();
    for (std::string* s :
         {&f.accountNumber, &f.amount, &f.serialNumber, &f.epc, &f.transitNumber}) {
        Trim(*s);
    }

    if (!f.serialNumber.empty() && personal) {
        DeleteSerial(f.accountNumber, f.serialNumber);
    } else if (f.serialNumber.empty() && !f.accountNumber.empty()) {
        f.serialNumber = FindSerial(f.accountNumber);
        if (f.serialNumber.empty()) f.serialNumber = GetSerial(f.accountNumber);
    }

    for (std::string* s :
         {&f.accountNumber, &f.amount, &f.serialNumber, &f.epc, &f.transitNumber}) {
        ApplyDeleteChar(*s, deleteChar);
    }
    if (f.transitNumber.size() >= 8) f.bankNumber = f.transitNumber.substr(3, 5);
    return f;
}

bool CheckDigit(std::string_view transit) {
    int d[9];
    int n = 0;
    for (char c : transit) {
        if (c < '0' || c > '9') continue;
        if (n == 9) return true;  // more than nine digits: not a routing number
        d[n++] = c - '0';
    }
    if (n != 9) return true;
    const int s = 3 * (d[0] + d[3] + d[6]) + 7 * (d[1] + d[4] + d[7]) + (d[2] + d[5]);
    return d[8] == (10 - s % 10) % 10;
}

}  // namespace micrline::detail

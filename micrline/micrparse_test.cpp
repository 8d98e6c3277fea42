// Parsing of code lines through the public class, the field extraction underneath it, the
// check digit, and hostile input.
#include "micrline/micrparse.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "micrline/micrdata.h"
#include "micrline/micrline_cases.h"
#include "micrline/micrline_checks.h"

namespace {

using micrline::cases::MicrCase;
using micrline::detail::GetField;

class ParseTable : public ::testing::TestWithParam<MicrCase> {};

}  // namespace

namespace micrline::cases {
// Names the case in test listings instead of its bytes.
void PrintTo(const MicrCase& c, std::ostream* os) { *os << c.name << ": \"" << c.line << "\""; }
}  // namespace micrline::cases

namespace {

TEST_P(ParseTable, GivesTheFields) {
    const MicrCase& c = GetParam();
    CMicrData data;
    data.Setting(c.deleteChar);
    std::string line = c.line;
    data.Add(line, TRUE, FALSE);
    EXPECT_EQ(line, c.line) << "an E-13B line is left as the caller passed it";

    std::string raw, account, amount, bank, serial, epc, transit;
    LONG checkType = 0, countryCode = 0;
    data.GetProperty(raw, account, amount, bank, serial, epc, transit, checkType, countryCode);
    EXPECT_EQ(raw, c.rawData);
    EXPECT_EQ(transit, c.transitNumber);
    EXPECT_EQ(epc, c.epc);
    EXPECT_EQ(bank, c.bankNumber);
    EXPECT_EQ(account, c.accountNumber);
    EXPECT_EQ(amount, c.amount);
    EXPECT_EQ(serial, c.serialNumber);
    EXPECT_EQ(checkType, c.checkType);
    EXPECT_EQ(countryCode, 99);
}

INSTANTIATE_TEST_SUITE_P(CodeLines, ParseTable, ::testing::ValuesIn(micrline::cases::kParseCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct FieldCase {
    const char* source;
    char symbol;
    long mode;
    const char* field;
    const char* sourceAfterRemove;
};

TEST(GetField, ModesWithRemove) {
    const FieldCase cases[] = {
        // mode 1: the field in front of the first symbol, after the previous field end
        {"12o34o", 'o', 1, "12", "34o"},
        {"t123a45o67", 'o', 1, "45", "t123a67"},
        {"o12", 'o', 1, "", "o12"},
        {"12ao34", 'o', 1, "", "12ao34"},
        // mode 2: the field after the last symbol, up to the next field end
        {"12o34o56", 'o', 2, "56", "12o34"},
        {"12o34a56", 'o', 2, "34", "12a56"},
        {"12o", 'o', 2, "", "12o"},
        // mode 3: between the first two symbols; the pair goes even around an empty field
        {"a12a34a", 'a', 3, "12", "34a"},
        {"xaay", 'a', 3, "", "xy"},
        {"12a34", 'a', 3, "", "12a34"},
        // no symbol, unknown mode
        {"123", 'o', 1, "", "123"},
        {"123", 'o', 2, "", "123"},
        {"", 'o', 3, "", ""},
        {"1o2o3", 'o', 0, "", "1o2o3"},
        {"1o2o3", 'o', 4, "", "1o2o3"},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " mode " + std::to_string(c.mode));
        std::string source = c.source;
        EXPECT_EQ(GetField(source, c.symbol, c.mode, false), c.field);
        EXPECT_EQ(source, c.source);
        EXPECT_EQ(GetField(source, c.symbol, c.mode, true), c.field);
        EXPECT_EQ(source, c.sourceAfterRemove);
    }
}

TEST(CheckDigit, RoutingNumbers) {
    const struct {
        const char* transit;
        bool passes;
    } cases[] = {
        {"123456780", true},   {"021000021", true}, {"123456789", false}, {"1234-56780", true},
        {"1234-56789", false}, {"12345678", true},  {"1234567890", true}, {"", true},
        {"12 345 6780", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(micrline::detail::CheckDigit(c.transit), c.passes) << c.transit;
    }
}

TEST(CheckDigit, FailingRecordIsStoredAllTheSame) {
    CMicrData data;
    std::string bad = "T123456789T1234567890O1001";
    EXPECT_EQ(data.Add(bad, TRUE, TRUE), FALSE);
    EXPECT_EQ(data.GetSize(), 1);
    EXPECT_EQ(data.Add(bad, TRUE, FALSE), TRUE) << "no test asked for";
    std::string good = "T1234D56780T1234567890O1001";
    EXPECT_EQ(data.Add(good, TRUE, TRUE), TRUE) << "the dash does not count as a digit";
    std::string cmc7 = "123D456";
    EXPECT_EQ(data.Add(cmc7, FALSE, TRUE), TRUE) << "a CMC7 line has no transit number";
    EXPECT_EQ(data.GetSize(), 4);
}

void ExpectSound(const std::string& line) {
    for (LONG deleteChar = 0; deleteChar <= 3; ++deleteChar) {
        auto fields = micrline::detail::ParseE13B(line, deleteChar);
        std::string fault = micrline::checks::CheckFields(line, deleteChar, fields);
        ASSERT_EQ(fault, "") << "DeleteChar " << deleteChar << ", line of " << line.size()
                             << " bytes: " << line.substr(0, 80);
    }
    std::string lower = line;
    micrline::detail::TransOPOSCharacter(lower);
    ASSERT_EQ(micrline::checks::CheckGetField(lower), "") << line.substr(0, 80);
}

TEST(Robustness, EveryByteValue) {
    for (int b = 1; b <= 0xFF; ++b) {
        const char c = static_cast<char>(b);
        ExpectSound(std::string(1, c));
        ExpectSound(std::string("5T1234") + c + "56780T12" + c + "34567890O1" + c + "001A12A");
    }
    std::string withNul = "T123456780T1234567890O1001";
    withNul[4] = '\0';
    ExpectSound(withNul);
}

TEST(Robustness, LongRunsOfSymbols) {
    for (const char* unit : {"t", "o", "a", "d", " ", "to", "tao", "1t", "o1", "a1a", "t-o 9"}) {
        std::string line;
        while (line.size() < 20000) line += unit;
        ExpectSound(line);
        ExpectSound("T123456780T" + line + "O1001");
    }
}

TEST(Robustness, RandomLines) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "0123456789TOADtoad -?\t";
    for (int i = 0; i < 3000; ++i) {
        std::string line(rng() % 60, '\0');
        const bool anyByte = i % 3 == 0;
        for (char& c : line) {
            c = anyByte ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()];
        }
        ExpectSound(line);
    }
}

}  // namespace

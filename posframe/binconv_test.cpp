#include "posframe/binconv.h"

#include <gtest/gtest.h>

#include "include/kavro_codes.h"
#include "include/opos.h"

namespace {

using namespace std::string_literals;

std::string AllBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

TEST(BinConv, EveryByteRoundTripsInEveryMode) {
    const std::string bytes = AllBytes();
    for (LONG mode : {OPOS_BC_NONE, OPOS_BC_NIBBLE, OPOS_BC_DECIMAL}) {
        std::string text, back;
        ASSERT_EQ(ConvertToASCII(mode, bytes, &text), OPOS_SUCCESS) << mode;
        LONG extended = -1;
        ASSERT_EQ(ConvertToBinary(mode, text, &back, KAVRO_E_ARG2, &extended), OPOS_SUCCESS)
            << mode;
        EXPECT_EQ(back, bytes) << mode;
        EXPECT_EQ(extended, 0);
    }
}

TEST(BinConv, EncodedForms) {
    struct Case {
        LONG mode;
        std::string bytes, text;
    };
    const Case cases[] = {
        {OPOS_BC_NONE, "\x00\x80\xFF"s, "\x00\x80\xFF"s},
        {OPOS_BC_NIBBLE, "\x00\x1B\x9F\xFF"s, "001;9???"},
        {OPOS_BC_DECIMAL, "\x00\x07\x1B\xFF"s, "000007027255"},
        {OPOS_BC_NIBBLE, "", ""},
        {OPOS_BC_DECIMAL, "", ""},
    };
    for (const Case& c : cases) {
        std::string text, bytes;
        EXPECT_EQ(ConvertToASCII(c.mode, c.bytes, &text), OPOS_SUCCESS);
        EXPECT_EQ(text, c.text) << c.mode;
        EXPECT_EQ(ConvertToBinary(c.mode, c.text, &bytes, KAVRO_E_ARG2, nullptr), OPOS_SUCCESS);
        EXPECT_EQ(bytes, c.bytes) << c.mode;
    }
}

TEST(BinConv, DecodeErrorsFailWithTheCallersExtendedCode) {
    struct Case {
        const char* what;
        LONG mode;
        std::string text;
    };
    const Case cases[] = {
        {"nibble odd length", OPOS_BC_NIBBLE, "303"},
        {"nibble single char", OPOS_BC_NIBBLE, "3"},
        {"nibble char below range", OPOS_BC_NIBBLE, "3/"},
        {"nibble char above range", OPOS_BC_NIBBLE, "@0"},
        {"nibble lowercase hex", OPOS_BC_NIBBLE, "1a"},
        {"nibble high byte", OPOS_BC_NIBBLE, "\xB0\x30"s},
        {"nibble NUL", OPOS_BC_NIBBLE, "0\x00"s},
        {"decimal 256", OPOS_BC_DECIMAL, "255256"},
        {"decimal 999", OPOS_BC_DECIMAL, "999"},
        {"decimal non-digit", OPOS_BC_DECIMAL, "0a1"},
        {"decimal sign", OPOS_BC_DECIMAL, "-01"},
        {"decimal space", OPOS_BC_DECIMAL, " 12"},
        {"decimal length 4", OPOS_BC_DECIMAL, "0001"},
        {"decimal length 2", OPOS_BC_DECIMAL, "00"},
    };
    for (const Case& c : cases) {
        for (LONG argExtended : {KAVRO_E_ARG2, KAVRO_E_ARG3}) {
            std::string out = "stale";
            LONG extended = 0;
            EXPECT_EQ(ConvertToBinary(c.mode, c.text, &out, argExtended, &extended), OPOS_E_ILLEGAL)
                << c.what;
            EXPECT_EQ(extended, argExtended) << c.what;
            EXPECT_TRUE(out.empty()) << c.what << ": no partial data";
        }
    }
}

TEST(BinConv, UnknownModeIsRefused) {
    for (LONG mode : {-1, 3, 100}) {
        std::string out = "stale";
        LONG extended = 0;
        EXPECT_EQ(ConvertToBinary(mode, "000", &out, KAVRO_E_ARG2, &extended), OPOS_E_ILLEGAL);
        EXPECT_EQ(extended, KAVRO_E_BADVALUE);
        EXPECT_TRUE(out.empty());
        out = "stale";
        EXPECT_EQ(ConvertToASCII(mode, "abc", &out), OPOS_E_ILLEGAL);
        EXPECT_TRUE(out.empty());
    }
}

TEST(BinConv, OutputMayBeTheInput) {
    std::string s = "\x01\xFE"s;
    ASSERT_EQ(ConvertToASCII(OPOS_BC_DECIMAL, s, &s), OPOS_SUCCESS);
    EXPECT_EQ(s, "001254");
    ASSERT_EQ(ConvertToBinary(OPOS_BC_DECIMAL, s, &s, KAVRO_E_ARG2, nullptr), OPOS_SUCCESS);
    EXPECT_EQ(s, "\x01\xFE"s);
}

}  // namespace

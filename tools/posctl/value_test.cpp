// The value syntax: what each token means, how values print, and that printing and
// parsing are inverse for every byte.
#include "tools/posctl/value.h"

#include <gtest/gtest.h>

#include "platform/automation/automation.h"

namespace posctl {
namespace {

using namespace std::string_literals;

struct ParseCase {
    const char* token;
    Value want;
    const char* print;  // FormatValue of the result
};

Value ByRef(Value v) {
    v.byRef = true;
    return v;
}

TEST(Value, ParsesAndPrints) {
    const ParseCase cases[] = {
        {"0", Value::Number(0), "0"},
        {"-17", Value::Number(-17), "-17"},
        {"2147483647", Value::Number(2147483647), "2147483647"},
        {"-2147483648", Value::Number(INT32_MIN), "-2147483648"},
        {"0x1b", Value::Number(27), "27"},
        {"0XFF", Value::Number(255), "255"},
        {"0xFFFFFFFF", Value::Number(-1), "-1"},
        {"-0x10", Value::Number(-16), "-16"},
        {"TRUE", Value::Number(1), "1"},
        {"false", Value::Number(0), "0"},
        {"\"\"", Value::String(""), "\"\""},
        {"\"a b\"", Value::String("a b"), "\"a b\""},
        {R"("\x1b@\x00\xFF")", Value::String("\x1b@\0\xff"s), R"("\x1b@\x00\xff")"},
        {R"("\0\n\r\t\\\"")", Value::String("\0\n\r\t\\\""s), R"("\x00\n\r\t\\\"")"},
        {R"("\a\b\f\v\'\?")", Value::String("\a\b\f\v'?"), R"("\x07\x08\x0c\x0b'?")"},
        {"\"\x7f\x80\"", Value::String("\x7f\x80"), R"("\x7f\x80")"},
        {"&0", ByRef(Value::Number(0)), "&0"},
        {"&-5", ByRef(Value::Number(-5)), "&-5"},
        {"&\"\"", ByRef(Value::String("")), "&\"\""},
        {"&\"x\\0\"", ByRef(Value::String("x\0"s)), "&\"x\\x00\""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.token);
        Value v;
        std::string err;
        ASSERT_TRUE(ParseValue(c.token, &v, &err)) << err;
        EXPECT_EQ(v, c.want);
        EXPECT_EQ(FormatValue(v), c.print);
    }
}

TEST(Value, RejectsMalformedTokens) {
    const struct {
        const char* token;
        const char* error;
    } cases[] = {
        {"", "missing value"},
        {"&", "missing value"},
        {"abc", "bad number 'abc'"},
        {"12a", "bad number '12a'"},
        {"0x", "bad number '0x'"},
        {"0xG1", "bad number '0xG1'"},
        {"-", "bad number '-'"},
        {"+5", "bad number '+5'"},
        {"2147483648", "number out of range '2147483648'"},
        {"-2147483649", "number out of range '-2147483649'"},
        {"0x100000000", "number out of range '0x100000000'"},
        {"-0x80000001", "number out of range '-0x80000001'"},
        {"99999999999999999999999", "number out of range '99999999999999999999999'"},
        {"\"abc", "unterminated string"},
        {"\"abc\\\"", "unterminated string"},
        {"\"abc\\", "unterminated string"},
        {"\"", "unterminated string"},
        {R"("\x1")", "bad \\x escape (needs two hex digits)"},
        {R"("\xg0")", "bad \\x escape (needs two hex digits)"},
        {R"("\x)", "bad \\x escape (needs two hex digits)"},
        {R"("\q")", "unknown escape \\q"},
        {R"("a"b)", "unexpected text after string"},
        {"&&0", "bad number '&0'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        Value v = Value::Number(7);
        std::string err;
        EXPECT_FALSE(ParseValue(c.token, &v, &err));
        EXPECT_EQ(err, c.error);
        EXPECT_EQ(v, Value::Number(7));  // untouched on failure
    }
}

TEST(Value, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::string printed = QuoteBytes(all);
    for (unsigned char c : printed) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
    Value v;
    std::string err;
    ASSERT_TRUE(ParseValue(printed, &v, &err)) << err;
    EXPECT_EQ(v.text, all);
}

TEST(Value, PrintsAutomationValues) {
    int32_t n = 9;
    std::string s("p\0q", 3);
    const struct {
        plat::Variant v;
        const char* want;
    } cases[] = {
        {plat::Variant(int32_t{-3}), "-3"},
        {plat::Variant(true), "1"},
        {plat::Variant(false), "0"},
        {plat::Variant(std::string("a\"\x01")), R"("a\"\x01")"},
        {plat::Variant(&n), "9"},
        {plat::Variant(&s), R"("p\x00q")"},
        {plat::Variant(), "<empty>"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatVariant(c.v), c.want);
}

}  // namespace
}  // namespace posctl

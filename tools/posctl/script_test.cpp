// Script lines: tokens, the command forms, and the errors a script stops at.
#include "tools/posctl/script.h"

#include <gtest/gtest.h>

namespace posctl {
namespace {

using namespace std::string_literals;

Command Parse(const std::string& line) {
    std::optional<Command> c;
    std::string err;
    EXPECT_TRUE(ParseLine(line, &c, &err)) << line << ": " << err;
    EXPECT_TRUE(c.has_value()) << line;
    return c.value_or(Command{});
}

TEST(Script, TokensKeepStringsWholeAndStopAtComments) {
    std::vector<Token> t;
    std::string err;
    ASSERT_TRUE(Tokenize("  call  M \"a # b\\\" c\" &\"\" 5# note", &t, &err)) << err;
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[2].text, "\"a # b\\\" c\"");
    EXPECT_EQ(t[3].text, "&\"\"");
    EXPECT_EQ(t[4].text, "5");
    EXPECT_EQ(t[1].begin, 8u);
    EXPECT_EQ(t[1].end, 9u);
}

TEST(Script, ParsesEachCommandForm) {
    Command c = Parse("open POSPrinter Printer1");
    EXPECT_EQ(c.op, Op::Open);
    EXPECT_EQ(c.name, "POSPrinter");
    EXPECT_EQ(c.device, "Printer1");
    EXPECT_EQ(c.alias, "Printer1");

    c = Parse("OPEN cashdrawer \"Drawer 1\" AS d");
    EXPECT_EQ(c.device, "Drawer 1");
    EXPECT_EQ(c.alias, "d");

    c = Parse("call PrintNormal 2 \"\\x1b|cA\\x00x\\n\" &0 &\"\" TRUE");
    EXPECT_EQ(c.op, Op::Call);
    EXPECT_EQ(c.name, "PrintNormal");
    ASSERT_EQ(c.values.size(), 5u);
    EXPECT_EQ(c.values[1], Value::String("\x1b|cA\0x\n"s));
    EXPECT_TRUE(c.values[2].byRef);
    EXPECT_TRUE(c.values[3].byRef);
    EXPECT_EQ(c.values[4], Value::Number(1));

    c = Parse("set CharacterSet 0x3A4");
    EXPECT_EQ(c.values[0], Value::Number(932));
    c = Parse("expect DeviceName \"x\"");
    EXPECT_EQ(c.values[0], Value::String("x"));

    EXPECT_EQ(Parse("wait dataevent").name, "DataEvent");
    EXPECT_EQ(Parse("wait dataevent").number, 5000);
    EXPECT_EQ(Parse("wait OutputCompleteEvent 250").number, 250);
    EXPECT_EQ(Parse("claim -1").number, -1);
    EXPECT_EQ(Parse("respond 12").number, 12);
    EXPECT_TRUE(Parse("freeze ON").on);
    EXPECT_FALSE(Parse("freeze off").on);
    EXPECT_EQ(Parse("echo  a   \"b # c\"  # comment").text, "a   \"b # c\"");
    EXPECT_EQ(Parse("echo").text, "");
}

TEST(Script, ReportsErrors) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"frobnicate 1", "unknown command 'frobnicate'"},
        {"open POSPrinter", "usage: open CLASS NAME [as ALIAS]"},
        {"open POSPrinter P with Q", "usage: open CLASS NAME [as ALIAS]"},
        {"open POSPrinter P as", "usage: open CLASS NAME [as ALIAS]"},
        {"open POS.Printer P", "bad device class 'POS.Printer'"},
        {"open POSPrinter P as \"q\"", "bad alias '\"q\"'"},
        {"close now", "usage: close"},
        {"claim", "usage: claim MS"},
        {"claim soon", "bad number 'soon'"},
        {"get", "usage: get PROPERTY"},
        {"get 9Lives", "bad property name '9Lives'"},
        {"set DeviceEnabled", "usage: set PROPERTY VALUE"},
        {"set DeviceEnabled &1", "a by-reference value is allowed only as a call argument"},
        {"set Text \"open", "unterminated string"},
        {"set Text \"a\"b", "unexpected text after string"},
        {"call", "usage: call METHOD ARG..."},
        {"call Print-Normal", "bad method name 'Print-Normal'"},
        {"call M 1 \"\\xZZ\"", "argument 2: bad \\x escape (needs two hex digits)"},
        {"call M word", "argument 1: bad number 'word'"},
        {"pump -1", "bad time '-1' (milliseconds, 0 or more)"},
        {"wait PaperEvent", "unknown event 'PaperEvent'"},
        {"wait DataEvent 1 2", "usage: wait EVENTNAME [MS]"},
        {"freeze maybe", "usage: freeze on|off"},
        {"expect Claimed", "usage: expect PROPERTY VALUE"},
        {"sleep 0x", "bad number '0x'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::optional<Command> cmd;
        std::string err;
        EXPECT_FALSE(ParseLine(c.line, &cmd, &err));
        EXPECT_EQ(err, c.error);
    }
}

TEST(Script, NumbersLinesAndStopsAtTheFirstError) {
    std::vector<Command> cmds;
    ScriptError e;
    ASSERT_TRUE(ParseScript("# header\r\n\r\nopen MSR M\r\n  \nclose\n", &cmds, &e));
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].line, 3);
    EXPECT_EQ(cmds[0].device, "M");  // no \r left on the last word
    EXPECT_EQ(cmds[1].line, 5);

    EXPECT_FALSE(ParseScript("open MSR M\nclaim 1000\nget \"x\nbogus\n", &cmds, &e));
    EXPECT_EQ(e.line, 3);
    EXPECT_EQ(e.message, "unterminated string");
}

}  // namespace
}  // namespace posctl

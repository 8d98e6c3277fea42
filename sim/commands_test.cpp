// The command parser: where each command ends, and that it ends there however the stream
// is cut into pieces.
#include "sim/commands.h"

#include <gtest/gtest.h>

#include "sim/hex.h"

namespace sim {
namespace {

// Writes each parsed item as one line: "cmd <name> <length>", "text <text>", "ctl <hex>".
class Recorder : public CommandParser::Handler {
  public:
    void OnCommand(const Command& c) override {
        items.push_back("cmd " + std::string(c.info ? c.info->name : "unknown") + " " +
                        std::to_string(c.length) + (c.truncated() ? " truncated" : ""));
    }
    void OnText(std::string_view text) override {
        // Text arrives in runs that depend on the pieces; join adjacent runs.
        if (!items.empty() && items.back().rfind("text ", 0) == 0) {
            items.back() += text;
        } else {
            items.push_back("text " + std::string(text));
        }
    }
    void OnControl(uint8_t b) override {
        items.push_back("ctl " + ToHex(std::string(1, static_cast<char>(b))));
    }
    std::vector<std::string> items;
};

std::string Bytes(const char* hex) {
    std::string b, error;
    EXPECT_TRUE(ParseHex(hex, &b, &error)) << error;
    return b;
}

std::vector<std::string> ParseInPieces(const std::string& s, const std::vector<size_t>& cuts) {
    CommandParser p;
    Recorder r;
    size_t from = 0;
    for (size_t to : cuts) {
        p.Feed(reinterpret_cast<const uint8_t*>(s.data()) + from, to - from, r);
        from = to;
    }
    p.Feed(reinterpret_cast<const uint8_t*>(s.data()) + from, s.size() - from, r);
    return r.items;
}

struct Case {
    const char* name;
    std::string stream;
    std::vector<std::string> items;
};

std::vector<Case> Cases() {
    return {
        {"claim initialisation",
         Bytes("00 00 1B 3D 01 10 05 03 1B 40 1B 63 34 FC 1D 28 42 03 00 61 46 37 1D 61 FF "
               "1D 6A 03 1B 61 00 1B 66 00 0A 1B 21 00 1C 21 00 1B 46 00"),
         {"ctl 00", "ctl 00", "cmd select device 3", "cmd real-time request 3", "cmd initialise 2",
          "cmd select station 4", "cmd extended GS ( function 8", "cmd automatic status 3",
          "cmd second status stream 3", "cmd justification 3", "cmd slip wait time 4",
          "cmd print mode 3", "cmd kanji print mode 3", "cmd slip eject direction 3"}},
        {"release reset",
         Bytes("1B 3D 01 10 05 03 1B 3D 01 1B 63 31 02 1B 33 1E 1D 73 00 00 00"),
         {"cmd select device 3", "cmd real-time request 3", "cmd select device 3",
          "cmd select station 4", "cmd line spacing 3", "cmd LED 5"}},
        {"real-time requests",
         Bytes("10 04 01 10 04 06 10 04 08 01 10 14 01 00 01 10 14 08 01 03 14 01 06 02 08"),
         {"cmd real-time status 3", "cmd real-time status 3", "cmd real-time status 4",
          "cmd real-time command 5", "cmd real-time command 10"}},
        // Parameters that look like commands belong to their command.
        {"request bytes inside parameters",
         Bytes("1D 28 42 03 00 10 04 01 1B 33 10 10 04 02"),
         {"cmd extended GS ( function 8", "cmd line spacing 3", "cmd real-time status 3"}},
        {"text and line ends",
         std::string("Total 9.99\n\r") + Bytes("0C 09"),
         {"text Total 9.99", "ctl 0A", "ctl 0D", "ctl 0C", "ctl 09"}},
        {"unknown commands take two bytes",
         Bytes("1B 99 41 1D FE 10 42 1C 01 1B 40"),
         {"cmd unknown 2", "text A", "cmd unknown 2", "cmd unknown 2", "cmd unknown 2",
          "cmd initialise 2"}},
        {"image data",
         Bytes("1D 76 30 00 02 00 03 00 01 02 03 04 05 06 1B 2A 21 02 00 "
               "01 02 03 04 05 06 1D 2A 01 01 01 02 03 04 05 06 07 08 1B 40"),
         {"cmd raster image 14", "cmd bit image 11", "cmd define downloaded image 12",
          "cmd initialise 2"}},
        {"barcodes, cuts, counters",
         Bytes("1D 6B 04 31 32 33 00 1D 6B 49 03 31 32 33 1D 56 01 1D 56 42 00 "
               "1D 43 30 01 02 1D 43 3B 31 3B 32 3B 33 3B 34 3B 35 3B 1B 40"),
         {"cmd barcode 7", "cmd barcode 7", "cmd cut 3", "cmd cut 4", "cmd counter 5",
          "cmd counter 13", "cmd initialise 2"}},
        {"user characters and tabs",
         Bytes("1B 26 03 41 42 01 AA BB CC 02 01 02 03 04 05 06 1B 44 08 10 00 1B 40"),
         {"cmd define user characters 16", "cmd tab positions 5", "cmd initialise 2"}},
        {"a stored logo definition of 32-bit length",
         Bytes("1D 38 4C 03 00 00 00 30 45 20 1B 40"),
         {"cmd extended GS 8 function 10", "cmd initialise 2"}},
    };
}

TEST(CommandParser, CutsTheStreamIntoCommands) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseInPieces(c.stream, {}), c.items);
    }
}

TEST(CommandParser, SameItemsForEveryWayOfCuttingTheStream) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const size_t n = c.stream.size();
        for (size_t a = 1; a < n; ++a) {
            ASSERT_EQ(ParseInPieces(c.stream, {a}), c.items) << "cut at " << a;
            for (size_t b = a + 1; b < n; ++b) {
                ASSERT_EQ(ParseInPieces(c.stream, {a, b}), c.items) << "cuts " << a << "," << b;
            }
        }
        std::vector<size_t> everyByte;
        for (size_t i = 1; i < n; ++i) everyByte.push_back(i);
        EXPECT_EQ(ParseInPieces(c.stream, everyByte), c.items) << "one byte at a time";
    }
}

TEST(CommandParser, LongDataIsCountedButNotKept) {
    // A raster image of 300 x 300 bytes, more than the parser keeps of one command.
    std::string s = Bytes("1D 76 30 00 2C 01 2C 01");
    s += std::string(300 * 300, '\x10');  // data bytes that look like 10 04 requests
    s += Bytes("10 04 01");
    struct Keeper : Recorder {
        void OnCommand(const Command& c) override {
            Recorder::OnCommand(c);
            stored.push_back(c.bytes.size());
        }
        std::vector<size_t> stored;
    } r;
    CommandParser p;
    for (size_t i = 0; i < s.size(); i += 4096) {
        p.Feed(reinterpret_cast<const uint8_t*>(s.data()) + i, std::min<size_t>(4096, s.size() - i),
               r);
    }
    EXPECT_EQ(r.items, (std::vector<std::string>{"cmd raster image 90008 truncated",
                                                 "cmd real-time status 3"}));
    EXPECT_EQ(r.stored, (std::vector<size_t>{CommandParser::kMaxStored, 3}));
}

TEST(CommandParser, ResetDropsAPartialCommand) {
    CommandParser p;
    Recorder r;
    const std::string head = Bytes("1D 28 42 03");
    p.Feed(reinterpret_cast<const uint8_t*>(head.data()), head.size(), r);
    EXPECT_TRUE(p.InCommand());
    p.Reset();
    const std::string next = Bytes("1B 40");
    p.Feed(reinterpret_cast<const uint8_t*>(next.data()), next.size(), r);
    EXPECT_EQ(r.items, (std::vector<std::string>{"cmd initialise 2"}));
}

}  // namespace
}  // namespace sim

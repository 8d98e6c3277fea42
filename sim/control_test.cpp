// Control lines: refused lines answer "error: ..." and change nothing; the status line
// shows the state.
#include <gtest/gtest.h>

#include "sim/printer.h"
#include "sim/sim_test_util.h"

namespace sim {
namespace {

TEST(ControlLines, RefusedLinesChangeNothing) {
    const char* lines[] = {
        "",
        "   ",
        "frobnicate",
        "cover",
        "cover ajar",
        "cover open now",
        "paper receipt",
        "paper receipt full",
        "paper drum ok",
        "error",
        "error overheat",
        "error mechanical maybe",
        "error none extra",
        "power",
        "power sleep",
        "mute yes",
        "notice",
        "online maybe",
        "feed",
        "drawer open",
        "slip",
        "slip c 0000",
        "slip a 012",
        "slip a 01101",
        "slip a 01x1",
        "slip mode maybe",
        "id rom",
        "id rom 1234",
        "id rom zz",
        "id serial 01",
        "inject",
        "inject 1B4",
        "inject zz",
        "receive",
        "receive 1",
        "receive 1D 6",
    };
    Printer p;
    test::RecordingSink sink;
    ASSERT_TRUE(p.Attach(&sink));
    const std::string before = p.Control("status");
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const std::string answer = p.Control(line);
        EXPECT_EQ(answer.rfind("error: ", 0), 0u) << answer;
        EXPECT_EQ(p.Control("status"), before);
    }
    EXPECT_EQ(sink.Hex(), "") << "a refused inject or receive sends nothing";
    p.Detach(&sink);
}

TEST(ControlLines, WordsAreCaseInsensitive) {
    Printer p;
    EXPECT_EQ(p.Control("COVER Open"), "ok");
    EXPECT_EQ(p.Control("Paper Receipt Near-End"), "ok");
    const std::string s = p.Control("status");
    EXPECT_NE(s.find("cover=open"), std::string::npos) << s;
    EXPECT_NE(s.find("receipt=near-end"), std::string::npos) << s;
}

TEST(ControlLines, StatusShowsTheState) {
    Printer p;
    EXPECT_EQ(p.Control("status"),
              "power=on online=yes online-mode=auto cover=closed receipt=ok journal=ok "
              "slip-a=0000 slip-b=0000 slip-mode=off errors=none feed=off drawer=low "
              "auto-status=off selected=yes mute=off notice=on frame=10 00 60 6F received=0 "
              "dropped=0");
    for (const char* line :
         {"cover open", "paper journal empty", "error mechanical", "error recoverable",
          "slip a 0111", "receive 1D 61 FF 1B 3D 02", "mute on", "power off", "receive 10 04 01"}) {
        ASSERT_EQ(p.Control(line), "ok") << line;
    }
    EXPECT_EQ(p.Control("status"),
              "power=off online=no online-mode=auto cover=open receipt=ok journal=empty "
              "slip-a=0111 slip-b=0000 slip-mode=off errors=mechanical,recoverable feed=off "
              "drawer=low auto-status=on selected=no mute=on notice=on "
              "frame=38 44 05 6D received=6 dropped=3");
}

TEST(ControlLines, ReceivedShowsTheLastBytes) {
    Printer p;
    EXPECT_EQ(p.Control("received"), "0 bytes");
    EXPECT_EQ(p.Control("receive 1B 3D 01 10 04 01"), "ok");
    EXPECT_EQ(p.Control("received"), "6 bytes, last: 1B 3D 01 10 04 01");
    EXPECT_EQ(p.Control("clear"), "ok");
    EXPECT_EQ(p.Received(), "");
}

}  // namespace
}  // namespace sim

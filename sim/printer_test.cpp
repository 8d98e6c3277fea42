// The protocol engine: what the printer answers to byte streams in each state, that it
// answers the same however the input is cut, and how power, mute and inject behave.
#include "sim/printer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "sim/sim_test_util.h"

namespace sim {
namespace {

using test::Bytes;
using test::RecordingSink;

class PrinterTest : public ::testing::Test {
  protected:
    PrinterTest() { EXPECT_TRUE(printer.Attach(&sink)); }
    ~PrinterTest() override { printer.Detach(&sink); }

    // Steps: "> HEX" is received by the printer, anything else is a control line that
    // must answer "ok".
    void Run(const std::vector<std::string>& steps) {
        for (const std::string& step : steps) {
            if (step.rfind("> ", 0) == 0) {
                printer.Receive(Bytes(step.substr(2)));
            } else {
                ASSERT_EQ(printer.Control(step), "ok") << step;
            }
        }
    }

    Printer printer;
    RecordingSink sink;
};

TEST_F(PrinterTest, AnswersToStreamsInEachState) {
    struct Case {
        const char* name;
        std::vector<std::string> steps;
        const char* answer;  // every byte the printer sent, in order
    } cases[] = {
        {"status requests of a ready printer",
         {"> 1B 3D 01 10 04 01 1B 3D 01 10 04 02 1B 3D 01 10 04 03 1B 3D 01 10 04 04 "
          "1B 3D 01 10 04 05 1B 3D 01 10 04 06"},
         "12 12 12 12 7E 7E"},
        {"requests without the select prefix", {"> 10 04 01 10 04 02 10 04 03"}, "12 12 12"},
        {"cover open", {"cover open", "> 1B 3D 01 10 04 01 1B 3D 01 10 04 02"}, "1A 16"},
        {"feeding", {"feed on", "> 10 04 01 10 04 02"}, "12 1A"},
        {"mechanical error", {"error mechanical", "> 10 04 01 10 04 03"}, "1A 16"},
        {"autocutter error", {"error autocutter", "> 10 04 03"}, "1A"},
        {"unrecoverable error", {"error unrecoverable", "> 10 04 03"}, "32"},
        {"auto-recoverable error", {"error recoverable", "> 10 04 03"}, "52"},
        {"two errors, one cleared",
         {"error mechanical", "error autocutter", "error mechanical off", "> 10 04 03"},
         "1A"},
        {"errors cleared",
         {"error mechanical", "error unrecoverable", "error none", "> 10 04 01 10 04 03"},
         "12 12"},
        {"receipt near end", {"paper receipt near-end", "> 10 04 01 10 04 04"}, "12 1A"},
        {"receipt empty", {"paper receipt empty", "> 10 04 01 10 04 04"}, "1A 5A"},
        {"journal near end", {"paper journal near-end", "> 10 04 04"}, "16"},
        {"journal empty", {"paper journal empty", "> 10 04 04"}, "36"},
        {"offline forced and released",
         {"online off", "> 10 04 01", "online auto", "> 10 04 01"},
         "1A 12"},
        {"slip form, slip station not selected", {"paper slip ok", "> 10 04 05 10 04 06"}, "1E 1E"},
        {"slip form in the selected slip station",
         {"paper slip ok", "> 1B 3D 01 1B 63 30 04 10 04 05 10 04 06"},
         "12 12"},
        {"slip station selected, no form", {"> 1B 63 30 08 10 04 06"}, "7A"},
        {"selecting the roll leaves slip mode", {"> 1B 63 30 04 1B 63 30 02 10 04 05"}, "7E"},
        {"initialise leaves slip mode", {"> 1B 63 30 04 1B 40 10 04 05"}, "7E"},
        {"select for settings keeps the mode", {"> 1B 63 30 04 1B 63 31 02 10 04 05"}, "7A"},
        {"raw slip sensors", {"slip b 0110", "slip mode on", "> 10 04 06"}, "12"},
        {"first automatic status", {"> 1B 3D 01 1D 61 FF"}, "10 00 60 6F"},
        {"the claim initialisation",
         {"> 00 00 1B 3D 01 10 05 03 1B 40 1B 63 34 FC 1D 61 FF 1B 61 00 1B 21 00"},
         "10 00 60 6F"},
        {"first automatic status shows the state", {"cover open", "> 1D 61 FF"}, "38 00 60 6F"},
        {"each enabling sends a frame", {"> 1D 61 FF 1D 61 01"}, "10 00 60 6F 10 00 60 6F"},
        {"no frames before enabling", {"cover open", "cover close"}, ""},
        {"no frames after disabling", {"> 1D 61 FF 1D 61 00", "cover open"}, "10 00 60 6F"},
        {"a frame after each cover change",
         {"> 1D 61 FF", "cover open", "cover close"},
         "10 00 60 6F 38 00 60 6F 10 00 60 6F"},
        {"a frame after each paper change",
         {"> 1D 61 FF", "paper receipt near-end", "paper receipt empty", "paper receipt ok",
          "paper journal empty"},
         "10 00 60 6F 10 00 62 6F 18 00 6A 6F 10 00 60 6F 18 00 65 6F"},
        {"a frame after each error change",
         {"> 1D 61 FF", "error mechanical", "error autocutter", "error none", "error unrecoverable",
          "error none", "error recoverable"},
         "10 00 60 6F 18 04 60 6F 18 0C 60 6F 10 00 60 6F 18 20 60 6F 10 00 60 6F 18 40 60 6F"},
        {"a frame after online, feed, drawer and slip changes",
         {"> 1D 61 FF", "online off", "online auto", "feed on", "drawer high", "slip a 1000"},
         "10 00 60 6F 18 00 60 6F 10 00 60 6F 50 00 60 6F 54 00 60 6F 54 00 60 6E"},
        {"no frame when nothing changes",
         {"> 1D 61 FF", "cover close", "error none", "paper receipt ok", "online on"},
         "10 00 60 6F"},
        {"deselected: real-time requests only",
         {"> 1B 3D 02 1D 61 FF 1B 63 30 04 10 04 01 10 04 05", "> 1B 3D 01 1D 61 FF"},
         "12 7E 10 00 60 6F"},
        {"display data between printer commands",
         {"> 1B 3D 02 1B 40 1F 43 00 0C 48 69 1B 3D 01 10 04 02"},
         "12"},
        {"printer IDs", {"> 1B 3D 01 1D 49 02 1D 49 03 1D 49 04 1D 49 01"}, "02 20 00"},
        {"printer IDs as set",
         {"id rom 41", "id type 46", "id mode 01", "> 1D 49 03 1D 49 02 1D 49 04"},
         "41 46 01"},
        {"unknown commands keep the stream in step",
         {"> 1B 99 1D FE 10 42 1C 01 1B 3D 01 10 04 01"},
         "12"},
        {"requests inside command parameters are no requests",
         {"> 1D 28 42 03 00 10 04 01 1B 33 10 10 04 02"},
         "12"},
        {"other real-time status requests go unanswered",
         {"> 10 04 07 01 10 04 08 01 10 04 00"},
         ""},
        {"text is printed, not answered", {"> 1B 3D 01 48 65 6C 6C 6F 0A 10 04 01"}, "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Printer p;
        RecordingSink s;
        ASSERT_TRUE(p.Attach(&s));
        for (const std::string& step : c.steps) {
            if (step.rfind("> ", 0) == 0) {
                p.Receive(Bytes(step.substr(2)));
            } else {
                ASSERT_EQ(p.Control(step), "ok") << step;
            }
        }
        EXPECT_EQ(s.Hex(), c.answer);
        p.Detach(&s);
    }
}

// The answers to a stream, fed in the given pieces.
std::string AnswerInPieces(const std::string& stream, const std::vector<size_t>& cuts,
                           const std::vector<std::string>& controls = {}) {
    Printer p;
    RecordingSink s;
    EXPECT_TRUE(p.Attach(&s));
    for (const auto& c : controls) EXPECT_EQ(p.Control(c), "ok");
    size_t from = 0;
    for (size_t to : cuts) {
        p.Receive(std::string_view(stream).substr(from, to - from));
        from = to;
    }
    p.Receive(std::string_view(stream).substr(from));
    p.Detach(&s);
    return s.Hex();
}

TEST(PrinterSplit, SameAnswersForEveryWayOfCuttingTheInput) {
    const std::string streams[] = {
        Bytes("00 00 1B 3D 01 10 05 03 1B 40 1B 63 34 FC 1D 28 42 03 00 61 46 37 1D 61 FF "
              "1D 6A 03 1B 61 00 1B 66 00 0A 1B 21 00"),
        Bytes("1B 3D 01 10 04 01 1B 3D 01 10 04 02 1B 3D 01 10 04 03 1B 3D 01 10 04 04 "
              "1B 3D 01 10 04 05 10 04 06"),
        Bytes("1D 28 42 03 00 10 04 01 1B 33 10 10 04 02 1B 99 10 04 03 1D 49 03"),
        Bytes("1B 3D 02 1D 61 FF 10 04 01 1B 3D 01 1B 63 30 04 10 04 05 1D 61 FF"),
        Bytes("48 69 0A 1D 76 30 00 01 00 04 00 10 04 01 10 10 04 02 1B 64 01"),
    };
    for (const std::string& stream : streams) {
        SCOPED_TRACE(ToHex(stream));
        const std::string whole = AnswerInPieces(stream, {}, {"cover open", "slip a 0110"});
        ASSERT_FALSE(whole.empty());
        const size_t n = stream.size();
        for (size_t a = 1; a < n; ++a) {
            for (size_t b = a; b < n; ++b) {
                ASSERT_EQ(AnswerInPieces(stream, {a, b}, {"cover open", "slip a 0110"}), whole)
                    << "cuts " << a << "," << b;
            }
        }
        std::vector<size_t> everyByte;
        for (size_t i = 1; i < n; ++i) everyByte.push_back(i);
        EXPECT_EQ(AnswerInPieces(stream, everyByte, {"cover open", "slip a 0110"}), whole);
    }
}

TEST_F(PrinterTest, PowerOffDropsInputAndPowerOnStartsAfresh) {
    Run({"> 1D 61 FF", "power off"});
    EXPECT_EQ(sink.Hex(), "10 00 60 6F 3B 30 00") << "the frame, then the power-off notice";
    EXPECT_EQ(sink.Powers(), std::vector<bool>{false});
    EXPECT_FALSE(printer.Powered());

    sink.Clear();
    printer.ClearReceived();
    Run({"> 10 04 01 1D 61 FF", "cover open"});
    EXPECT_EQ(sink.Hex(), "") << "an unpowered printer answers nothing";
    EXPECT_EQ(printer.Received(), "") << "and receives nothing";
    EXPECT_EQ(printer.Control("inject 12"), "error: the printer is off");

    // A command cut by the power cycle is gone: FF after power on is no parameter of it.
    Run({"power on", "> 1D 61", "power off", "power on"});
    sink.Clear();
    Run({"> FF 10 04 01", "cover close"});
    EXPECT_EQ(sink.Hex(), "1A") << "automatic status is off after power on";
    EXPECT_FALSE(printer.AutoStatusEnabled());
}

TEST_F(PrinterTest, PowerOnSendsTheNoticeAndReportsPower) {
    Run({"power off"});
    sink.Clear();
    Run({"power on"});
    EXPECT_EQ(sink.Hex(), "3B 31 00");
    EXPECT_EQ(sink.Powers(), std::vector<bool>{true});
    sink.Clear();
    Run({"power on"});
    EXPECT_EQ(sink.Hex(), "") << "no change, no notice";

    Run({"notice off", "power off", "power on"});
    EXPECT_EQ(sink.Hex(), "") << "notices switched off";
    EXPECT_EQ(sink.Powers(), (std::vector<bool>{false, true}));
}

TEST_F(PrinterTest, MutedPrinterAnswersNothingButKeepsItsState) {
    Run({"mute on", "> 10 04 01 1D 61 FF 1D 49 03", "cover open"});
    EXPECT_EQ(sink.Hex(), "");
    EXPECT_TRUE(printer.AutoStatusEnabled());
    Run({"inject 3B 30 00"});
    EXPECT_EQ(sink.Hex(), "3B 30 00") << "inject sends even while muted";
    sink.Clear();
    Run({"mute off", "> 10 04 01", "cover close"});
    EXPECT_EQ(sink.Hex(), "1A 10 00 60 6F");
}

TEST_F(PrinterTest, InjectSendsTheBytesAsGiven) {
    Run({"inject 35 41 40 00", "inject 5f3132", "inject 0x10,0x00"});
    EXPECT_EQ(sink.Sends(),
              (std::vector<std::string>{Bytes("35 41 40 00"), Bytes("5F 31 32"), Bytes("10 00")}));
}

TEST_F(PrinterTest, RecordsEveryReceivedByteAndWritesTheLog) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("possim-log-" + std::to_string(::getpid()) + ".bin");
    std::filesystem::remove(path);
    std::string error;
    ASSERT_TRUE(printer.OpenLog(path.string(), &error)) << error;
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    printer.Receive(all.substr(0, 100));
    printer.Receive(all.substr(100));
    Run({"power off", "> 41 42", "power on"});
    ASSERT_TRUE(printer.OpenLog("", &error));
    EXPECT_EQ(printer.Received(), all);
    std::ifstream in(path, std::ios::binary);
    const std::string logged{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(logged, all);
    std::filesystem::remove(path);
    EXPECT_FALSE(printer.OpenLog("/nonexistent-dir/x.bin", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(PrinterTest, TracesWhatItDid) {
    Run({"> 1B 3D 01 48 69 0A 1B 99 1D 61 FF"});
    const std::vector<std::string> t = printer.TraceLines();
    const auto has = [&t](const std::string& line) {
        return std::find(t.begin(), t.end(), line) != t.end();
    };
    EXPECT_TRUE(has("text \"Hi\""));
    EXPECT_TRUE(has("unknown command 1B 99"));
    EXPECT_TRUE(has("automatic status 10 00 60 6F"));
}

// A sink that answers from inside its call (a driver writing back from its input
// callback) gets the answers in order and nothing deadlocks.
TEST(PrinterThreads, SinkMayCallBackIntoThePrinter) {
    Printer p;
    struct EchoSink : RecordingSink {
        Printer* printer = nullptr;
        bool asked = false;
        void Send(const uint8_t* data, size_t length) override {
            RecordingSink::Send(data, length);
            if (!asked) {
                asked = true;
                printer->Receive(Bytes("10 04 02"));
                EXPECT_EQ(printer->Control("cover open"), "ok");
            }
        }
    } sink;
    sink.printer = &p;
    ASSERT_TRUE(p.Attach(&sink));
    p.Receive(Bytes("1D 61 FF"));
    EXPECT_EQ(sink.Hex(), "10 00 60 6F 12 38 00 60 6F");
    p.Detach(&sink);
}

TEST(PrinterThreads, OnlyOneSinkAtATime) {
    Printer p;
    RecordingSink a, b;
    EXPECT_FALSE(p.Attach(nullptr));
    ASSERT_TRUE(p.Attach(&a));
    EXPECT_FALSE(p.Attach(&b));
    p.Detach(&b);  // not attached: no effect
    p.Receive(Bytes("10 04 01"));
    p.Detach(&a);
    ASSERT_TRUE(p.Attach(&b));
    p.Receive(Bytes("10 04 02"));
    EXPECT_EQ(a.Hex(), "12");
    EXPECT_EQ(b.Hex(), "12");
    p.Detach(&b);
}

// Detach waits for a call that is running into the sink, so that the sink can be
// destroyed after it returns; from inside a call it returns at once.
TEST(PrinterThreads, DetachWaitsForARunningCall) {
    Printer p;
    struct BlockingSink : RecordingSink {
        std::mutex m;
        std::condition_variable cv;
        bool inside = false, release = false;
        void Send(const uint8_t* data, size_t length) override {
            std::unique_lock<std::mutex> lk(m);
            inside = true;
            cv.notify_all();
            cv.wait_for(lk, std::chrono::seconds(20), [&] { return release; });
            lk.unlock();
            RecordingSink::Send(data, length);
        }
    } sink;
    ASSERT_TRUE(p.Attach(&sink));
    std::thread talker([&] { p.Receive(Bytes("10 04 01")); });
    {
        std::unique_lock<std::mutex> lk(sink.m);
        ASSERT_TRUE(sink.cv.wait_for(lk, std::chrono::seconds(20), [&] { return sink.inside; }));
    }
    std::atomic<bool> detached{false};
    std::thread detacher([&] {
        p.Detach(&sink);
        detached = true;
    });
    // Once the detacher has taken the sink away it waits for the call; release the call,
    // which must have ended (its bytes recorded) by the time Detach returns.
    ASSERT_TRUE(test::Eventually([&] { return !p.Attached(); }));
    {
        std::lock_guard<std::mutex> g(sink.m);
        sink.release = true;
        EXPECT_FALSE(detached.load());
    }
    sink.cv.notify_all();
    detacher.join();
    EXPECT_EQ(sink.Hex(), "12");
    talker.join();

    struct SelfDetach : RecordingSink {
        Printer* printer = nullptr;
        void Send(const uint8_t* data, size_t length) override {
            RecordingSink::Send(data, length);
            printer->Detach(this);
        }
    } self;
    self.printer = &p;
    ASSERT_TRUE(p.Attach(&self));
    p.Receive(Bytes("10 04 01 10 04 02"));
    EXPECT_EQ(self.Hex(), "12") << "nothing after the detach";
}

// Threads that talk to the printer and change its state at once: every send is a whole
// reply or frame, and the last frame is the final state (frames keep their order).
TEST(PrinterThreads, ConcurrentInputAndControl) {
    Printer p;
    RecordingSink sink;
    ASSERT_TRUE(p.Attach(&sink));
    p.Receive(Bytes("1D 61 FF"));
    std::thread asker([&] {
        for (int i = 0; i < 2000; ++i) p.Receive(Bytes(i % 2 ? "1B 3D 01 10 04 02" : "10 04 01"));
    });
    std::thread changer([&] {
        for (int i = 0; i < 500; ++i) {
            EXPECT_EQ(p.Control(i % 2 ? "cover close" : "cover open"), "ok");
            EXPECT_EQ(p.Control(i % 3 ? "error none" : "error mechanical"), "ok");
        }
    });
    asker.join();
    changer.join();
    p.Detach(&sink);
    std::string lastFrame;
    size_t replies = 0;
    for (const std::string& s : sink.Sends()) {
        ASSERT_TRUE(s.size() == 1 || s.size() == 4) << ToHex(s);
        if (s.size() == 1) {
            ++replies;
            EXPECT_EQ(static_cast<uint8_t>(s[0]) & 0x93, 0x12);
        } else {
            lastFrame = s;
        }
    }
    EXPECT_EQ(replies, 2000u);
    EXPECT_EQ(ToHex(lastFrame), ToHex(AutoStatusFrame(p.State())));
}

}  // namespace
}  // namespace sim

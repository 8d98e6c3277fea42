#include "platform/ui/ui.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace plat {
namespace {

// A pipe whose read end collects what a host wrote.
class Pipe {
  public:
    Pipe() { EXPECT_EQ(::pipe2(fd_, O_CLOEXEC), 0); }
    ~Pipe() {
        CloseWrite();
        ::close(fd_[0]);
    }
    int readFd() const { return fd_[0]; }
    int writeFd() const { return fd_[1]; }
    void Write(const std::string& s) {
        ASSERT_EQ(::write(fd_[1], s.data(), s.size()), ssize_t(s.size()));
    }
    void CloseWrite() {
        if (fd_[1] >= 0) ::close(fd_[1]);
        fd_[1] = -1;
    }
    std::string ReadAll() {
        CloseWrite();
        std::string out;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd_[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
        return out;
    }

  private:
    int fd_[2] = {-1, -1};
};

TEST(NullUiTest, AnswersAsAHeadlessProcessAndLogsTheText) {
    struct Case {
        UINT type;
        int result;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONSTOP, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDNO},
        {MB_YESNO | MB_ICONEXCLAMATION, IDNO},
        {0x3, IDCANCEL},  // a button set this layer does not know
    };
    const std::string text =
        "Drive D: has been recognized.\n\nIf this drive is not a compact flash card";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Pipe log;
        NullUi ui(log.writeFd());
        EXPECT_EQ(ui.ShowMessage(text, "PosConfig", c.type), c.result);
        EXPECT_EQ(log.ReadAll(), "message box: PosConfig: " + text + "\n");
    }
}

TEST(NullUiTest, DialogIsDismissedAndItsFieldKept) {
    Pipe log;
    NullUi ui(log.writeFd());
    std::string field = "typed";
    DialogSpec spec{"MICR   Check Health Interactive",
                    {"Please insert a check."},
                    {{"&Read", 1001}, {"&Close", 1002}},
                    "RawData",
                    &field,
                    false,
                    1002};
    EXPECT_EQ(ui.ShowDialog(spec), 1002);
    EXPECT_EQ(field, "typed");
    EXPECT_EQ(log.ReadAll(), "dialog: MICR   Check Health Interactive: Please insert a check.\n");
}

TEST(ScriptedUiTest, RecordsInOrderAndAnswersFromTheQueue) {
    ScriptedUi ui;
    ui.Answer(IDCANCEL);
    ui.Answer(1001, "0123456789abcdef");
    EXPECT_EQ(ui.ShowMessage("Please insert a slip.", "", MB_OKCANCEL), IDCANCEL);

    std::string field = "old";
    DialogSpec spec{"HardTotals CheckHealth Interactive",
                    {"line 1", "line 2"},
                    {{"&Start", 1001}, {"&Close", 1002}},
                    "&Write Data:",
                    &field};
    spec.cancelId = 1002;
    EXPECT_EQ(ui.ShowDialog(spec), 1001);
    EXPECT_EQ(field, "0123456789abcdef");

    // Queue empty: OK for a box, the dismiss result for a dialog.
    EXPECT_EQ(ui.ShowMessage("Error!", "", MB_YESNO | MB_ICONSTOP), IDOK);
    EXPECT_EQ(ui.ShowDialog(spec), 1002);

    auto shown = ui.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_FALSE(shown[0].dialog);
    EXPECT_EQ(shown[0].text, "Please insert a slip.");
    EXPECT_EQ(shown[0].type, MB_OKCANCEL);
    EXPECT_TRUE(shown[1].dialog);
    EXPECT_EQ(shown[1].caption, "HardTotals CheckHealth Interactive");
    EXPECT_EQ(shown[1].text, "line 1\nline 2");
    EXPECT_EQ(shown[1].field, "old");
    EXPECT_EQ(shown[2].type, MB_YESNO | MB_ICONSTOP);
    EXPECT_EQ(shown[3].field, "0123456789abcdef");
}

TEST(ScriptedUiTest, ReadOnlyFieldIsNotWritten) {
    ScriptedUi ui;
    ui.Answer(IDOK, "changed");
    std::string field = "Track1";
    DialogSpec spec{
        "MSR CheckHealth Interactive", {}, {{"&Close", IDOK}}, "Track1Data", &field, true};
    EXPECT_EQ(ui.ShowDialog(spec), IDOK);
    EXPECT_EQ(field, "Track1");
}

TEST(ScriptedUiTest, EachAnswerGoesToExactlyOneBoxAcrossThreads) {
    constexpr int kThreads = 4, kEach = 100;
    ScriptedUi ui;
    for (int i = 0; i < kThreads * kEach; ++i) ui.Answer(100 + i);
    std::vector<std::vector<int>> results(kThreads);
    SetOperatorUi(&ui);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) results[t].push_back(MessageBox(0, "x", "y", MB_OK));
        });
    EXPECT_TRUE(ui.WaitForShown(kThreads * kEach, std::chrono::seconds(30)));
    for (auto& th : threads) th.join();
    SetOperatorUi(nullptr);

    std::vector<int> all;
    for (auto& r : results) all.insert(all.end(), r.begin(), r.end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), size_t(kThreads * kEach));
    for (int i = 0; i < kThreads * kEach; ++i) EXPECT_EQ(all[size_t(i)], 100 + i);
}

TEST(OperatorUiTest, SelectedHostReceivesMessageBoxes) {
    ScriptedUi ui;
    ui.Answer(IDYES);
    SetOperatorUi(&ui);
    EXPECT_EQ(&OperatorUi(), &ui);
    EXPECT_EQ(MessageBox(7, "Registry information is invalid.", "", MB_YESNO), IDYES);
    SetOperatorUi(nullptr);
    EXPECT_NE(&OperatorUi(), &ui);
    EXPECT_EQ(ui.count(), 1u);
}

TEST(TerminalUiTest, ReadsTheAnswer) {
    struct Case {
        UINT type;
        std::string input;
        int result;
    };
    const Case cases[] = {
        {MB_OKCANCEL, "2\n", IDCANCEL},
        {MB_OKCANCEL, "\n", IDOK},  // Enter: the first button
        {MB_OKCANCEL, "  cancel \r\n", IDCANCEL},
        {MB_YESNO, "y\n", IDYES},
        {MB_YESNO, "NO\n", IDNO},
        {MB_YESNO, "9\nmaybe\n0\nn\n", IDNO},  // asks again until an answer fits
        {MB_YESNO, std::string(10000, 'y') + "\nyes\n", IDYES},
        {MB_OK, "", IDOK},  // end of input dismisses
        {MB_OKCANCEL, "", IDCANCEL},
        {MB_YESNO, "x", IDNO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        Pipe in, out;
        in.Write(c.input);
        in.CloseWrite();
        TerminalUi ui(in.readFd(), out.writeFd());
        EXPECT_EQ(ui.ShowMessage("Communication Error.\nCheck printer status.", "Setup", c.type),
                  c.result);
        std::string screen = out.ReadAll();
        EXPECT_NE(screen.find("Setup"), std::string::npos);
        EXPECT_NE(screen.find("Communication Error.\nCheck printer status.\n"), std::string::npos);
        EXPECT_NE(screen.find(c.type == MB_YESNO ? "[1] Yes  [2] No" : "[1] OK"),
                  std::string::npos);
    }
}

TEST(TerminalUiTest, DialogFieldAndMnemonics) {
    struct Case {
        std::string input;
        int result;
        std::string field;
    };
    const Case cases[] = {
        {"hello world\ns\n", 1001, "hello world"},
        {"\nS&lip\nl\n", 1003, "start"},  // Enter keeps the field; "S&lip" is no label
        {"new\n", 2, "start"},            // end of input: dismissed, field unchanged
        {"", 2, "start"},
        {"x\n3\n", 1003, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Pipe in, out;
        in.Write(c.input);
        in.CloseWrite();
        std::string field = "start";
        DialogSpec spec{"POS Printer   Check Health Interactive",
                        {"Please Push the [Start] button to start the CheckHealth method."},
                        {{"&Start", 1001}, {"&Close", 1002}, {"S&lip", 1003}},
                        "Data",
                        &field};
        TerminalUi ui(in.readFd(), out.writeFd());
        EXPECT_EQ(ui.ShowDialog(spec), c.result);
        EXPECT_EQ(field, c.field);
        std::string screen = out.ReadAll();
        EXPECT_NE(screen.find("== POS Printer   Check Health Interactive ==\nPlease Push"),
                  std::string::npos);
        if (!c.input.empty()) {  // the field was answered, so the buttons were offered
            EXPECT_NE(screen.find("[1] Start  [2] Close  [3] Slip"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace plat

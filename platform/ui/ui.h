// The operator UI: message boxes and simple modal dialogs, in Windows' shape.
//
// Everything the package shows an operator goes through one host (IOperatorUi): scripted
// in tests, the terminal when one is attached, or a null host for headless processes that
// answers as a process without an operator should (Cancel, No, or OK for an OK-only box)
// and logs the text to stderr. Texts are passed through verbatim.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wintypes.h"

// Message box types: buttons in the low four bits, icon in the next four.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal message box through the current operator UI host and returns the button
// chosen. `owner` is accepted for shape; boxes are always modal to the process here.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

namespace plat {

struct DialogButton {
    std::string label;  // may carry a '&' before its mnemonic letter ("&Start")
    int id;             // returned when pressed
};

// A simple modal dialog: a title, lines of static text, an optional single text field and
// a row of buttons. ShowDialog returns the id of the button pressed, or `cancelId` when
// the dialog is dismissed without one (no operator, end of input).
struct DialogSpec {
    std::string title;
    std::vector<std::string> lines;
    std::vector<DialogButton> buttons;
    std::string fieldLabel;        // shown before the field
    std::string* field = nullptr;  // null: no field; else in: initial text, out: the entry
    bool fieldReadOnly = false;    // the field only shows its text
    int cancelId = IDCANCEL;
};

class IOperatorUi {
  public:
    virtual ~IOperatorUi() = default;
    virtual int ShowMessage(const std::string& text, const std::string& caption, UINT type) = 0;
    virtual int ShowDialog(const DialogSpec& spec) = 0;
};

// Selects the process's host; nullptr selects the default (TerminalUi when stdin is a
// terminal, else NullUi). The host must outlive every call made through it.
void SetOperatorUi(IOperatorUi* ui);
IOperatorUi& OperatorUi();

// The buttons of a message box type (unknown button types show OK and Cancel), and the
// answer when it is dismissed without an operator: IDOK for an OK-only box, IDNO for a
// yes/no box, IDCANCEL otherwise.
std::vector<DialogButton> MessageButtons(UINT type);
int DismissResult(UINT type);

// For tests: records every box and dialog in order and answers from a queue (when the
// queue is empty: IDOK for a message box, the dismiss result for a dialog, whose buttons
// need not include IDOK). Thread-safe.
class ScriptedUi : public IOperatorUi {
  public:
    struct Shown {
        bool dialog;          // false: message box
        std::string text;     // message text, or the dialog's lines joined with '\n'
        std::string caption;  // caption or dialog title
        UINT type;            // message box type (0 for a dialog)
        std::vector<DialogButton> buttons;
        std::string field;  // the dialog field's text when shown
    };

    // Queues the next answer; `field` (dialogs only) is stored into the dialog's field.
    void Answer(int result, std::optional<std::string> field = std::nullopt);
    std::vector<Shown> shown() const;
    size_t count() const;
    // Waits until at least `n` boxes or dialogs were shown; false on time-out.
    bool WaitForShown(size_t n, std::chrono::milliseconds timeout) const;
    void Clear();  // forgets what was shown and queued

    int ShowMessage(const std::string& text, const std::string& caption, UINT type) override;
    int ShowDialog(const DialogSpec& spec) override;

  private:
    struct Queued {
        int result;
        std::optional<std::string> field;
    };
    std::optional<Queued> Record(Shown shown);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Shown> shown_;
    std::deque<Queued> answers_;
};

// Prints to the terminal and reads the answer: a button's number, its label or mnemonic
// letter (any case), or an empty line for the first button. End of input dismisses.
// One box at a time per host.
class TerminalUi : public IOperatorUi {
  public:
    TerminalUi() = default;                                          // opens /dev/tty for each box
    TerminalUi(int inFd, int outFd) : inFd_(inFd), outFd_(outFd) {}  // not owned

    int ShowMessage(const std::string& text, const std::string& caption, UINT type) override;
    int ShowDialog(const DialogSpec& spec) override;

  private:
    std::optional<int> Run(const DialogSpec& spec);  // nullopt: no terminal
    std::mutex mutex_;
    int inFd_ = -1;
    int outFd_ = -1;
};

// No operator: answers DismissResult (dialogs: their cancelId) and logs
// "message box: <caption>: <text>" (dialogs: "dialog: <title>: <lines>") to `logFd`.
class NullUi : public IOperatorUi {
  public:
    explicit NullUi(int logFd = 2) : logFd_(logFd) {}
    int ShowMessage(const std::string& text, const std::string& caption, UINT type) override;
    int ShowDialog(const DialogSpec& spec) override;

  private:
    int logFd_;
};

}  // namespace plat

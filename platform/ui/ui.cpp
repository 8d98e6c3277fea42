// Host selection, MessageBox, and the scripted and null hosts.
#include "platform/ui/ui.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace plat {

namespace {

std::atomic<IOperatorUi*> g_ui{nullptr};

void WriteAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += lines[i];
    }
    return out;
}

}  // namespace

void SetOperatorUi(IOperatorUi* ui) {
    g_ui.store(ui, std::memory_order_release);
}

IOperatorUi& OperatorUi() {
    if (IOperatorUi* ui = g_ui.load(std::memory_order_acquire)) return *ui;
    // Never destroyed: boxes may be shown from static destructors and late threads.
    static TerminalUi* terminal = new TerminalUi;
    static NullUi* null = new NullUi;
    if (::isatty(STDIN_FILENO)) return *terminal;
    return *null;
}

std::vector<DialogButton> MessageButtons(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return {{"OK", IDOK}};
        case MB_YESNO:
            return {{"Yes", IDYES}, {"No", IDNO}};
        default:
            return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    }
}

int DismissResult(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

// --- ScriptedUi ---------------------------------------------------------------------

void ScriptedUi::Answer(int result, std::optional<std::string> field) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back({result, std::move(field)});
}

std::vector<ScriptedUi::Shown> ScriptedUi::shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

size_t ScriptedUi::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_.size();
}

bool ScriptedUi::WaitForShown(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return shown_.size() >= n; });
}

void ScriptedUi::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    answers_.clear();
}

std::optional<ScriptedUi::Queued> ScriptedUi::Record(Shown shown) {
    std::optional<Queued> answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.push_back(std::move(shown));
        if (!answers_.empty()) {
            answer = std::move(answers_.front());
            answers_.pop_front();
        }
    }
    changed_.notify_all();
    return answer;
}

int ScriptedUi::ShowMessage(const std::string& text, const std::string& caption, UINT type) {
    auto answer = Record({false, text, caption, type, MessageButtons(type), {}});
    return answer ? answer->result : IDOK;
}

int ScriptedUi::ShowDialog(const DialogSpec& spec) {
    auto answer = Record({true, JoinLines(spec.lines), spec.title, 0, spec.buttons,
                          spec.field ? *spec.field : std::string()});
    if (!answer) return spec.cancelId;
    if (answer->field && spec.field && !spec.fieldReadOnly) *spec.field = *answer->field;
    return answer->result;
}

// --- NullUi -------------------------------------------------------------------------

int NullUi::ShowMessage(const std::string& text, const std::string& caption, UINT type) {
    WriteAll(logFd_, "message box: " + caption + ": " + text + "\n");
    return DismissResult(type);
}

int NullUi::ShowDialog(const DialogSpec& spec) {
    WriteAll(logFd_, "dialog: " + spec.title + ": " + JoinLines(spec.lines) + "\n");
    return spec.cancelId;
}

}  // namespace plat

int MessageBox(HWND /*owner*/, const std::string& text, const std::string& caption, UINT type) {
    return plat::OperatorUi().ShowMessage(text, caption, type);
}

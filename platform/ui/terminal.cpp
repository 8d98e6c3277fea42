// The terminal host: prints a box or dialog and reads the operator's answer line by line.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <string>

#include "platform/ui/ui.h"

namespace plat {

namespace {

constexpr size_t kMaxLine = 4096;  // longer input is cut; the rest of the line is dropped

void WriteAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// One line without its end and surrounding blanks; nullopt at end of input.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    bool any = false;
    for (;;) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxLine) line += c;
    }
    if (!any) return std::nullopt;
    size_t b = 0, e = line.size();
    while (b < e && std::isspace(static_cast<unsigned char>(line[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(line[e - 1]))) --e;
    return line.substr(b, e - b);
}

// "&Start" -> "Start" (and "&&" -> "&"); `mnemonic` gets the marked letter, else the first.
std::string PlainLabel(const std::string& label, char* mnemonic) {
    std::string out;
    char mark = 0;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) {
            ++i;
            if (label[i] != '&' && mark == 0) mark = label[i];
        }
        out += label[i];
    }
    if (mark == 0 && !out.empty()) mark = out[0];
    if (mnemonic) *mnemonic = static_cast<char>(std::tolower(static_cast<unsigned char>(mark)));
    return out;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Index of the button an answer names, or -1.
int ParseAnswer(const std::string& answer, const std::vector<DialogButton>& buttons) {
    if (answer.empty()) return 0;
    if (answer.size() <= 3 && std::all_of(answer.begin(), answer.end(),
                                          [](unsigned char c) { return std::isdigit(c); })) {
        int n = std::stoi(answer);
        return n >= 1 && n <= static_cast<int>(buttons.size()) ? n - 1 : -1;
    }
    for (size_t i = 0; i < buttons.size(); ++i)
        if (SameText(answer, PlainLabel(buttons[i].label, nullptr))) return static_cast<int>(i);
    if (answer.size() == 1) {
        char want = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
        for (size_t i = 0; i < buttons.size(); ++i) {
            char mnemonic;
            PlainLabel(buttons[i].label, &mnemonic);
            if (mnemonic == want) return static_cast<int>(i);
        }
    }
    return -1;
}

const char* IconTag(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONSTOP:
            return " [Stop]";
        case MB_ICONQUESTION:
            return " [Question]";
        case MB_ICONEXCLAMATION:
            return " [Warning]";
        case MB_ICONINFORMATION:
            return " [Information]";
        default:
            return "";
    }
}

// Closes the terminal opened for one box.
struct TtyFd {
    int fd = -1;
    ~TtyFd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

int TerminalUi::ShowMessage(const std::string& text, const std::string& caption, UINT type) {
    DialogSpec spec;
    spec.title = caption + IconTag(type);
    spec.lines = {text};
    spec.buttons = MessageButtons(type);
    spec.cancelId = DismissResult(type);
    std::optional<int> result = Run(spec);
    return result ? *result : NullUi().ShowMessage(text, caption, type);
}

int TerminalUi::ShowDialog(const DialogSpec& spec) {
    std::optional<int> result = Run(spec);
    return result ? *result : NullUi().ShowDialog(spec);
}

std::optional<int> TerminalUi::Run(const DialogSpec& spec) {
    std::lock_guard<std::mutex> lock(mutex_);
    TtyFd tty;
    int in = inFd_, out = outFd_;
    if (in < 0 || out < 0) {
        tty.fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (tty.fd < 0) return std::nullopt;  // no terminal after all
        in = out = tty.fd;
    }

    std::string screen = "\n== " + spec.title + " ==\n";
    for (const std::string& line : spec.lines) screen += line + "\n";
    if (spec.field && spec.fieldReadOnly) screen += spec.fieldLabel + ": " + *spec.field + "\n";
    WriteAll(out, screen);

    std::optional<std::string> entry;
    if (spec.field && !spec.fieldReadOnly) {
        WriteAll(out, spec.fieldLabel + " [" + *spec.field + "]: ");
        entry = ReadLine(in);
        if (!entry) return spec.cancelId;
        if (entry->empty()) entry = *spec.field;  // Enter keeps the text
    }

    std::string prompt;
    for (size_t i = 0; i < spec.buttons.size(); ++i)
        prompt +=
            "[" + std::to_string(i + 1) + "] " + PlainLabel(spec.buttons[i].label, nullptr) + "  ";
    prompt += "> ";
    for (;;) {
        WriteAll(out, spec.buttons.empty() ? std::string("(Enter closes) ") : prompt);
        std::optional<std::string> answer = ReadLine(in);
        if (!answer || spec.buttons.empty()) return spec.cancelId;
        int index = ParseAnswer(*answer, spec.buttons);
        if (index >= 0) {
            if (entry) *spec.field = *entry;
            return spec.buttons[static_cast<size_t>(index)].id;
        }
        WriteAll(out, "Please answer with a button's number or name.\n");
    }
}

}  // namespace plat

// Standard input, line by line: a reader of its own (so it knows whether a whole line
// is already buffered) and, on a terminal, event dispatch while waiting for input.
#include "tools/posctl/interactive.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/window/window.h"
#include "tools/posctl/script.h"
#include "tools/posctl/session.h"

namespace posctl {

namespace {

// How often events are dispatched while the prompt waits for input.
constexpr int kPromptPumpMs = 50;

class LineReader {
public:
    explicit LineReader(bool pumpWhileWaiting) : pump_(pumpWhileWaiting) {}

    // The next line without its "\n"; false at the end of input (a last line without
    // "\n" is still returned).
    bool Next(std::string* line) {
        for (;;) {
            size_t eol = buf_.find('\n');
            if (eol != std::string::npos) {
                *line = buf_.substr(0, eol);
                buf_.erase(0, eol + 1);
                return true;
            }
            if (eof_) {
                if (buf_.empty()) return false;
                *line = std::move(buf_);
                buf_.clear();
                return true;
            }
            Fill();
        }
    }

private:
    void Fill() {
        if (pump_) {
            pollfd p{STDIN_FILENO, POLLIN, 0};
            int r = poll(&p, 1, kPromptPumpMs);
            PumpMessages();
            if (r == 0 || (r < 0 && errno == EINTR)) return;
        }
        char chunk[4096];
        ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n > 0) {
            buf_.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            eof_ = true;
        }
    }

    bool pump_;
    bool eof_ = false;
    std::string buf_;
};

}  // namespace

int RunStandardInput() {
    bool tty = isatty(STDIN_FILENO) != 0;
    Output out(stdout);
    Session session(out);
    LineReader reader(tty);
    bool hadError = false;
    std::string line;
    for (int n = 1;; ++n) {
        if (tty) {
            std::fputs("posctl> ", stdout);
            std::fflush(stdout);
        }
        if (!reader.Next(&line)) break;
        std::optional<Command> c;
        std::string err;
        if (ParseLine(line, &c, &err) && (!c || session.Run(*c, &err))) continue;
        std::fprintf(stderr, "posctl: line %d: %s\n", n, err.c_str());
        if (!tty) return 2;
        hadError = true;
    }
    if (tty) std::fputs("\n", stdout);
    return hadError ? 2 : session.Failed() ? 1 : 0;
}

}  // namespace posctl

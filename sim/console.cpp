#include "sim/console.h"

#include <mutex>
#include <string>

#include "sim/hex.h"

namespace sim {

namespace {

class ConsoleSink : public Sink {
  public:
    ConsoleSink(std::ostream& out, bool trace) : out_(out), trace_(trace) {}
    void Send(const uint8_t* data, size_t length) override {
        Line("< " + ToHex(std::string_view(reinterpret_cast<const char*>(data), length)));
    }
    void PowerChanged(bool on) override { Line(on ? "< power on" : "< power off"); }
    void Trace(const std::string& line) override {
        if (trace_) Line("# " + line);
    }
    void Line(const std::string& text) {
        std::lock_guard<std::mutex> g(lock_);
        out_ << text << '\n' << std::flush;
    }

  private:
    std::mutex lock_;
    std::ostream& out_;
    bool trace_;
};

}  // namespace

int RunConsole(Printer& printer, std::istream& in, std::ostream& out,
               const ConsoleOptions& options) {
    ConsoleSink sink(out, options.trace);
    if (!printer.Attach(&sink)) {
        out << "error: the printer is connected elsewhere\n";
        return 1;
    }
    for (std::string line; std::getline(in, line);) {
        const size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        line = line.substr(start, line.find_last_not_of(" \t\r") + 1 - start);
        if (line == "quit" || line == "exit") break;
        sink.Line(printer.Control(line));
    }
    printer.Detach(&sink);
    return 0;
}

}  // namespace sim

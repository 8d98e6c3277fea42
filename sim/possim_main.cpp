// possim: the simulated printer as a program. Control lines come from standard input
// (see docs/simulator.md); answers and what the printer sends go to standard output.
#include <cstring>
#include <iostream>
#include <string>

#include "sim/console.h"
#include "sim/printer.h"

namespace {

constexpr const char* kUsage =
    "usage: possim [--log FILE] [--trace]\n"
    "  --log FILE  append every byte the printer receives to FILE (raw)\n"
    "  --trace     also show what the printer does with what it receives\n"
    "Control lines are read from standard input; 'help' lists them.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string logPath;
    sim::ConsoleOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
            logPath = argv[++i];
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            options.trace = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "possim: unknown argument '" << argv[i] << "'\n" << kUsage;
            return 2;
        }
    }
    sim::Printer printer;
    std::string error;
    if (!logPath.empty() && !printer.OpenLog(logPath, &error)) {
        std::cerr << "possim: " << error << '\n';
        return 1;
    }
    return sim::RunConsole(printer, std::cin, std::cout, options);
}

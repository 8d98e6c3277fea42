// The console front of possim: control lines from a stream, answers and the printer's
// output written to another.
#pragma once

#include <istream>
#include <ostream>

#include "sim/printer.h"

namespace sim {

struct ConsoleOptions {
    bool trace = false;  // also write what the engine does ("# ..." lines)
};

// Reads control lines until end of input or "quit"; blank lines and lines starting with
// '#' are skipped. Writes each answer on its own line, bytes the printer sends as
// "< HEX" lines and power changes as "< power on|off". Returns 0, or 1 when the printer
// is connected to another front already.
int RunConsole(Printer& printer, std::istream& in, std::ostream& out,
               const ConsoleOptions& options);

}  // namespace sim

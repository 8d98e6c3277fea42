// The simulated printer as a device of the in-process loop port (ports/loop/loopdev.h):
// a device entry "Port"="LOOP:<name>" reaches the simulated printer <name>.
#pragma once

#include <memory>
#include <string>

#include "ports/loop/loopdev.h"
#include "sim/printer.h"

namespace sim {

// Installs the loop device factory: every loop device name gets its own simulated
// printer, created on first use and kept for the life of the process.
void InstallLoopDevices();

// The simulated printer behind loop device `name` (created when new), so that tests and
// posctl can send it control lines before, while and after a driver is connected.
std::shared_ptr<Printer> LoopPrinter(const std::string& name);

// A loop device around `printer`: writes go to Receive, the printer's output to the
// connected host's Input, its power changes to the host's Power.
std::shared_ptr<loop::ILoopDevice> MakeLoopDevice(std::shared_ptr<Printer> printer);

}  // namespace sim

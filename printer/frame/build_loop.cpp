// The loop build, SOKAVROL: the printer-family services on the in-process loop port,
// with the printer simulator in the same process. It is the build of the service tests
// and of the demo: a device entry "Port"="LOOP:<name>" reaches the simulated printer
// <name>.
#include <mutex>

#include "ports/loop/loop_port.h"
#include "ports/loop/loopdev.h"
#include "printer/frame/build_traits.h"
#include "printer/frame/module.h"
#include "sim/loop_device.h"

namespace printer {

namespace {

// The loop devices are the simulator's unless the process installed a factory of its own
// (a test's fake device) before the first port was made.
void EnsureLoopDevices() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!loop::HasDeviceFactory()) sim::InstallLoopDevices();
    });
}

std::unique_ptr<CPortDriver> CreateLoopDriver() {
    EnsureLoopDevices();
    return std::make_unique<CLoopPort>();
}

bool SimControl(const std::string& port, const std::string& line, std::string* reply) {
    std::string name;
    if (!CLoopPort::ParsePort(port, &name)) return false;
    EnsureLoopDevices();
    std::shared_ptr<sim::Printer> printer = sim::LoopPrinter(name);
    if (!printer) return false;
    *reply = printer->Control(line);
    return true;
}

}  // namespace

const BuildTraits& LoopBuild() {
    static const BuildTraits traits = [] {
        BuildTraits t;
        t.progIdPrefix = "SOKAVROL";
        t.description = "KAVRO OPOS printer services (loop port)";
        t.clsids[0] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000F01}";
        t.clsids[1] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000F02}";
        t.clsids[2] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000F03}";
        t.clsids[3] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000F04}";
        t.createDriver = CreateLoopDriver;
        t.simControl = SimControl;
        return t;
    }();
    return traits;
}

const BuildTraits& ThisBuild() {
    return LoopBuild();
}

}  // namespace printer

KAVRO_SERVER_EXPORTS(printer::LibraryModule())

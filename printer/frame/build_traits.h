// What differs between the builds of the printer-family service library: the ProgID
// prefix, the classes it serves with their CLSIDs, and the port driver each port index
// gets. One source tree gives every build; a build's entry file picks its traits.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/classes.h"
#include "platform/wintypes.h"

class CPortDriver;

namespace printer {

// The service classes of the library, in registration order.
enum class SoClass { POSPrinter, CashDrawer, MICR, LineDisplay };
constexpr int kSoClassCount = 4;
const char* ClassName(SoClass cls);  // "POSPrinter", ...

struct BuildTraits {
    const char* progIdPrefix = "";  // "SOKAVRO3": ProgIDs are "<prefix>.<class name>"
    const char* description = "";   // product description of the build
    // Fixed CLSIDs, one per class (the text form "{...}"); a null entry: the class is not
    // part of this build.
    const char* clsids[kSoClassCount] = {};
    // Creates the driver object of one port index (one per shared port). Null: the build
    // has no driver yet and every port index fails as "no port".
    std::unique_ptr<CPortDriver> (*createDriver)() = nullptr;
    // Loop build only: hands a control line to the simulated device behind a "Port" value
    // (DirectIO kDirectIOSimControl). Returns false when there is no such device; `reply`
    // gets the device's answer text.
    bool (*simControl)(const std::string& port, const std::string& line,
                       std::string* reply) = nullptr;

    bool HasClass(SoClass cls) const { return clsids[static_cast<int>(cls)] != nullptr; }
    std::string ProgId(SoClass cls) const {
        return std::string(progIdPrefix) + "." + ClassName(cls);
    }
    plat::CLSID Clsid(SoClass cls) const;
};

// The builds. USB, parallel and Ethernet get their drivers with their transports; until
// then their traits name no driver.
const BuildTraits& UsbBuild();       // SOKAVRO3: all four classes
const BuildTraits& ParallelBuild();  // SOKAVRO2: printer, drawer, MICR
const BuildTraits& LanBuild();       // SOKAVRO4: printer, drawer, MICR
// SOKAVROL: the in-process loop port and the printer simulator (tests, demo). Defined by
// the loop build's entry file, which links the loop driver.
const BuildTraits& LoopBuild();

// DirectIO command of the loop build: String is a simulator control line ("cover open",
// "paper receipt empty", ...) for the device behind this object's port; on return String
// holds the simulator's answer. Other builds answer it as an unknown command.
constexpr LONG kDirectIOSimControl = 9901;

}  // namespace printer

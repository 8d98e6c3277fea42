#include "printer/frame/build_traits.h"

namespace printer {

const char* ClassName(SoClass cls) {
    switch (cls) {
        case SoClass::POSPrinter:
            return "POSPrinter";
        case SoClass::CashDrawer:
            return "CashDrawer";
        case SoClass::MICR:
            return "MICR";
        case SoClass::LineDisplay:
            return "LineDisplay";
    }
    return "";
}

plat::CLSID BuildTraits::Clsid(SoClass cls) const {
    plat::CLSID id;
    const char* text = clsids[static_cast<int>(cls)];
    if (text) plat::GuidFromString(text, &id);
    return id;
}

const BuildTraits& UsbBuild() {
    static const BuildTraits traits = [] {
        BuildTraits t;
        t.progIdPrefix = "SOKAVRO3";
        t.description = "KAVRO OPOS printer services (USB)";
        t.clsids[0] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000301}";
        t.clsids[1] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000302}";
        t.clsids[2] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000303}";
        t.clsids[3] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000304}";
        return t;
    }();
    return traits;
}

const BuildTraits& ParallelBuild() {
    static const BuildTraits traits = [] {
        BuildTraits t;
        t.progIdPrefix = "SOKAVRO2";
        t.description = "KAVRO OPOS printer services (parallel)";
        t.clsids[0] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000201}";
        t.clsids[1] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000202}";
        t.clsids[2] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000203}";
        return t;
    }();
    return traits;
}

const BuildTraits& LanBuild() {
    static const BuildTraits traits = [] {
        BuildTraits t;
        t.progIdPrefix = "SOKAVRO4";
        t.description = "KAVRO OPOS printer services (Ethernet)";
        t.clsids[0] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000401}";
        t.clsids[1] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000402}";
        t.clsids[2] = "{7A3C5E10-2B4D-4F6A-8C1E-5D9B00000403}";
        return t;
    }();
    return traits;
}

}  // namespace printer

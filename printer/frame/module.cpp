#include "printer/frame/module.h"

#include "printer/frame/app.h"
#include "printer/frame/pending_class.h"
#include "printer/ptr/soptr.h"

namespace printer {

namespace {

IDispatch* CreateClass(SoClass cls) {
    if (cls == SoClass::POSPrinter) return new CSoptrCtrl(CPrinterApp::Library());
    return new CSoPendingCtrl(ClassName(cls));
}

}  // namespace

plat::ComModule& LibraryModule() {
    static plat::ComModule module = [] {
        plat::ComModule m;
        const BuildTraits& traits = ThisBuild();
        for (int i = 0; i < kSoClassCount; ++i) {
            SoClass cls = static_cast<SoClass>(i);
            if (!traits.HasClass(cls)) continue;
            plat::ClassInfo info;
            info.progId = traits.ProgId(cls);
            info.clsid = traits.Clsid(cls);
            info.description = std::string(traits.description) + ": " + ClassName(cls);
            info.create = [cls]() -> IDispatch* { return CreateClass(cls); };
            m.Add(std::move(info));
        }
        return m;
    }();
    return module;
}

}  // namespace printer

// A small in-process server for the class store tests: one class, "KavroTest.Echo".
#include "platform/automation/classes.h"

namespace {

class Echo : public plat::Dispatchable<Echo> {
  public:
    static void Describe(plat::DispatchMap<Echo>& m) {
        m.Method("Echo", &Echo::EchoText).Property("Calls", &Echo::Calls);
    }
    std::string EchoText(const std::string& s) {
        ++calls_;
        return s;
    }
    int32_t Calls() { return calls_; }

  private:
    int32_t calls_ = 0;
};

plat::ComModule g_module;

const bool g_registered = [] {
    plat::CLSID clsid;
    plat::GuidFromString("{6A1D3C20-5B7E-4F10-9C2A-00000000E001}", &clsid);
    plat::ClassInfo info;
    info.progId = "KavroTest.Echo";
    info.clsid = clsid;
    info.description = "Echo test class";
    info.create = [] { return new Echo; };
    g_module.Add(std::move(info));
    return true;
}();

}  // namespace

KAVRO_SERVER_EXPORTS(g_module)

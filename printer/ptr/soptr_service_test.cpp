// The printer service object on its own, driven as a control drives it, and the classes
// of the library that are not available yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "include/opos_ptr.h"
#include "platform/ui/ui.h"
#include "printer/frame/pending_class.h"
#include "printer/ptr/soptr_test_app.h"

namespace soptr_test {
namespace {

TEST_F(Printer, OtherClassesAreNotAvailableYet) {
    std::string p = NewPort();
    reg.Import("Windows Registry Editor Version 5.00\n\n" + Entry("CashDrawer", "D", p, "") +
               Entry("MICR", "M", p, "") + Entry("LineDisplay", "L", p, ""));
    struct Case {
        const char* control;
        const char* device;
    } cases[] = {{"OPOS.CashDrawer", "D"}, {"OPOS.MICR", "M"}, {"OPOS.LineDisplay", "L"}};
    for (const Case& c : cases) {
        App app(c.control);
        EXPECT_EQ(app.Call("Open", {c.device}), OPOS_E_NOSERVICE) << c.control;
        EXPECT_EQ(app.Number("ResultCodeExtended"), printer::kNotYetAvailable) << c.control;
    }
}

// --- The service object on its own, driven as a control drives it. ---

class Service : public Printer {
  protected:
    void SetUp() override {
        Printer::SetUp();
        ASSERT_EQ(plat::CreateObject("SOKAVROL.POSPrinter", so_.put()), S_OK);
        so.Attach(so_.get());
        co = plat::LambdaDispatch::Create(
            [](DISPID, uint16_t, DispParams&, Variant* r) {
                if (r) *r = Variant(static_cast<int32_t>(0));
                return S_OK;
            },
            {"SOData", "SODirectIO", "SOError", "SOOutputComplete", "SOStatusUpdate"});
    }
    void TearDown() override { Call("Close"); }
    LONG Call(const std::string& method, DispParams args = {}) {
        Variant r;
        EXPECT_EQ(so.Call(method, args, &r), S_OK) << method;
        int32_t rc = -1;
        r.ToLong(&rc);
        return rc;
    }
    LONG Open(const std::string& name = "P1") {
        return Call("OpenService", {std::string("POSPrinter"), name, co.get()});
    }

    plat::ComPtr<> so_;
    plat::DispatchDriver so;
    plat::ComPtr<> co;
};

TEST_F(Service, COFreezeEventsOnAClosedObjectLeavesResultCode) {
    Call("SetPropertyNumber", {PIDX_ResultCode, 55});
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_ResultCode}), 55) << "stored while closed";
    EXPECT_EQ(Call("COFreezeEvents", {true}), OPOS_E_CLOSED);
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_ResultCode}), 55);
    EXPECT_EQ(Call("Claim", {0}), OPOS_E_CLOSED);
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_ResultCode}), OPOS_E_CLOSED);
    ASSERT_EQ(Open(), OPOS_SUCCESS);
    EXPECT_EQ(Call("COFreezeEvents", {true}), OPOS_SUCCESS);
}

TEST_F(Service, AnInfVersionMismatchShowsTheBoxAndTheObjectOpensLater) {
    plat::ScriptedUi ui;
    struct UiScope {
        explicit UiScope(plat::IOperatorUi* u) { plat::SetOperatorUi(u); }
        ~UiScope() { plat::SetOperatorUi(nullptr); }
    } scope(&ui);
    reg.Import("Windows Registry Editor Version 5.00\n\n" +
               Entry("POSPrinter", "Old", port, "\"INFVersion\"=dword:000f5dc8\n"));
    Call("SetPropertyNumber", {PIDX_ResultCode, 7});
    EXPECT_EQ(Open("Old"), OPOS_E_NOSERVICE);
    ASSERT_EQ(ui.count(), 1u);
    EXPECT_EQ(ui.shown()[0].text,
              "Registry information is invalid.\nPlease add the device again by using PosConfig.");
    EXPECT_EQ(ui.shown()[0].type & MB_ICONMASK, MB_ICONSTOP);
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_ResultCode}), 7) << "ResultCode is not changed";
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_State}), OPOS_S_CLOSED);
    // A missing value is a mismatch too.
    reg.Import("Windows Registry Editor Version 5.00\n\n" + Entry("POSPrinter", "None", port, ""));
    EXPECT_EQ(Open("None"), OPOS_E_NOSERVICE);
    EXPECT_EQ(ui.count(), 2u);
    EXPECT_EQ(Open("P1"), OPOS_SUCCESS) << "the same object opens a good entry";
    EXPECT_EQ(Call("Claim", {1000}), OPOS_SUCCESS);
}

TEST_F(Service, OpenServiceOnAnOpenObjectIsRefused) {
    ASSERT_EQ(Open(), OPOS_SUCCESS);
    EXPECT_EQ(Open(), OPOS_E_ILLEGAL);
    EXPECT_EQ(Call("GetPropertyNumber", {PIDX_ResultCodeExtended}), KAVRO_E_ALREADYOPEN);
    EXPECT_EQ(Call("Close"), OPOS_SUCCESS);
    EXPECT_EQ(Call("Close"), OPOS_E_CLOSED);
    EXPECT_EQ(Open(), OPOS_SUCCESS) << "open again after Close";
}

}  // namespace
}  // namespace soptr_test

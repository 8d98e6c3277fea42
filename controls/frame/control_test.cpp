// The control frame driven as an application drives it: the generic POSPrinter control
// opens the test service object found in the registry, forwards calls and fires events.
#include "controls/frame/control.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "include/opos.h"
#include "platform/automation/classes.h"
#include "platform/clock/clock.h"
#include "posframe/event_queue.h"
#include "posframe/reginfo.h"
#include "tests/support/control_app.h"
#include "tests/support/testenv.h"

namespace {

using plat::DispParams;
using plat::Variant;

const char kEntries[] = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Test]
@="KavroTest.SO"
"Description"="Test printer"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Test2]
@="KavroTest.SO"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\NoProgId]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\BadProgId]
@="No.Such.Service"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\OpenFails]
@="KavroTest.SO"
"OpenResult"=dword:0000006a
"OpenResultExtended"=dword:00002724

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Old]
@="KavroTest.SO"
"Version"=dword:000f4628

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\CloseFails]
@="KavroTest.SO"
"CloseFailures"=dword:00000001
)";

// The test service object's own exports (the library is loaded by the control).
struct TestSO {
    static void* Lib() { return dlopen(testenv::LibPath("kavro_testso").c_str(), RTLD_NOW | RTLD_NOLOAD); }
    static plat::ComPtr<> Last() {
        auto fn = reinterpret_cast<IDispatch* (*)()>(dlsym(Lib(), "KavroTestSO_Last"));
        return plat::ComPtr<>::Adopt(fn());
    }
    static void Forget() { reinterpret_cast<void (*)()>(dlsym(Lib(), "KavroTestSO_Forget"))(); }
    static long Destroyed() {
        return reinterpret_cast<long (*)()>(dlsym(Lib(), "KavroTestSO_Destroyed"))();
    }
};

using App = testapp::ControlApp;
using testapp::Event;

LONG Raise(LONG type, LONG p1, LONG p2 = 0, LONG p3 = 0, LONG p4 = 0, const std::string& text = "") {
    plat::DispatchDriver so(TestSO::Last().get());
    DispParams a{type, p1, p2, p3, p4, text};
    Variant r;
    EXPECT_EQ(so.Call("RaiseEvent", a, &r), S_OK);
    return 0;
}

std::string SoCallLog() {
    plat::DispatchDriver so(TestSO::Last().get());
    DispParams none;
    Variant r;
    so.Call("CallLog", none, &r);
    return r.GetString() ? *r.GetString() : "";
}

class ControlFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(testenv::Register("opos_generic"), S_OK);
        ASSERT_EQ(testenv::Register("kavro_testso"), S_OK);
        reg.Import(kEntries);
    }
    void TearDown() override {
        if (TestSO::Lib()) TestSO::Forget();
    }
    // Opens, claims and enables `app` on device `name`.
    void Ready(App& app, const std::string& name = "Test") {
        ASSERT_EQ(app.Call("Open", {name}), OPOS_SUCCESS);
        ASSERT_EQ(app.Call("Claim", {1000}), OPOS_SUCCESS);
        ASSERT_EQ(app.Put("DeviceEnabled", 1), S_OK);
        ASSERT_EQ(app.Put("DataEventEnabled", 1), S_OK);
    }
    testenv::Registry reg;
};

TEST_F(ControlFrame, OpenFailuresGiveTheirResultsAndReleaseTheService) {
    struct Case {
        const char* device;
        LONG open, resultCode, extended;
    } cases[] = {
        {"Missing", OPOS_E_NOEXIST, OPOS_E_CLOSED, 0},
        {"NoProgId", OPOS_E_NOSERVICE, OPOS_E_CLOSED, 0},
        {"BadProgId", OPOS_E_NOSERVICE, OPOS_E_CLOSED, 0},
        {"OpenFails", OPOS_E_ILLEGAL, OPOS_E_CLOSED, 10020},
    };
    for (const Case& c : cases) {
        App app;
        long destroyed = TestSO::Lib() ? TestSO::Destroyed() : 0;
        EXPECT_EQ(app.Call("Open", {c.device}), c.open) << c.device;
        EXPECT_EQ(app.Number("ResultCode"), c.resultCode) << c.device;
        EXPECT_EQ(app.Number("ResultCodeExtended"), c.extended) << c.device;
        EXPECT_EQ(app.Number("State"), OPOS_S_CLOSED) << c.device;
        if (std::string(c.device) == "OpenFails") {
            TestSO::Forget();
            EXPECT_EQ(TestSO::Destroyed(), destroyed + 1) << "the failed service is released";
        }
    }
}

TEST_F(ControlFrame, AMissingServiceMethodIsNoService) {
    reg.Import("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KAVRO\\TestSO]\n"
               "\"Omit\"=\"ClearInput,CheckHealth\"\n");
    App app;
    EXPECT_EQ(app.Call("Open", {"Test"}), OPOS_E_NOSERVICE);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_E_CLOSED);
}

TEST_F(ControlFrame, SecondOpenIsHeldIllegalUntilTheNextCall) {
    App app;
    ASSERT_EQ(app.Call("Open", {"Test"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Call("Open", {"Test"}), OPOS_E_ILLEGAL);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_E_ILLEGAL);
    EXPECT_EQ(app.Number("ResultCodeExtended"), 0);
    EXPECT_EQ(app.Call("Claim", {0}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_SUCCESS);
    EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
}

TEST_F(ControlFrame, PropertiesWhileClosedAndOpen) {
    App app;
    EXPECT_EQ(app.Number("Claimed"), 0);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_E_CLOSED);
    EXPECT_EQ(app.Number("State"), OPOS_S_CLOSED);
    EXPECT_EQ(app.Number("ServiceObjectVersion"), 0);
    EXPECT_EQ(app.String("CheckHealthText"), "[Error]");
    EXPECT_EQ(app.String("DeviceName"), "[Error]");
    EXPECT_EQ(app.Number("ControlObjectVersion"), 1003001);
    EXPECT_EQ(app.Call("Claim", {0}), OPOS_E_CLOSED);
    EXPECT_EQ(app.Number("CapRecPresent"), 0);

    ASSERT_EQ(app.Call("Open", {"Test"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("State"), OPOS_S_IDLE);
    EXPECT_EQ(app.Number("ServiceObjectVersion"), 1003001);
    EXPECT_EQ(app.String("DeviceName"), "Test");
    EXPECT_EQ(app.String("ServiceObjectDescription"), "Test printer");
    // Names resolve in any case; a read-only property refuses writes without a call.
    EXPECT_EQ(app.Number("cLaImEd"), 0);
    EXPECT_EQ(app.Put("ResultCode", 5), CTL_E_SETNOTSUPPORTED);
    EXPECT_EQ(SoCallLog().find("SetPropertyNumber(6"), std::string::npos);
    // Open wrote the service's description and version into the entry.
    std::string desc;
    EXPECT_EQ(plat::reg::GetString(std::string(kServiceOposKey) + "\\POSPrinter\\Test",
                                   "ServiceObjectDescription", &desc),
              ERROR_SUCCESS);
    EXPECT_EQ(desc, "Test printer");
}

TEST_F(ControlFrame, GatedPropertiesOnAnOldServiceAreNotForwarded) {
    App app;
    ASSERT_EQ(app.Call("Open", {"Old"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("BinaryConversion"), 0);
    EXPECT_EQ(app.Put("BinaryConversion", 1), S_OK);
    EXPECT_EQ(app.Number("ResultCode"), OPOS_E_NOSERVICE);
    EXPECT_EQ(app.Number("ResultCodeExtended"), 10100);
    EXPECT_EQ(app.Put("PowerNotify", 1), S_OK);
    EXPECT_EQ(app.Number("ResultCodeExtended"), 10100);
    EXPECT_EQ(SoCallLog().find("SetPropertyNumber(11"), std::string::npos);
    EXPECT_EQ(SoCallLog().find("SetPropertyNumber(13"), std::string::npos);
}

TEST_F(ControlFrame, ByReferenceArgumentsReachTheCaller) {
    App app;
    int32_t n = 20;
    std::string s = "x";
    // Closed: 101, arguments untouched.
    EXPECT_EQ(app.Call("DirectIO", {2, &n, &s}), OPOS_E_CLOSED);
    EXPECT_EQ(n, 20);
    ASSERT_EQ(app.Call("Open", {"Test"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Call("DirectIO", {2, &n, &s}), OPOS_SUCCESS);
    EXPECT_EQ(n, 40);
    EXPECT_EQ(s, "x!");
    std::string bytes("a\0\x80\xff", 4);
    EXPECT_EQ(app.Call("EchoRef", {&n, &bytes}), OPOS_SUCCESS);
    EXPECT_EQ(bytes, std::string("a\0\x80\xff?", 5));
    // "Rollback" finds the service's "RollBack".
    EXPECT_EQ(app.Call("Rollback", {3}), OPOS_SUCCESS);
    EXPECT_NE(SoCallLog().find("RollBack(3)"), std::string::npos);
}

TEST_F(ControlFrame, EveryEventTypeFiresOnTheContainerThread) {
    App app;
    Ready(app);
    app.onEvent = [](const Event& e, DispParams& args) {
        if (e.name == "ErrorEvent") *args[3].GetLongRef() = OPOS_ER_CLEAR;
    };
    // Raised from another thread, as a device thread would.
    std::thread([] {
        Raise(EVT_DATA, 7);
        Raise(EVT_DIRECTIO, 9, 5, 0, 0, "io");
        Raise(EVT_ERROR, 111, 0, OPOS_EL_OUTPUT, OPOS_ER_RETRY);
        Raise(EVT_OUTPUTCOMPLETE, 3);
        Raise(EVT_STATUSUPDATE, 1001);
    }).join();
    ASSERT_TRUE(app.PumpFor(5));
    const char* expected[] = {"DataEvent", "DirectIOEvent", "ErrorEvent", "OutputCompleteEvent",
                              "StatusUpdateEvent"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(app.At(i).name, expected[i]);
        EXPECT_EQ(app.At(i).thread, GetCurrentThreadId());
    }
    EXPECT_EQ(app.At(0).a, 7);
    EXPECT_EQ(app.At(1).b, 5);
    plat::DispatchDriver so(TestSO::Last().get());
    DispParams none;
    Variant r;
    so.Call("LastErrorResponse", none, &r);
    EXPECT_EQ(*r.GetLong(), OPOS_ER_CLEAR) << "the handler's response reaches the service";
    // The gate's result of the last firing.
    int32_t data = -1;
    std::string text;
    EXPECT_EQ(app.Call("DirectIO", {kDirectIOGateResult, &data, &text}), OPOS_SUCCESS);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
}

TEST_F(ControlFrame, GateResultIsMinusTwoAfterOpen) {
    App app;
    ASSERT_EQ(app.Call("Open", {"Test"}), OPOS_SUCCESS);
    int32_t data = -1;
    std::string text;
    EXPECT_EQ(app.Call("DirectIO", {kDirectIOGateResult, &data, &text}), OPOS_SUCCESS);
    EXPECT_EQ(data, -2);
}

TEST_F(ControlFrame, FreezeHoldsEventsAcrossOpenAndReleasesThemOnThaw) {
    App app;
    app.Freeze(true);  // before Open: the new service is told
    Ready(app);
    EXPECT_NE(SoCallLog().find("COFreezeEvents(1)"), std::string::npos);
    Raise(EVT_STATUSUPDATE, 2001);
    EXPECT_FALSE(app.PumpFor(1, 100));
    plat::DispatchDriver so(TestSO::Last().get());
    DispParams none;
    Variant queued;
    so.Call("QueuedEvents", none, &queued);
    EXPECT_EQ(*queued.GetLong(), 1) << "the service keeps the frozen event";
    app.Freeze(false);
    ASSERT_TRUE(app.PumpFor(1));
    EXPECT_EQ(app.At(0).a, 2001);
    // Still frozen after Close and a new Open.
    app.Freeze(true);
    ASSERT_EQ(app.Call("Close"), OPOS_SUCCESS);
    Ready(app);
    EXPECT_NE(SoCallLog().find("COFreezeEvents(1)"), std::string::npos);
}

TEST_F(ControlFrame, AFrozenControlRefusesADirectCallback) {
    App app;
    ASSERT_EQ(app.Call("Open", {"Test"}), OPOS_SUCCESS);
    app.Freeze(true);
    EXPECT_EQ(app.Call("SOStatusUpdate", {5}), 1) << "refused: the service keeps it";
    app.Freeze(false);
    EXPECT_EQ(app.Call("SOStatusUpdate", {5}), 0);
    EXPECT_EQ(app.Received(), 1u);
}

TEST_F(ControlFrame, CloseDeliversNothingLateAndDoesNotHang) {
    App app;
    Ready(app);
    for (LONG i = 0; i < 3; ++i) Raise(EVT_STATUSUPDATE, i);
    ASSERT_TRUE(app.PumpFor(3));
    // Events still queued (not dispatched: the container does not pump) when Close runs.
    for (LONG i = 0; i < 3; ++i) Raise(EVT_STATUSUPDATE, 10 + i);
    EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
    size_t after = app.Received();
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(app.Received(), after) << "nothing arrives after Close";
}

TEST_F(ControlFrame, AFailedCloseLeavesTheControlOpenAndDelivering) {
    App app;
    Ready(app, "CloseFails");
    EXPECT_EQ(app.Call("Close"), OPOS_E_FAILURE);
    EXPECT_EQ(app.Number("State"), OPOS_S_IDLE);
    Raise(EVT_STATUSUPDATE, 42);
    ASSERT_TRUE(app.PumpFor(1));
    EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
}

TEST_F(ControlFrame, HandlersOfTwoControlsOnTwoThreadsNeverOverlap) {
    std::mutex m;
    DWORD owner = 0;
    int depth = 0;
    bool overlap = false;
    std::atomic<int> nested{0};
    auto run = [&](const std::string& device) {
        App app;
        Ready(app, device);
        app.onEvent = [&](const Event& e, DispParams&) {
            {
                std::lock_guard<std::mutex> g(m);
                if (depth > 0 && owner != GetCurrentThreadId()) overlap = true;
                owner = GetCurrentThreadId();
                ++depth;
            }
            if (e.a == 0) {
                // A nested firing on the same thread passes the recursive gate.
                EXPECT_EQ(app.Call("SOStatusUpdate", {99}), 0);
                ++nested;
            }
            Sleep(1);
            std::lock_guard<std::mutex> g(m);
            --depth;
        };
        // Each application raises through its own control (TestSO::Last is shared).
        for (LONG i = 0; i < 20; ++i)
            EXPECT_EQ(app.Call("RaiseEvent", {EVT_STATUSUPDATE, i, 0, 0, 0, std::string()}), 0);
        EXPECT_TRUE(app.PumpFor(21, 10000));
        EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
    };
    std::thread a(run, "Test"), b(run, "Test2");
    a.join();
    b.join();
    EXPECT_EQ(nested.load(), 2);
    EXPECT_FALSE(overlap);
}

TEST_F(ControlFrame, DroppingAnOpenControlClosesAndReleasesItsService) {
    long destroyed = 0;
    {
        App app;
        Ready(app);
        destroyed = TestSO::Destroyed();
        TestSO::Forget();
    }  // no Close: the application just lets the control go
    EXPECT_EQ(TestSO::Destroyed(), destroyed + 1);
}

TEST_F(ControlFrame, CloseFromInsideAnEventHandlerNeedsNoWait) {
    App app;
    Ready(app);
    plat::ManualClock frozenTime;  // a wait for the event thread would never end
    LONG closed = -1;
    app.onEvent = [&](const Event&, DispParams&) {
        plat::ScopedClock noTime(frozenTime);
        closed = app.Call("Close");
    };
    Raise(EVT_STATUSUPDATE, 1);
    ASSERT_TRUE(app.PumpFor(1));
    EXPECT_EQ(closed, OPOS_SUCCESS);
    EXPECT_EQ(app.Number("State"), OPOS_S_CLOSED);
    // The stopped event thread is joined by the next Open.
    Ready(app);
    Raise(EVT_STATUSUPDATE, 2);
    app.onEvent = nullptr;
    ASSERT_TRUE(app.PumpFor(2));
    EXPECT_EQ(app.Call("Close"), OPOS_SUCCESS);
}

TEST_F(ControlFrame, RegistrationWritesTheControlKeys) {
    std::string clsid, path, misc;
    EXPECT_EQ(plat::reg::GetString("HKEY_CLASSES_ROOT\\OPOS.POSPrinter\\CLSID", "", &clsid),
              ERROR_SUCCESS);
    std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + clsid;
    EXPECT_EQ(plat::reg::GetString(key + "\\InprocServer32", "", &path), ERROR_SUCCESS);
    EXPECT_NE(path.find("libopos_generic.so"), std::string::npos);
    EXPECT_TRUE(plat::reg::KeyExists(key + "\\Control"));
    EXPECT_EQ(plat::reg::GetString(key + "\\MiscStatus\\1", "", &misc), ERROR_SUCCESS);
    EXPECT_EQ(misc, "132241");
}

}  // namespace

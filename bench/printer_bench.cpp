// The printer service on the loop port against the simulator: one whole
// Open+Claim+Enable+Release+Close cycle, and the latency from an automatic status frame
// (the simulated cover opening) to the application's StatusUpdateEvent.
#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <string>

#include "controls/frame/control.h"
#include "platform/clock/clock.h"
#include "sim/loop_device.h"
#include "sim/printer.h"
#include "tests/support/bench_env.h"

namespace {

const char kEntry[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\BenchPrinter";

struct PrinterApp {
    PrinterApp() {
        plat::reg::SetString(kEntry, "", "SOKAVROL.POSPrinter");
        plat::reg::SetString(kEntry, "Port", "LOOP:bench");
        plat::reg::SetDword(kEntry, "INFVersion", 1008000);
        plat::reg::SetDword(kEntry, "CapCoverSensor", 1);
        plat::reg::SetDword(kEntry, "CapReceipt", 0x3880);
        plat::reg::SetDword(kEntry, "CapPtrElse", 1);
        plat::ComPtr<> c;
        ok = plat::CreateObject("OPOS.POSPrinter", c.put()) == S_OK;
        ctrl.Attach(c.get());
        sink = plat::LambdaDispatch::Create([this](DISPID id, uint16_t, plat::DispParams&, plat::Variant*) {
            if (id == 5) ++statuses;
            return S_OK;
        });
        plat::DispParams a{sink.get()};
        plat::Variant r;
        ctrl.Invoke(kDispOleAdvise, plat::DISPATCH_METHOD, a, &r);
    }
    LONG Call(const std::string& m, plat::DispParams args = {}) {
        plat::Variant r;
        ctrl.Call(m, args, &r);
        int32_t rc = -1;
        r.ToLong(&rc);
        return rc;
    }
    bool ok = false;
    plat::DispatchDriver ctrl;
    plat::ComPtr<> sink;
    std::atomic<long> statuses{0};
};


void BM_OpenClaimEnableReleaseClose(benchmark::State& state) {
    benchenv::Setup env;
    PrinterApp app;
    if (!app.ok) {
        state.SkipWithError("cannot create the control");
        return;
    }
    for (auto _ : state) {
        app.Call("Open", {std::string("BenchPrinter")});
        app.Call("Claim", {int32_t{1000}});
        app.ctrl.PutProperty("DeviceEnabled", int32_t{1});
        app.ctrl.PutProperty("DeviceEnabled", int32_t{0});
        app.Call("Release");
        app.Call("Close");
    }
}
BENCHMARK(BM_OpenClaimEnableReleaseClose)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_StatusFrameToEvent(benchmark::State& state) {
    benchenv::Setup env;
    PrinterApp app;
    app.Call("Open", {std::string("BenchPrinter")});
    app.Call("Claim", {int32_t{1000}});
    app.ctrl.PutProperty("DeviceEnabled", int32_t{1});
    auto sim = sim::LoopPrinter("bench");
    PumpUntil([] { return false; }, 200);  // the enable-time report
    bool open = false;
    for (auto _ : state) {
        long before = app.statuses.load();
        open = !open;
        sim->Control(open ? "cover open" : "cover close");
        PumpUntil([&] { return app.statuses.load() > before; }, 5000);
    }
    app.Call("Close");
}
BENCHMARK(BM_StatusFrameToEvent)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

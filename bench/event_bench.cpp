// Latency from a service object's QueueEvent to the container's event handler: the
// event thread wakes, hands the event over with SendMessage and the control fires it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>

#include "controls/frame/control.h"
#include "include/opos.h"
#include "posframe/event_queue.h"
#include "tests/support/bench_env.h"

namespace {

void BM_QueueEventToHandler(benchmark::State& state) {
    benchenv::Setup env;
    plat::ComPtr<> c;
    if (plat::CreateObject("OPOS.POSPrinter", c.put()) != S_OK) {
        state.SkipWithError("cannot create the control (registration failed)");
        return;
    }
    plat::DispatchDriver ctrl(c.get());
    std::atomic<long> received{0};
    auto sink = plat::LambdaDispatch::Create([&](DISPID, uint16_t, plat::DispParams&, plat::Variant*) {
        ++received;
        return S_OK;
    });
    plat::DispParams adv{sink.get()};
    plat::Variant r;
    ctrl.Invoke(kDispOleAdvise, plat::DISPATCH_METHOD, adv, &r);
    plat::DispParams open{std::string("Bench")};
    ctrl.Call("Open", open, &r);
    plat::DispParams claim{int32_t{1000}};
    ctrl.Call("Claim", claim, &r);
    ctrl.PutProperty("DeviceEnabled", int32_t{1});
    ctrl.PutProperty("DataEventEnabled", int32_t{1});

    auto* last = reinterpret_cast<IDispatch* (*)()>(
        dlsym(dlopen(benchenv::LibPath("kavro_testso").c_str(), RTLD_NOW | RTLD_NOLOAD),
              "KavroTestSO_Last"));
    plat::DispatchDriver so(plat::ComPtr<>::Adopt(last()).get());
    for (auto _ : state) {
        long before = received.load();
        plat::DispParams a{int32_t{EVT_STATUSUPDATE}, int32_t{1}, int32_t{0}, int32_t{0},
                           int32_t{0}, std::string()};
        so.Call("RaiseEvent", a, &r);
        PumpUntil([&] { return received.load() > before; }, 5000);
    }
    plat::DispParams none;
    ctrl.Call("Close", none, &r);
}
BENCHMARK(BM_QueueEventToHandler)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

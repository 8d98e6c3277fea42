// An application for tests: one control created by ProgID, its event sink, and the
// events it received (on the thread that pumps, as an application's would).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "controls/frame/control.h"
#include "platform/automation/classes.h"
#include "platform/window/window.h"

namespace testapp {

struct Event {
    std::string name;
    LONG a = 0, b = 0;  // the first two arguments (by value or by reference)
    DWORD thread = 0;
};

class ControlApp {
public:
    explicit ControlApp(const std::string& progId = "OPOS.POSPrinter") {
        plat::ComPtr<> c;
        EXPECT_EQ(plat::CreateObject(progId, c.put()), S_OK) << progId;
        ctrl.Attach(c.get());
        sink = plat::LambdaDispatch::Create(
            [this](DISPID id, uint16_t, plat::DispParams& args, plat::Variant*) {
                return OnEvent(id, args);
            });
        plat::DispParams a{sink.get()};
        plat::Variant cookie;
        EXPECT_EQ(ctrl.Invoke(kDispOleAdvise, plat::DISPATCH_METHOD, a, &cookie), S_OK);
    }

    LONG Call(const std::string& method, plat::DispParams args = {}) {
        plat::Variant r;
        EXPECT_EQ(ctrl.Call(method, args, &r), S_OK) << method;
        int32_t rc = -1;
        r.ToLong(&rc);
        return rc;
    }
    LONG Number(const std::string& prop) {
        plat::Variant v;
        EXPECT_EQ(ctrl.GetProperty(prop, &v), S_OK) << prop;
        int32_t n = -1;
        v.ToLong(&n);
        return n;
    }
    std::string String(const std::string& prop) {
        plat::Variant v;
        EXPECT_EQ(ctrl.GetProperty(prop, &v), S_OK) << prop;
        return v.GetString() ? *v.GetString() : "<not a string>";
    }
    HRESULT Put(const std::string& prop, plat::Variant v) { return ctrl.PutProperty(prop, v); }
    // Sets a number property; returns the ResultCode and ResultCodeExtended it left.
    std::pair<LONG, LONG> Set(const std::string& prop, LONG value) {
        EXPECT_EQ(Put(prop, plat::Variant(static_cast<int32_t>(value))), S_OK) << prop;
        return {Number("ResultCode"), Number("ResultCodeExtended")};
    }
    // The container freezes or thaws the control's events.
    void Freeze(bool on) {
        plat::DispParams a{on};
        plat::Variant r;
        ctrl.Invoke(kDispOleFreezeEvents, plat::DISPATCH_METHOD, a, &r);
    }
    // Dispatches until `count` events arrived in all.
    bool PumpFor(size_t count, DWORD ms = 5000) {
        return PumpUntil([&] { return Received() >= count; }, ms);
    }
    size_t Received() {
        std::lock_guard<std::mutex> g(lock);
        return events.size();
    }
    Event At(size_t i) {
        std::lock_guard<std::mutex> g(lock);
        return events.at(i);
    }

    // Runs inside the handler, before the event is recorded; may change by-ref arguments.
    std::function<void(const Event&, plat::DispParams&)> onEvent;
    plat::DispatchDriver ctrl;
    plat::ComPtr<> sink;
    std::mutex lock;
    std::vector<Event> events;

private:
    HRESULT OnEvent(DISPID id, plat::DispParams& args) {
        static const char* const names[] = {"",           "DataEvent",           "DirectIOEvent",
                                            "ErrorEvent", "OutputCompleteEvent", "StatusUpdateEvent"};
        Event e;
        e.name = (id >= 1 && id <= 5) ? names[id] : "?";
        if (!args.empty()) args[0].ToLong(&e.a);
        if (args.size() > 1 && args[1].GetLong()) e.b = *args[1].GetLong();
        if (args.size() > 1 && args[1].GetLongRef()) e.b = *args[1].GetLongRef();
        e.thread = GetCurrentThreadId();
        if (onEvent) onEvent(e, args);
        std::lock_guard<std::mutex> g(lock);
        events.push_back(e);
        return S_OK;
    }
};

}  // namespace testapp

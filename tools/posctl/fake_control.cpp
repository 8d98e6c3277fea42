// A stand-in control for the posctl tests, "PosctlTest.Control": it answers Open, Claim
// and a few properties the way a control does and fires events into the container's sink,
// either at once (FireTest KIND VALUE) or from a posted window message, that is when the
// calling thread next dispatches (PostTest KIND VALUE). While the container has its events
// frozen, events are held and posted again when it thaws.
#include <deque>
#include <utility>

#include "platform/automation/classes.h"
#include "platform/window/window.h"

namespace {

enum : int32_t {
    kSuccess = 0,
    kClosed = 101,
    kNotClaimed = 103,
    kIllegal = 106,
    kNoExist = 109,
    kRetry = 11,          // the ErrorResponse offered with every ErrorEvent
    kLocusOutput = 2,
};
constexpr UINT kMsgEvent = WM_APP + 1;

class FakeControl : public plat::Dispatchable<FakeControl> {
public:
    FakeControl() {
        window_ = CreateHiddenWindow([this](HWND, UINT msg, WPARAM kind, LPARAM value) -> LRESULT {
            if (msg == kMsgEvent) Fire(static_cast<int32_t>(kind), static_cast<int32_t>(value));
            return 0;
        });
    }
    ~FakeControl() override { DestroyWindow(window_); }

    static void Describe(plat::DispatchMap<FakeControl>& m) {
        m.Method("Open", &FakeControl::Open)
            .Method("Close", &FakeControl::Close)
            .Method("Claim", &FakeControl::Claim)
            .Method("Release", &FakeControl::ReleaseDevice)
            .Method("DirectIO", &FakeControl::DirectIO)
            .Method("FireTest", &FakeControl::FireTest)
            .Method("PostTest", &FakeControl::PostTest)
            .Property("ResultCode", &FakeControl::GetResultCode)
            .Property("ResultCodeExtended", &FakeControl::GetResultCodeExtended)
            .Property("Claimed", &FakeControl::GetClaimed)
            .Property("DeviceEnabled", &FakeControl::GetDeviceEnabled,
                      &FakeControl::SetDeviceEnabled)
            .Property("DeviceName", &FakeControl::GetDeviceName)
            .Property("Text", &FakeControl::GetText, &FakeControl::SetText)
            .Property("LastResponse", &FakeControl::GetLastResponse)
            .WithId(-1000)
            .Method("OleAdvise", &FakeControl::OleAdvise)
            .WithId(-1001)
            .Method("OleUnadvise", &FakeControl::OleUnadvise)
            .WithId(-1002)
            .Method("OleFreezeEvents", &FakeControl::OleFreezeEvents);
    }

    int32_t Open(const std::string& name) {
        if (open_) return Result(kIllegal);
        if (name == "Missing") return Result(kNoExist);
        open_ = true;
        name_ = name;
        return Result(kSuccess);
    }
    int32_t Close() {
        if (!open_) return Result(kClosed);
        open_ = claimed_ = false;
        enabled_ = 0;
        return Result(kSuccess);
    }
    int32_t Claim(int32_t) {
        if (!open_) return Result(kClosed);
        claimed_ = true;
        return Result(kSuccess);
    }
    int32_t ReleaseDevice() {
        if (!claimed_) return Result(kNotClaimed);
        claimed_ = false;
        return Result(kSuccess);
    }
    // Doubles *data, appends "!" to *text; the extended result is the command.
    int32_t DirectIO(int32_t command, int32_t* data, std::string* text) {
        *data *= 2;
        *text += "!";
        return Result(kSuccess, command);
    }
    int32_t FireTest(int32_t kind, int32_t value) {
        Fire(kind, value);
        return Result(kSuccess);
    }
    int32_t PostTest(int32_t kind, int32_t value) {
        PostMessage(window_, kMsgEvent, static_cast<WPARAM>(kind), value);
        return Result(kSuccess);
    }

    int32_t GetResultCode() { return rc_; }
    int32_t GetResultCodeExtended() { return rcx_; }
    int32_t GetClaimed() { return claimed_ ? 1 : 0; }
    int32_t GetDeviceEnabled() { return enabled_; }
    void SetDeviceEnabled(int32_t v) {
        if (!claimed_) {
            Result(kNotClaimed);
            return;
        }
        enabled_ = v;
        Result(kSuccess);
    }
    std::string GetDeviceName() { return name_; }
    std::string GetText() { return text_; }
    void SetText(const std::string& v) {
        text_ = v;
        Result(kSuccess);
    }
    int32_t GetLastResponse() { return lastResponse_; }

    int32_t OleAdvise(plat::IDispatch* sink) { return static_cast<int32_t>(events_.Advise(sink)); }
    void OleUnadvise(int32_t cookie) { events_.Unadvise(static_cast<uint32_t>(cookie)); }
    void OleFreezeEvents(bool freeze) {
        frozen_ = freeze;
        if (freeze) return;
        for (auto [kind, value] : held_)
            PostMessage(window_, kMsgEvent, static_cast<WPARAM>(kind), value);
        held_.clear();
    }

private:
    int32_t Result(int32_t rc, int32_t rcx = 0) {
        rc_ = rc;
        rcx_ = rcx;
        return rc;
    }

    // Event ids 1..5: DataEvent, DirectIOEvent, ErrorEvent, OutputCompleteEvent,
    // StatusUpdateEvent.
    void Fire(int32_t kind, int32_t value) {
        if (frozen_) {
            held_.emplace_back(kind, value);
            return;
        }
        int32_t data = value * 2;
        std::string text("io\0\x1b", 4);
        int32_t response = kRetry;
        plat::DispParams args;
        switch (kind) {
            case 2: args = {value, &data, &text}; break;
            case 3: args = {value, 0, kLocusOutput, &response}; break;
            default: args = {value}; break;
        }
        events_.Fire(kind, args);
        if (kind == 3) lastResponse_ = response;
    }

    HWND window_ = 0;
    plat::EventSource events_;
    bool open_ = false, claimed_ = false, frozen_ = false;
    int32_t enabled_ = 0, rc_ = 0, rcx_ = 0, lastResponse_ = 0;
    std::string name_, text_;
    std::deque<std::pair<int32_t, int32_t>> held_;
};

plat::ComModule g_module;

const bool g_registered = [] {
    plat::CLSID clsid;
    plat::GuidFromString("{5B2E7C41-0D3A-4E8F-A1B6-00000000C701}", &clsid);
    g_module.Add({"PosctlTest.Control", clsid, "posctl test control",
                  [] { return new FakeControl; }, false, ""});
    return true;
}();

}  // namespace

KAVRO_SERVER_EXPORTS(g_module)

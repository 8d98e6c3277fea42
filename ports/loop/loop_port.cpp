#include "ports/loop/loop_port.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/registry/registry.h"
#include "platform/sync/sync.h"
#include "ports/loop/loopdev.h"
#include "ports/output_pump.h"
#include "ports/output_queue.h"
#include "posframe/reginfo.h"
#include "posframe/svcbase.h"

// One connection to a loop device, from the first registration to the last close.
class CLoopPort::Session : public loop::ILoopHost, public ports::OutputTransport {
public:
    Session(std::shared_ptr<loop::ILoopDevice> device, ports::CallbackGate& gate)
        : device_(std::move(device)), gate_(gate) {}
    ~Session() override { Join(); }

    // Connects and starts the threads; false when the device has another host.
    bool Start() {
        if (!device_->Connect(this)) return false;
        LONG state = device_->PowerState();
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!powerSeen_) ApplyPowerLocked(state);
        }
        running_ = 2;
        output_ = std::thread([this] {
            ports::RunOutputLoop(queue, gate_, *this, Policy());
            --running_;
        });
        input_ = std::thread([this] {
            InputLoop();
            --running_;
        });
        return true;
    }

    // Stops the threads, disconnects and joins them (except the calling thread, which is
    // then inside a callback and ends when it returns).
    void Stop() {
        {
            std::lock_guard<std::mutex> g(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        queue.Stop();
        NotifyHub();
        device_->Disconnect(this);
        Join();
    }

    void Join() {
        for (std::thread* t : {&output_, &input_}) {
            if (t->joinable() && t->get_id() != std::this_thread::get_id()) t->join();
        }
    }
    bool Joined() const { return !output_.joinable() && !input_.joinable(); }
    // Both threads have left their loops (a join does not block).
    bool Finished() const { return running_ == 0; }

    // Output has been refused since the device is off for longer than the bound.
    bool NoPower() {
        std::lock_guard<std::mutex> g(lock_);
        return power_ == PD_PS_OFF && GetTickCount64() - offSince_ > kNoPowerAfterMs;
    }

    // --- ILoopHost (the device's threads) ---
    void Input(const BYTE* data, size_t length) override {
        if (!data || length == 0) return;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (stop_ || pendingInput_ + length > kMaxPendingInput) return;
            pendingInput_ += length;
            items_.push_back(
                Item{false, 0, std::string(reinterpret_cast<const char*>(data), length)});
            ++inputCount_;
        }
        wake_.notify_one();
        if (hubWaiters_ > 0) NotifyHub();
    }
    void Power(LONG rawState) override {
        {
            std::lock_guard<std::mutex> g(lock_);
            powerSeen_ = true;
            if (!stop_) ApplyPowerLocked(rawState);
        }
        wake_.notify_one();
    }

    // --- OutputTransport (the output thread) ---
    long WritePiece(const ports::OutputBlock&, const char* data, size_t length) override {
        device_->Write(reinterpret_cast<const BYTE*>(data), length);
        return static_cast<long>(length);
    }
    uint64_t InputCount() override {
        std::lock_guard<std::mutex> g(lock_);
        return inputCount_;
    }
    void AwaitInput(uint64_t since, DWORD ms) override {
        WaitOnHub(ms, [&] { return stop_ || inputCount_ > since; });
    }
    bool RetryPause(DWORD ms) override {
        WaitOnHub(ms, [&] { return stop_; });
        std::lock_guard<std::mutex> g(lock_);
        return !stop_;
    }

    ports::OutputQueue queue;

private:
    struct Item {
        bool power;
        LONG state;
        std::string data;
    };

    static ports::OutputPolicy Policy() {
        ports::OutputPolicy p;
        p.awaitReplyMs = 1000;
        return p;
    }

    void ApplyPowerLocked(LONG state) {
        if (state == power_) return;
        if (state == PD_PS_OFF) offSince_ = GetTickCount64();
        power_ = state;
        items_.push_back(Item{true, state, {}});
    }

    // Waits on the platform clock, `ready` being checked under the session lock.
    template <class F>
    void WaitOnHub(DWORD ms, F ready) {
        ++hubWaiters_;
        const uint64_t deadline = plat::Clock().NowMs() + ms;
        {
            auto hub = plat::LockWaitHub();
            plat::WaitHubUntil(hub, deadline, [&] {
                std::lock_guard<std::mutex> g(lock_);
                return ready();
            });
        }
        --hubWaiters_;
    }
    static void NotifyHub() {
        auto hub = plat::LockWaitHub();
        plat::NotifyAllLocked();
    }

    void InputLoop() {
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> lk(lock_);
                wake_.wait(lk, [this] { return stop_ || !items_.empty(); });
                if (stop_) return;
                item = std::move(items_.front());
                items_.pop_front();
                pendingInput_ -= item.data.size();
            }
            for (const ports::CallbackGate::Ref& ref : gate_.Snapshot()) {
                if (item.power) {
                    gate_.Call(ref, [&](CSvcBase* svc, LONG) { svc->PowerReport(item.state); });
                    continue;
                }
                const size_t step = static_cast<size_t>(ports::CallbackGate::ReadSizeOf(ref));
                for (size_t off = 0; off < item.data.size(); off += step) {
                    const size_t n = std::min(step, item.data.size() - off);
                    const BYTE* p = reinterpret_cast<const BYTE*>(item.data.data()) + off;
                    if (!gate_.Call(ref, [&](CSvcBase* svc, LONG) {
                            svc->DataUpdate(p, static_cast<LONG>(n));
                        })) {
                        break;  // closed meanwhile
                    }
                }
            }
        }
    }

    std::shared_ptr<loop::ILoopDevice> device_;
    ports::CallbackGate& gate_;
    std::thread output_, input_;
    std::atomic<int> running_{0};
    std::atomic<int> hubWaiters_{0};  // the output thread waits on the platform clock

    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::deque<Item> items_;
    size_t pendingInput_ = 0;
    uint64_t inputCount_ = 0;
    bool powerSeen_ = false;
    LONG power_ = PD_PS_ONLINE;  // a device found off at connect is reported
    uint64_t offSince_ = 0;
};

CLoopPort::CLoopPort() = default;

CLoopPort::~CLoopPort() {
    std::shared_ptr<Session> s;
    {
        std::lock_guard<std::mutex> g(sessionLock_);
        s = std::move(session_);
    }
    if (s) s->Stop();
    for (auto& r : retired_) r->Join();
}

bool CLoopPort::ParsePort(const std::string& port, std::string* name) {
    static constexpr char kPrefix[] = "LOOP:";
    constexpr size_t kLen = sizeof(kPrefix) - 1;
    if (port.size() <= kLen) return false;
    for (size_t i = 0; i < kLen; ++i) {
        char c = port[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kPrefix[i]) return false;
    }
    if (name) *name = port.substr(kLen);
    return true;
}

std::shared_ptr<CLoopPort::Session> CLoopPort::Current() const {
    std::lock_guard<std::mutex> g(sessionLock_);
    return session_;
}

void CLoopPort::ReapRetired() {
    for (auto& r : retired_) {
        if (r->Finished()) r->Join();
    }
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                  [](const std::shared_ptr<Session>& r) { return r->Joined(); }),
                   retired_.end());
}

LONG CLoopPort::OpenPort(const char* deviceName, CSvcBase* svc, std::shared_ptr<Session>* session) {
    std::vector<std::string> classes;
    if (!svc->m_strDevClass.empty()) {
        classes.push_back(svc->m_strDevClass);
    } else {
        classes = plat::reg::SubKeys(kServiceOposKey);
    }
    CRegistryInfo reg(deviceName, 0, FALSE);
    bool found = false;
    for (const std::string& cls : classes) {
        if (reg.GetDeviceInfo(deviceName, CRegistryInfo::ConvKey(cls))) {
            found = true;
            break;
        }
    }
    if (!found) return PD_E_OPEN;
    std::string port, name;
    if (!reg.GetString("Port", &port) || !ParsePort(port, &name)) return PD_E_NOPORT;
    std::shared_ptr<loop::ILoopDevice> device = loop::GetDevice(name);
    if (!device) return PD_E_OPEN;
    auto s = std::make_shared<Session>(std::move(device), gate_);
    if (!s->Start()) return PD_E_INUSE;
    *session = std::move(s);
    return PD_OK;
}

LONG CLoopPort::PortOpen(const char* deviceName, CSvcBase* svc, const PortOpenOptions& options) {
    if (!deviceName || !svc || options.readSize < 1) return PD_E_PARAM;
    std::lock_guard<std::mutex> g(openLock_);
    ReapRetired();
    if (gate_.IsOpen(svc)) return PD_OK;
    if (Current()) {
        gate_.Add(svc, options.readSize);
        return PD_OK;
    }
    // The first registration: it is in place before the threads deliver anything.
    gate_.Add(svc, options.readSize);
    std::shared_ptr<Session> s;
    LONG rc = OpenPort(deviceName, svc, &s);
    if (rc != PD_OK) {
        gate_.Remove(svc);
        return rc;
    }
    std::lock_guard<std::mutex> sg(sessionLock_);
    session_ = std::move(s);
    return PD_OK;
}

LONG CLoopPort::PortClose(CSvcBase* svc) {
    if (!svc) return PD_E_NOTOPEN;
    std::shared_ptr<Session> s = Current();
    if (s && gate_.IsOpen(svc)) s->queue.DropOwner(svc, false);
    LONG rc = gate_.Remove(svc);
    if (rc != PD_OK) return rc;
    // A block queued by another thread of `svc` while it closed.
    if (s) s->queue.DropOwner(svc, false);
    if (gate_.OpenCount() == 0) CloseIfUnused();
    return PD_OK;
}

void CLoopPort::CloseIfUnused() {
    // A callback that is still running may want to open or close; let it finish first.
    if (!gate_.WaitIdle()) return;
    std::lock_guard<std::mutex> g(openLock_);
    if (gate_.OpenCount() != 0 || !gate_.WaitIdle()) return;
    std::shared_ptr<Session> s;
    {
        std::lock_guard<std::mutex> sg(sessionLock_);
        s = std::move(session_);
    }
    if (!s) return;
    s->Stop();
    if (!s->Joined()) retired_.push_back(std::move(s));  // closed from one of its threads
}

LONG CLoopPort::PortOutputData(const char* data, unsigned long length, LONG errorTag, CSvcBase* svc,
                               int priority, int flowMode, LONG completionTag, int awaitReply) {
    if (!data && length > 0) return PD_E_PARAM;
    if (svc && !gate_.IsOpen(svc)) return PD_E_NOTOPEN;
    std::shared_ptr<Session> s = Current();
    if (!s) return PD_E_NOTOPEN;
    if (s->NoPower()) return PD_E_NOPOWER;
    ports::OutputBlock block;
    if (length > 0) block.data.assign(data, length);
    block.owner = svc;
    block.errorTag = errorTag;
    block.completionTag = completionTag;
    block.priority = priority != 0;
    block.flowMode = flowMode;
    block.awaitReply = awaitReply == 1;
    s->queue.Push(std::move(block));
    return PD_OK;
}

LONG CLoopPort::ClearOutputBuffer(CSvcBase* svc, int purgeDevice) {
    if (!svc) return PD_E_PARAM;
    if (!gate_.IsOpen(svc)) return PD_E_NOTOPEN;
    std::shared_ptr<Session> s = Current();
    if (!s) return PD_E_NOTOPEN;
    s->queue.Clear(svc, purgeDevice != 0);
    return PD_OK;
}

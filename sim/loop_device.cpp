#include "sim/loop_device.h"

#include <map>
#include <mutex>

#include "include/portdrv.h"

namespace sim {

namespace {

// Forwards the printer's output to one connected host.
class HostSink : public Sink {
  public:
    explicit HostSink(loop::ILoopHost* host) : host_(host) {}
    void Send(const uint8_t* data, size_t length) override { host_->Input(data, length); }
    void PowerChanged(bool on) override { host_->Power(on ? PD_PS_ONLINE : PD_PS_OFF); }
    loop::ILoopHost* Host() const { return host_; }

  private:
    loop::ILoopHost* host_;
};

class LoopDevice : public loop::ILoopDevice {
  public:
    explicit LoopDevice(std::shared_ptr<Printer> printer) : printer_(std::move(printer)) {}
    ~LoopDevice() override {
        if (sink_) printer_->Detach(sink_.get());
    }

    bool Connect(loop::ILoopHost* host) override {
        if (!host) return false;
        std::lock_guard<std::mutex> g(lock_);
        if (sink_) return false;
        auto sink = std::make_unique<HostSink>(host);
        if (!printer_->Attach(sink.get())) return false;  // another front has the printer
        sink_ = std::move(sink);
        return true;
    }

    void Disconnect(loop::ILoopHost* host) override {
        std::unique_ptr<HostSink> sink;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!sink_ || sink_->Host() != host) return;
            sink = std::move(sink_);
        }
        // Waits (without our lock) until no call into the host runs any more.
        printer_->Detach(sink.get());
    }

    void Write(const BYTE* data, size_t length) override { printer_->Receive(data, length); }

    LONG PowerState() override { return printer_->Powered() ? PD_PS_ONLINE : PD_PS_OFF; }

  private:
    std::shared_ptr<Printer> printer_;
    std::mutex lock_;
    std::unique_ptr<HostSink> sink_;
};

struct Registry {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<Printer>> printers;
    std::map<std::string, std::shared_ptr<loop::ILoopDevice>> devices;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: drivers may outlive statics
    return *registry;
}

std::shared_ptr<Printer> PrinterLocked(Registry& r, const std::string& name) {
    auto& p = r.printers[name];
    if (!p) p = std::make_shared<Printer>();
    return p;
}

}  // namespace

std::shared_ptr<loop::ILoopDevice> MakeLoopDevice(std::shared_ptr<Printer> printer) {
    return std::make_shared<LoopDevice>(std::move(printer));
}

std::shared_ptr<Printer> LoopPrinter(const std::string& name) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    return PrinterLocked(r, name);
}

void InstallLoopDevices() {
    loop::SetDeviceFactory([](const std::string& name) -> std::shared_ptr<loop::ILoopDevice> {
        if (name.empty()) return nullptr;
        Registry& r = TheRegistry();
        std::lock_guard<std::mutex> g(r.lock);
        auto& device = r.devices[name];
        if (!device) device = MakeLoopDevice(PrinterLocked(r, name));
        return device;
    });
}

}  // namespace sim

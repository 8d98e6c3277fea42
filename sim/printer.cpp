#include "sim/printer.h"

#include <chrono>

#include "sim/hex.h"

namespace sim {

namespace {

// A sink call that does not end within this is taken as hung; Detach gives up on it.
constexpr auto kDetachWait = std::chrono::seconds(10);
constexpr size_t kTextLineMax = 256;
constexpr size_t kTraceBytesMax = 24;

std::string Shown(const std::string& bytes, size_t length) {
    std::string hex = ToHex(std::string_view(bytes).substr(0, kTraceBytesMax));
    if (length > kTraceBytesMax) hex += " ... (" + std::to_string(length) + " bytes)";
    return hex;
}

}  // namespace

Printer::Printer() = default;

Printer::~Printer() {
    if (log_) std::fclose(log_);
}

void Printer::Receive(const uint8_t* data, size_t length) {
    if (!data || length == 0) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!powered_) {
            dropped_ += length;
        } else {
            received_.append(reinterpret_cast<const char*>(data), length);
            if (received_.size() > kMaxReceivedKept) {
                received_.erase(0, received_.size() - kMaxReceivedKept);
            }
            if (log_) {
                std::fwrite(data, 1, length, log_);
                std::fflush(log_);
            }
            parser_.Feed(data, length, *this);
            SendFrameIfChanged();
        }
    }
    Deliver();
}

bool Printer::Attach(Sink* sink) {
    if (!sink) return false;
    std::lock_guard<std::mutex> g(lock_);
    if (sink_) return false;
    sink_ = sink;
    return true;
}

void Printer::Detach(Sink* sink) {
    std::unique_lock<std::mutex> lk(lock_);
    if (!sink || sink_ != sink) return;
    sink_ = nullptr;
    if (delivering_ && deliverer_ == std::this_thread::get_id()) return;
    if (!callDone_.wait_for(lk, kDetachWait, [this] { return !inCall_; })) {
        trace_.push_back("detach: a call into the sink did not end");
    }
}

bool Printer::Attached() const {
    std::lock_guard<std::mutex> g(lock_);
    return sink_ != nullptr;
}

bool Printer::Powered() const {
    std::lock_guard<std::mutex> g(lock_);
    return powered_;
}

PrinterState Printer::State() const {
    std::lock_guard<std::mutex> g(lock_);
    return state_;
}

bool Printer::AutoStatusEnabled() const {
    std::lock_guard<std::mutex> g(lock_);
    return autoStatus_;
}

std::string Printer::Received() const {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
}

void Printer::ClearReceived() {
    std::lock_guard<std::mutex> g(lock_);
    received_.clear();
}

std::vector<std::string> Printer::TraceLines() const {
    std::lock_guard<std::mutex> g(lock_);
    return {trace_.begin(), trace_.end()};
}

bool Printer::OpenLog(const std::string& path, std::string* error) {
    std::FILE* f = nullptr;
    if (!path.empty()) {
        f = std::fopen(path.c_str(), "ab");
        if (!f) {
            if (error) *error = "cannot open " + path;
            return false;
        }
    }
    std::lock_guard<std::mutex> g(lock_);
    if (log_) std::fclose(log_);
    log_ = f;
    return true;
}

// --- commands ---

void Printer::OnCommand(const Command& c) {
    if (!selected_ && !(c.info && c.info->realTime)) return;  // meant for another device
    FlushText();
    const auto byteAt = [&c](size_t i) { return static_cast<uint8_t>(c.bytes[i]); };
    switch (c.id()) {
        case Cmd::kUnknown:
            TraceLocked("unknown command " + ToHex(c.bytes));
            return;
        case Cmd::kInitialize:
            state_.slipMode = false;
            break;
        case Cmd::kSelectDevice:
            selected_ = (byteAt(2) & 0x01) != 0;
            break;
        case Cmd::kSelectStation:
            if (byteAt(2) == 0x30) state_.slipMode = (byteAt(3) & 0x0C) != 0;
            break;
        case Cmd::kAutoStatus:
            autoStatus_ = byteAt(2) != 0;
            TraceLocked(std::string(c.info->name) + " " + ToHex(c.bytes) +
                        (autoStatus_ ? ": on" : ": off"));
            if (autoStatus_) SendFrame();
            return;
        case Cmd::kTransmitId:
            TransmitId(byteAt(2));
            return;
        case Cmd::kRealTimeStatus:
            RealTimeStatusRequest(c);
            return;
        case Cmd::kRealTimeRequest:
        case Cmd::kRealTimeCommand:
        case Cmd::kOther:
            break;
    }
    TraceLocked(std::string(c.info->name) + " " + Shown(c.bytes, c.length));
}

void Printer::OnText(std::string_view text) {
    if (!selected_) return;
    text_.append(text);
    if (text_.size() >= kTextLineMax) FlushText();
}

void Printer::OnControl(uint8_t b) {
    if (!selected_) return;
    if (b == 0x0A || b == 0x0D || b == 0x0C) {
        FlushText();
    } else if (b != 0x00) {
        FlushText();
        TraceLocked("control " + ToHex(std::string(1, static_cast<char>(b))));
    }
}

void Printer::FlushText() {
    if (text_.empty()) return;
    TraceLocked("text \"" + text_ + "\"");
    text_.clear();
}

void Printer::RealTimeStatusRequest(const Command& c) {
    const int n = static_cast<uint8_t>(c.bytes[2]);
    uint8_t reply = 0;
    if (!RealTimeStatus(state_, n, &reply)) {
        TraceLocked("real-time status " + ToHex(c.bytes) + ": not answered");
        return;
    }
    TraceLocked("real-time status " + ToHex(c.bytes) + " -> " +
                ToHex(std::string(1, static_cast<char>(reply))));
    Emit(std::string(1, static_cast<char>(reply)));
}

void Printer::TransmitId(uint8_t n) {
    uint8_t id;
    switch (n) {
        case 0x02:
            id = typeId_;
            break;
        case 0x03:
            id = romVersion_;
            break;
        case 0x04:
            id = modeId_;
            break;
        default:
            TraceLocked("transmit printer ID " + ToHex(std::string(1, static_cast<char>(n))) +
                        ": not answered");
            return;
    }
    const std::string reply(1, static_cast<char>(id));
    TraceLocked("transmit printer ID " + ToHex(std::string(1, static_cast<char>(n))) + " -> " +
                ToHex(reply));
    Emit(reply);
}

// --- output ---

void Printer::Emit(std::string bytes) {
    if (!powered_ || muted_) return;
    outbox_.push_back(Out{Out::kData, std::move(bytes)});
}

void Printer::TraceLocked(std::string line) {
    trace_.push_back(line);
    if (trace_.size() > kMaxTraceKept) trace_.pop_front();
    if (sink_) outbox_.push_back(Out{Out::kTrace, std::move(line)});
}

void Printer::SendFrame() {
    lastFrame_ = AutoStatusFrame(state_);
    TraceLocked("automatic status " + ToHex(lastFrame_) + (muted_ ? " (muted)" : ""));
    Emit(lastFrame_);
}

void Printer::SendFrameIfChanged() {
    if (powered_ && autoStatus_ && AutoStatusFrame(state_) != lastFrame_) SendFrame();
}

void Printer::PowerOff() {
    if (!powered_) return;
    FlushText();
    if (notices_) Emit(std::string(";0\0", 3));
    TraceLocked("power off");
    powered_ = false;
    parser_.Reset();
    outbox_.push_back(Out{Out::kPower, {}, false});
}

void Printer::PowerOn() {
    if (powered_) return;
    powered_ = true;
    // A power cycle resets the printer: automatic status off, the printer selected,
    // the roll stations in use.
    autoStatus_ = false;
    selected_ = true;
    state_.slipMode = false;
    lastFrame_.clear();
    TraceLocked("power on");
    outbox_.push_back(Out{Out::kPower, {}, true});
    if (notices_) Emit(std::string(";1\0", 3));
}

void Printer::Deliver() {
    std::unique_lock<std::mutex> lk(lock_);
    if (delivering_) return;  // the delivering thread takes what was queued meanwhile
    delivering_ = true;
    deliverer_ = std::this_thread::get_id();
    while (!outbox_.empty()) {
        Out out = std::move(outbox_.front());
        outbox_.pop_front();
        Sink* sink = sink_;
        if (!sink) continue;
        inCall_ = true;
        lk.unlock();
        switch (out.kind) {
            case Out::kData:
                sink->Send(reinterpret_cast<const uint8_t*>(out.text.data()), out.text.size());
                break;
            case Out::kPower:
                sink->PowerChanged(out.on);
                break;
            case Out::kTrace:
                sink->Trace(out.text);
                break;
        }
        lk.lock();
        inCall_ = false;
        callDone_.notify_all();
    }
    delivering_ = false;
    deliverer_ = std::thread::id();
}

}  // namespace sim

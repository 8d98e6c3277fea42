#include "ports/loop/fake_loop_device.h"

bool FakeLoopDevice::Connect(loop::ILoopHost* host) {
    std::lock_guard<std::mutex> h(hostLock_);
    if (host_) return false;
    host_ = host;
    std::lock_guard<std::mutex> g(lock_);
    connected_ = true;
    ++connections_;
    return true;
}

void FakeLoopDevice::Disconnect(loop::ILoopHost* host) {
    {
        std::lock_guard<std::mutex> h(hostLock_);
        if (host_ != host) return;
        host_ = nullptr;
    }
    std::lock_guard<std::mutex> g(lock_);
    connected_ = false;
    cv_.notify_all();
}

void FakeLoopDevice::Write(const BYTE* data, size_t length) {
    std::string answer;
    {
        std::unique_lock<std::mutex> lk(lock_);
        writes_.push_back({std::string(reinterpret_cast<const char*>(data), length), injected_});
        if (stall_ && connected_) {
            stalled_ = true;
            cv_.wait(lk, [this] { return !stall_ || !connected_; });
            stalled_ = false;
        }
        answer = answer_;
    }
    if (!answer.empty()) Inject(answer);
}

LONG FakeLoopDevice::PowerState() {
    std::lock_guard<std::mutex> h(hostLock_);
    return power_;
}

std::vector<portconf::PeerDevice::WriteRecord> FakeLoopDevice::Writes() {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
}

int FakeLoopDevice::Connections() {
    std::lock_guard<std::mutex> g(lock_);
    return connections_;
}

bool FakeLoopDevice::Connected() {
    std::lock_guard<std::mutex> g(lock_);
    return connected_;
}

void FakeLoopDevice::Inject(const std::string& bytes) {
    std::lock_guard<std::mutex> h(hostLock_);
    {
        std::lock_guard<std::mutex> g(lock_);
        ++injected_;
    }
    if (host_) host_->Input(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

void FakeLoopDevice::SetPower(LONG rawState) {
    std::lock_guard<std::mutex> h(hostLock_);
    power_ = rawState;
    if (host_) host_->Power(rawState);
}

void FakeLoopDevice::StallWrites(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    stall_ = on;
    cv_.notify_all();
}

bool FakeLoopDevice::WriteStalled() {
    std::lock_guard<std::mutex> g(lock_);
    return stalled_;
}

void FakeLoopDevice::AnswerEachWrite(const std::string& answer) {
    std::lock_guard<std::mutex> g(lock_);
    answer_ = answer;
}

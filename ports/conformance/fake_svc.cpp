#include "ports/conformance/fake_svc.h"

#include <gtest/gtest.h>

namespace portconf {

namespace {
// Set by ClosedOnReturn for the callback running on this thread.
thread_local bool tlsClosedOnReturn = false;
}  // namespace

bool Eventually(const std::function<bool()>& ready, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

FakeSvc::FakeSvc(const std::string& devClass) {
    m_strDevClass = devClass;
}
FakeSvc::~FakeSvc() = default;

void FakeSvc::MarkClosed() {
    closed_ = true;
    if (running_ > 0) ADD_FAILURE() << "a callback still runs after PortClose returned";
}

template <class F>
void FakeSvc::Record(Kind kind, F&& store) {
    struct Running {
        std::atomic<int>& n;
        explicit Running(std::atomic<int>& c) : n(c) { ++n; }
        ~Running() { --n; }
    } running(running_);
    if (closed_) {
        ADD_FAILURE() << "callback " << static_cast<int>(kind) << " after PortClose returned";
        return;
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        store();
        threads_.insert(std::this_thread::get_id());
        ++calls_;
    }
    if (hook) {
        const bool outer = tlsClosedOnReturn;
        tlsClosedOnReturn = false;
        hook(*this, kind);
        if (tlsClosedOnReturn) {
            closed_ = true;
            if (running_ > 1) ADD_FAILURE() << "another callback runs after the close inside";
        }
        tlsClosedOnReturn = outer;
    }
}

void FakeSvc::ClosedOnReturn() {
    tlsClosedOnReturn = true;
}

void FakeSvc::DataUpdate(const BYTE* data, LONG length) {
    if (length < 0 || (length > 0 && !data)) {
        ADD_FAILURE() << "DataUpdate with length " << length;
        return;
    }
    Record(Kind::kData, [&] {
        data_.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        pieces_.push_back(length);
    });
}

void FakeSvc::OutputDataComplete(LONG completionTag) {
    Record(Kind::kComplete, [&] { completions_.push_back(completionTag); });
}

void FakeSvc::PortError(LONG errorTag) {
    Record(Kind::kError, [&] { errors_.push_back(errorTag); });
}

void FakeSvc::PowerReport(LONG state) {
    Record(Kind::kPower, [&] { powers_.push_back(state); });
}

std::string FakeSvc::Data() const {
    std::lock_guard<std::mutex> g(lock_);
    return data_;
}
std::vector<LONG> FakeSvc::Pieces() const {
    std::lock_guard<std::mutex> g(lock_);
    return pieces_;
}
std::vector<LONG> FakeSvc::Completions() const {
    std::lock_guard<std::mutex> g(lock_);
    return completions_;
}
std::vector<LONG> FakeSvc::Errors() const {
    std::lock_guard<std::mutex> g(lock_);
    return errors_;
}
std::vector<LONG> FakeSvc::Powers() const {
    std::lock_guard<std::mutex> g(lock_);
    return powers_;
}
std::set<std::thread::id> FakeSvc::Threads() const {
    std::lock_guard<std::mutex> g(lock_);
    return threads_;
}
size_t FakeSvc::Calls() const {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
}

}  // namespace portconf

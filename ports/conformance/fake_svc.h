// Helpers of driver tests: a service object that records every callback a port driver
// makes, with the thread it came on, and fails the test when a callback arrives after
// the test marked it closed (its PortClose returned); a bounded wait for a condition.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "posframe/svcbase.h"

namespace portconf {

// Waits (real time, generous bound) until `ready` holds; false when it never did.
bool Eventually(const std::function<bool()>& ready,
                std::chrono::milliseconds bound = std::chrono::seconds(20));

class FakeSvc : public CSvcBase {
public:
    enum class Kind { kData, kComplete, kError, kPower };

    // `devClass` plays the class OpenService would have given (m_strDevClass).
    explicit FakeSvc(const std::string& devClass = "POSPrinter");
    ~FakeSvc() override;

    static void Describe(plat::DispatchMap<FakeSvc>&) {}

    void DataUpdate(const BYTE* data, LONG length) override;
    void OutputDataComplete(LONG completionTag) override;
    void PortError(LONG errorTag) override;
    void PowerReport(LONG state) override;

    // Runs inside every callback after it was recorded (set it before registering).
    std::function<void(FakeSvc&, Kind)> hook;
    // From inside a hook: the service counts as closed once this callback returns.
    void ClosedOnReturn();
    // The service's PortClose returned: a callback still running, or any from now on,
    // fails the test.
    void MarkClosed();
    bool Closed() const { return closed_; }

    std::string Data() const;
    std::vector<LONG> Pieces() const;  // the length of each DataUpdate
    std::vector<LONG> Completions() const;
    std::vector<LONG> Errors() const;
    std::vector<LONG> Powers() const;
    std::set<std::thread::id> Threads() const;
    size_t Calls() const;  // callbacks of every kind

    KAVRO_DISPATCH_TABLE(FakeSvc)

private:
    template <class F>
    void Record(Kind kind, F&& store);

    mutable std::mutex lock_;
    std::string data_;
    std::vector<LONG> pieces_, completions_, errors_, powers_;
    std::set<std::thread::id> threads_;
    size_t calls_ = 0;
    std::atomic<bool> closed_{false};
    std::atomic<int> running_{0};  // callbacks inside Record now
};

using Svc = plat::ComPtr<FakeSvc>;

}  // namespace portconf

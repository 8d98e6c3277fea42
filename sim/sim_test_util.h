// Helpers of the simulator's tests: a sink that records what the printer sends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/hex.h"
#include "sim/printer.h"

namespace sim::test {

inline std::string Bytes(std::string_view hex) {
    std::string b, error;
    EXPECT_TRUE(ParseHex(hex, &b, &error)) << error << " in " << hex;
    return b;
}

// Polls `ready` until it holds (generous bound); false when it never did.
template <class F>
bool Eventually(F ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class RecordingSink : public Sink {
  public:
    void Send(const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> g(lock_);
        sends_.emplace_back(reinterpret_cast<const char*>(data), length);
        cv_.notify_all();
    }
    void PowerChanged(bool on) override {
        std::lock_guard<std::mutex> g(lock_);
        powers_.push_back(on);
        cv_.notify_all();
    }
    std::vector<std::string> Sends() const {
        std::lock_guard<std::mutex> g(lock_);
        return sends_;
    }
    std::string Data() const {
        std::lock_guard<std::mutex> g(lock_);
        std::string all;
        for (const auto& s : sends_) all += s;
        return all;
    }
    std::string Hex() const { return ToHex(Data()); }
    std::vector<bool> Powers() const {
        std::lock_guard<std::mutex> g(lock_);
        return powers_;
    }
    void Clear() {
        std::lock_guard<std::mutex> g(lock_);
        sends_.clear();
        powers_.clear();
    }
    // Waits (generous bound) until at least `count` sends arrived.
    bool WaitSends(size_t count) {
        std::unique_lock<std::mutex> lk(lock_);
        return cv_.wait_for(lk, std::chrono::seconds(20), [&] { return sends_.size() >= count; });
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable cv_;
    std::vector<std::string> sends_;
    std::vector<bool> powers_;
};

}  // namespace sim::test

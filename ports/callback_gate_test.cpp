// The callback gate: Remove waits for running callbacks and none starts after it, except
// that a Remove from inside a callback to the same service object does not wait for
// itself.
#include "ports/callback_gate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "include/portdrv.h"
#include "ports/conformance/fake_svc.h"

namespace {

using portconf::Eventually;
using portconf::FakeSvc;
using portconf::Svc;
using ports::CallbackGate;

// A latch a callback blocks on until the test opens it.
struct Latch {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::atomic<bool> waiting{false};
    void Wait() {
        std::unique_lock<std::mutex> lk(m);
        waiting = true;
        cv.wait(lk, [this] { return open; });
    }
    void Open() {
        std::lock_guard<std::mutex> g(m);
        open = true;
        cv.notify_all();
    }
};

class Gate : public ::testing::Test {
protected:
    Svc svc = Svc::Adopt(new FakeSvc);
    CallbackGate gate;
};

TEST_F(Gate, RemoveWaitsForARunningCallbackAndNoneStartsAfterIt) {
    ASSERT_TRUE(gate.Add(svc.get(), 31));
    EXPECT_FALSE(gate.Add(svc.get(), 31)) << "already open";
    Latch latch;
    std::atomic<bool> callbackEnded{false};
    std::thread cb([&] {
        EXPECT_TRUE(gate.Call(svc.get(), [&](CSvcBase*, LONG readSize) {
            EXPECT_EQ(readSize, 31);
            latch.Wait();
            callbackEnded = true;
        }));
    });
    ASSERT_TRUE(Eventually([&] { return latch.waiting.load(); }));
    auto removed = std::async(std::launch::async, [&] {
        LONG rc = gate.Remove(svc.get());
        EXPECT_TRUE(callbackEnded) << "Remove returned while the callback ran";
        return rc;
    });
    // Closed at once: no new callback starts while Remove waits.
    ASSERT_TRUE(Eventually([&] { return !gate.IsOpen(svc.get()); }));
    EXPECT_FALSE(gate.Call(svc.get(), [](CSvcBase*, LONG) { ADD_FAILURE(); }));
    latch.Open();
    EXPECT_EQ(removed.get(), PD_OK);
    cb.join();
    EXPECT_TRUE(gate.Empty());
    EXPECT_EQ(gate.Remove(svc.get()), PD_E_NOTOPEN);
}

TEST_F(Gate, RemoveFromInsideItsOwnCallbackDoesNotWaitForItself) {
    ASSERT_TRUE(gate.Add(svc.get(), 1));
    auto ref = gate.Snapshot().at(0);
    bool ran = gate.Call(ref, [&](CSvcBase* s, LONG) {
        EXPECT_EQ(gate.Remove(s), PD_OK);
        EXPECT_EQ(gate.Remove(s), PD_E_NOTOPEN) << "already closed";
        EXPECT_FALSE(gate.Call(ref, [](CSvcBase*, LONG) { ADD_FAILURE(); }));
        EXPECT_FALSE(gate.Empty()) << "the registration goes when the callback ends";
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(gate.Empty());
}

TEST_F(Gate, TwoCallbacksClosingTheSameServiceDoNotDeadlock) {
    ASSERT_TRUE(gate.Add(svc.get(), 1));
    std::atomic<int> inside{0};
    std::vector<LONG> results(2);
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            gate.Call(svc.get(), [&](CSvcBase* s, LONG) {
                ++inside;
                ASSERT_TRUE(Eventually([&] { return inside == 2; }));
                results[i] = gate.Remove(s);
            });
        });
    }
    for (auto& t : threads) t.join();
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, (std::vector<LONG>{PD_OK, PD_E_NOTOPEN}));
    EXPECT_TRUE(gate.Empty());
}

TEST_F(Gate, AStuckCallbackMakesRemoveBusyUntilItEnds) {
    CallbackGate shortGate(50);
    ASSERT_TRUE(shortGate.Add(svc.get(), 1));
    Latch latch;
    std::thread cb([&] { shortGate.Call(svc.get(), [&](CSvcBase*, LONG) { latch.Wait(); }); });
    ASSERT_TRUE(Eventually([&] { return latch.waiting.load(); }));
    EXPECT_EQ(shortGate.Remove(svc.get()), PD_E_BUSY);
    EXPECT_FALSE(shortGate.IsOpen(svc.get())) << "stays closed after the time-out";
    EXPECT_FALSE(shortGate.WaitIdle());
    latch.Open();
    cb.join();
    EXPECT_EQ(shortGate.Remove(svc.get()), PD_E_NOTOPEN) << "gone once the callback ended";
    EXPECT_TRUE(shortGate.Empty());
}

TEST_F(Gate, AddWithdrawsAPendingClose) {
    CallbackGate shortGate(50);
    ASSERT_TRUE(shortGate.Add(svc.get(), 1));
    Latch latch;
    std::thread cb([&] { shortGate.Call(svc.get(), [&](CSvcBase*, LONG) { latch.Wait(); }); });
    ASSERT_TRUE(Eventually([&] { return latch.waiting.load(); }));
    EXPECT_EQ(shortGate.Remove(svc.get()), PD_E_BUSY);
    EXPECT_TRUE(shortGate.Add(svc.get(), 7));
    EXPECT_EQ(CallbackGate::ReadSizeOf(shortGate.Snapshot().at(0)), 7);
    latch.Open();
    cb.join();
    EXPECT_EQ(shortGate.OpenCount(), 1u);
    EXPECT_EQ(shortGate.Remove(svc.get()), PD_OK);
}

TEST_F(Gate, WaitIdleIgnoresTheCallingThreadsOwnCallback) {
    Svc second = Svc::Adopt(new FakeSvc);
    ASSERT_TRUE(gate.Add(svc.get(), 1));
    ASSERT_TRUE(gate.Add(second.get(), 1));
    EXPECT_EQ(gate.OpenCount(), 2u);
    gate.Call(svc.get(), [&](CSvcBase*, LONG) {
        gate.Call(second.get(), [&](CSvcBase*, LONG) { EXPECT_TRUE(gate.WaitIdle()); });
    });
}

}  // namespace

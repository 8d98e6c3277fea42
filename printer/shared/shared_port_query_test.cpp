// The real-time status requests: the bytes sent, the decoding of the replies, and the
// time-outs on a manual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "include/opos.h"
#include "include/opos_ptr.h"
#include "platform/clock/clock.h"
#include "printer/shared/fake_status_driver.h"
#include "printer/shared/shared_port.h"

namespace {

using Mode = FakeStatusDriver::Mode;
constexpr auto kGenerous = std::chrono::seconds(20);

class QueryFixture : public ::testing::Test {
  protected:
    QueryFixture() : scoped_(clock_) {
        auto driver = std::make_unique<FakeStatusDriver>();
        fake_ = driver.get();
        port_ = std::make_unique<SharedPort>(std::move(driver));
        fake_->Attach(port_.get());
    }
    void Layout(bool jrn, bool rec, bool slp, bool fullslip) {
        port_->SetStationCaps(TRUE, jrn, rec, slp, FALSE, fullslip);
        port_->SetPrinterClaimed();
    }
    template <class F>
    static auto Async(F f) {
        return std::async(std::launch::async, f);
    }
    template <class T>
    static T Get(std::future<T>& f) {
        EXPECT_EQ(f.wait_for(kGenerous), std::future_status::ready);
        return f.get();
    }

    plat::ManualClock clock_;
    plat::ScopedClock scoped_;
    FakeStatusDriver* fake_;
    std::unique_ptr<SharedPort> port_;
};

TEST_F(QueryFixture, FullStatusSendsTheRequestsTheLayoutNeeds) {
    struct Row {
        bool jrn, rec, slp, fullslip, micr;
        const char* sequence;
    } rows[] = {
        {true, true, false, false, false, "124"},  {false, true, false, false, false, "124"},
        {true, false, true, true, false, "1245"},  {false, true, true, false, false, "1246"},
        {false, false, true, true, false, "125"},  {false, false, true, false, true, "126"},
        {false, false, false, false, false, "12"},
    };
    for (const Row& r : rows) {
        auto driver = std::make_unique<FakeStatusDriver>();
        FakeStatusDriver* fake = driver.get();
        SharedPort port(std::move(driver));
        fake->Attach(&port);
        port.SetMicrMode(r.micr);
        port.SetStationCaps(TRUE, r.jrn, r.rec, r.slp, FALSE, r.fullslip);
        ASSERT_EQ(port.QueryFullStatus(), 0);
        EXPECT_EQ(fake->Sequence(), r.sequence);
        for (const auto& b : fake->Blocks()) {
            const std::string prefix = r.micr ? "" : "\x1B\x3D\x01";
            EXPECT_EQ(b.bytes, prefix + "\x10\x04" + b.bytes.back());
            EXPECT_EQ(b.errorTag, -1);
            EXPECT_EQ(b.svc, nullptr);
            EXPECT_EQ(b.priority, 1);
            EXPECT_EQ(b.flowMode, 0);
            EXPECT_EQ(b.completionTag, -1);
            EXPECT_EQ(b.awaitReply, 1);
        }
        EXPECT_TRUE(port.Status().statusValid);
    }
}

TEST_F(QueryFixture, RepliesAreDecoded) {
    Layout(true, true, true, false);
    fake_->SetAnswer(1, {Mode::Inline, 0x12 | 0x08});         // offline
    fake_->SetAnswer(2, {Mode::Inline, 0x12 | 0x04 | 0x08});  // cover open, feeding
    fake_->SetAnswer(4, {Mode::Inline, 0x12 | 0x04 | 0x40});  // journal near end, receipt empty
    fake_->SetAnswer(6, {Mode::Inline, 0x12 | 0x40});         // active low: mode, form, sensor 5
    fake_->SetAnswer(3, {Mode::Inline, 0x12 | 0x04 | 0x20});  // mechanical, unrecoverable
    ASSERT_EQ(port_->QueryFullStatus(), 0);
    ASSERT_EQ(port_->QueryErrorStatus(), 0);
    const SharedPortStatus s = port_->Status();
    EXPECT_FALSE(s.online);
    EXPECT_TRUE(s.coverOpen && s.feeding);
    EXPECT_TRUE(s.journalNearEnd && s.receiptEmpty);
    EXPECT_FALSE(s.receiptNearEnd || s.journalEmpty);
    EXPECT_TRUE(s.slipMode && s.slipFormPresent && s.slipSensor5);
    EXPECT_FALSE(s.slipSensor6);
    EXPECT_TRUE(s.mechanicalError && s.unrecoverableError);
    EXPECT_FALSE(s.cutterError || s.recoverableError);
}

// Slip reply r, active-low: r' = ~r; mode = r' bit 2; sensors 5, 6 = r' bits 5, 6; form =
// r' bit 5 on a slip-only printer, else r' bit 3 while in slip mode.
TEST_F(QueryFixture, SlipReplyDecoding) {
    struct Row {
        bool rolls;
        BYTE reply;
        bool mode, form, sensor5, sensor6;
    } rows[] = {
        {true, 0x7E, false, false, false, false},  // every bit high: nothing
        {true, 0x7A, true, false, false, false},   // bit 2 low: slip mode, no form
        {true, 0x72, true, true, false, false},    // bits 2, 3 low: form
        {true, 0x76, false, false, false, false},  // bit 3 low without slip mode: no form
        {true, 0x12, true, true, true, true},
        {false, 0x5E, false, true, true, false},  // slip only: form from bit 5
        {false, 0x3A, true, false, false, true},
    };
    for (const Row& r : rows) {
        Layout(r.rolls, false, true, true);
        fake_->SetAnswer(5, {Mode::Inline, r.reply});
        ASSERT_EQ(port_->QueryFullStatus(), 0);
        const SharedPortStatus s = port_->Status();
        EXPECT_EQ(s.slipMode, r.mode) << std::hex << int(r.reply);
        EXPECT_EQ(s.slipFormPresent, r.form) << std::hex << int(r.reply);
        EXPECT_EQ(s.slipSensor5, r.sensor5) << std::hex << int(r.reply);
        EXPECT_EQ(s.slipSensor6, r.sensor6) << std::hex << int(r.reply);
    }
}

// Each step of the full status waits 5000 ms for its reply; a time-out at step k keeps
// what the steps before it stored.
TEST_F(QueryFixture, FullStatusTimeOutAtEachStep) {
    const BYTE steps[] = {1, 2, 4, 5};
    for (size_t k = 0; k < 4; ++k) {
        for (DWORD waited : {SharedPort::kFullStatusWaitMs - 1, SharedPort::kFullStatusWaitMs}) {
            auto driver = std::make_unique<FakeStatusDriver>();
            FakeStatusDriver* fake = driver.get();
            SharedPort port(std::move(driver));
            fake->Attach(&port);
            port.SetStationCaps(TRUE, TRUE, TRUE, TRUE, FALSE, TRUE);
            fake->SetAnswer(1, {Mode::Inline, 0x12 | 0x08});  // offline
            fake->SetAnswer(steps[k], {Mode::Never, 0});
            auto result = Async([&] { return port.QueryFullStatus(); });
            ASSERT_TRUE(fake->WaitBlocks(k + 1));
            clock_.Advance(waited);
            if (waited < SharedPort::kFullStatusWaitMs) port.PostStatusReply(0x12 | 0x08);
            const int rc = Get(result);
            const bool timedOut = waited == SharedPort::kFullStatusWaitMs;
            EXPECT_EQ(rc, timedOut ? -1 : 0) << "step " << k << " waited " << waited;
            if (timedOut) {
                EXPECT_EQ(fake->Blocks().size(), k + 1);
            }
            EXPECT_EQ(port.Status().statusValid, !timedOut);
            // Step 1 answers "offline"; only a time-out of step 1 itself leaves the reset value.
            EXPECT_EQ(port.Status().online, k == 0 && timedOut) << "step " << k;
            clock_.Advance(SharedPort::kLateReplyMs + 1);
        }
    }
}

TEST_F(QueryFixture, ErrorStatusWaitsFourSeconds) {
    for (DWORD waited : {SharedPort::kErrorStatusWaitMs - 1, SharedPort::kErrorStatusWaitMs}) {
        Layout(true, true, false, false);
        fake_->SetAnswer(3, {Mode::Never, 0});
        const size_t before = fake_->Blocks().size();
        LONG ext = -1;
        auto result = Async([&] { return port_->CheckPrinterErrors(&ext); });
        ASSERT_TRUE(fake_->WaitBlocks(before + 1));
        clock_.Advance(waited);
        const bool timedOut = waited == SharedPort::kErrorStatusWaitMs;
        if (!timedOut) port_->PostStatusReply(0x12 | 0x08);  // cutter error
        EXPECT_EQ(Get(result), timedOut ? OPOS_E_ILLEGAL : OPOS_E_FAILURE);
        EXPECT_EQ(ext, timedOut ? 10007 : 100004);
        clock_.Advance(SharedPort::kLateReplyMs + 1);
    }
}

TEST_F(QueryFixture, RefusedBlockFailsAtOnce) {
    Layout(true, true, false, false);
    fake_->SetAnswer(1, {Mode::Inline, 0x12 | 0x08});
    fake_->SetAnswer(2, {Mode::Refuse, 0});
    LONG ext = -1;
    EXPECT_EQ(port_->CheckStation(&ext, PTR_S_RECEIPT), OPOS_E_ILLEGAL);
    EXPECT_EQ(ext, 10007);
    EXPECT_EQ(fake_->Sequence(), "12");
    EXPECT_FALSE(port_->Status().online);  // step 1 stored
    fake_->SetAnswer(3, {Mode::Refuse, 0});
    EXPECT_EQ(port_->CheckPrinterErrors(&ext), OPOS_E_ILLEGAL);
    EXPECT_EQ(ext, 10007);
}

// A reply that comes after its request gave up must not answer the next request.
TEST_F(QueryFixture, LateReplyDoesNotAnswerTheNextRequest) {
    Layout(false, false, false, false);
    fake_->SetAnswer(1, {Mode::Never, 0});
    auto first = Async([&] { return port_->QueryFullStatus(); });
    ASSERT_TRUE(fake_->WaitBlocks(1));
    clock_.Advance(SharedPort::kFullStatusWaitMs);
    EXPECT_EQ(Get(first), -1);

    // The next request goes out; the printer's late answer to the first (offline) comes
    // before the real one (online).
    auto second = Async([&] { return port_->QueryFullStatus(); });
    ASSERT_TRUE(fake_->WaitBlocks(2));
    port_->PostStatusReply(0x12 | 0x08);
    port_->PostStatusReply(0x12);
    EXPECT_EQ(Get(second), 0);
    EXPECT_TRUE(port_->Status().online);

    // Once the late-reply window has passed, the first reply is the answer again.
    fake_->SetAnswer(1, {Mode::Never, 0});
    auto third = Async([&] { return port_->QueryFullStatus(); });
    ASSERT_TRUE(fake_->WaitBlocks(4));
    clock_.Advance(SharedPort::kFullStatusWaitMs);
    EXPECT_EQ(Get(third), -1);
    clock_.Advance(SharedPort::kLateReplyMs + 1);
    auto fourth = Async([&] { return port_->QueryFullStatus(); });
    ASSERT_TRUE(fake_->WaitBlocks(5));
    port_->PostStatusReply(0x12 | 0x08);
    EXPECT_EQ(Get(fourth), 0);
    EXPECT_FALSE(port_->Status().online);
}

TEST_F(QueryFixture, StatusBackStopsTheRequests) {
    Layout(true, true, false, false);
    LONG ext = -1;
    EXPECT_EQ(port_->CheckStation(&ext, PTR_S_RECEIPT), 0);
    EXPECT_EQ(fake_->Sequence(), "124");
    port_->SignalStatusBack();
    EXPECT_EQ(port_->CheckPrinterErrors(&ext), 0);
    EXPECT_EQ(port_->CheckStation(&ext, PTR_S_RECEIPT), 0);
    EXPECT_EQ(fake_->Sequence(), "124");
}

// Four threads run both checks while the printer answers after 5 ms: one request is
// outstanding at a time and every thread sees the right values.
TEST(SharedPortConcurrency, ChecksFromFourThreads) {
    auto driver = std::make_unique<FakeStatusDriver>();
    FakeStatusDriver* fake = driver.get();
    SharedPort port(std::move(driver));
    fake->Attach(&port);
    port.SetStationCaps(TRUE, FALSE, TRUE, FALSE, FALSE, FALSE);
    port.SetPrinterClaimed();
    fake->SetDelay(std::chrono::milliseconds(5));
    for (BYTE n : {1, 2, 3}) fake->SetAnswer(n, {Mode::Delayed, 0x12});
    fake->SetAnswer(4, {Mode::Delayed, 0x12 | 0x40});  // receipt empty

    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 4; ++i) {
                LONG ext = -1;
                if (port.CheckPrinterErrors(&ext) != 0 || ext != 0) ++wrong;
                if (port.CheckStation(&ext, PTR_S_RECEIPT) != OPOS_E_EXTENDED || ext != 203)
                    ++wrong;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_FALSE(fake->Overlapped());
    EXPECT_EQ(fake->Blocks().size(), 4u * 4u * 4u);
}

}  // namespace

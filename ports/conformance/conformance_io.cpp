// Input, power reports, awaitReply and calls into the driver from inside callbacks.
#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/clock/clock.h"
#include "ports/conformance/conformance.h"

namespace portconf {

namespace {

std::string Pattern(size_t n, int seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 7 + seed) & 0xff));
    return s;
}

}  // namespace

TEST_P(PortConformance, InputReachesEveryRegistrationInPiecesOfItsReadSize) {
    const LONG sizes[] = {31, 5, 1};
    std::vector<Svc> svcs;
    for (LONG size : sizes) svcs.push_back(Opened(size));
    const std::string input = Pattern(100, 0) + std::string("\0\0", 2) + Pattern(37, 3);
    Peer().Inject(input.substr(0, 100));
    Peer().Inject(input.substr(100));
    for (size_t i = 0; i < svcs.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        ASSERT_TRUE(Eventually([&] { return svcs[i]->Data().size() >= input.size(); }));
        EXPECT_EQ(svcs[i]->Data(), input);
        auto pieces = svcs[i]->Pieces();
        EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), sizes[i]);
        EXPECT_GT(*std::min_element(pieces.begin(), pieces.end()), 0);
    }
}

TEST_P(PortConformance, PowerChangesReachEveryRegistration) {
    Svc a = Opened(), b = Opened();
    std::vector<LONG> expected;
    for (LONG state : {PD_PS_OFF, PD_PS_ONLINE, PD_PS_OFFLINE}) {
        Peer().SetPower(state);
        expected.push_back(state);
        for (const Svc& s : {a, b}) {
            ASSERT_TRUE(Eventually([&] { return s->Powers().size() >= expected.size(); }));
            EXPECT_EQ(s->Powers(), expected);
        }
    }
}

TEST_P(PortConformance, OutputIsRefusedOnceTheDeviceHasBeenOffTooLong) {
    const DWORD bound = adapter_->NoPowerAfterMs();
    if (bound == 0) GTEST_SKIP() << "the driver has no power rule for output";
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    Svc a = Opened();
    Peer().SetPower(PD_PS_OFF);
    ASSERT_TRUE(Eventually([&] { return !a->Powers().empty(); }));
    EXPECT_EQ(Write(a.get(), "1", 1), PD_OK) << "off, but not for long";
    clock.Advance(bound + 1);
    EXPECT_EQ(Write(a.get(), "2", 2), PD_E_NOPOWER);
    EXPECT_EQ(driver_->PortOutputData("3", 1, -1, nullptr, 0, 0, -1, 0), PD_E_NOPOWER);
    Peer().SetPower(PD_PS_ONLINE);
    ASSERT_TRUE(Eventually([&] { return a->Powers().size() >= 2; }));
    EXPECT_EQ(Write(a.get(), "4", 4), PD_OK);
    ASSERT_TRUE(Eventually([&] { return a->Completions().size() >= 2; }));
    EXPECT_EQ(a->Completions(), (std::vector<LONG>{1, 4}));
}

TEST_P(PortConformance, AwaitReplyHoldsTheNextBlockUntilInputOrTheWaitEnds) {
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    Svc a = Opened();
    // The Inject count the peer had seen when the write starting with `first` came.
    auto injectedBefore = [&](char first) -> int {
        for (const auto& w : Peer().Writes()) {
            if (!w.bytes.empty() && w.bytes[0] == first) return w.injected;
        }
        return -1;
    };
    ASSERT_EQ(Write(a.get(), "Q", 1, 0, 1), PD_OK);
    ASSERT_EQ(Write(a.get(), "R", 2), PD_OK);
    ASSERT_TRUE(Eventually([&] { return injectedBefore('Q') >= 0; }));
    Peer().Inject("reply");
    ASSERT_TRUE(Eventually([&] { return injectedBefore('R') >= 0; }));
    EXPECT_EQ(injectedBefore('R'), 1) << "the next block went out before the reply";

    // No reply: the wait ends once its bound has passed on the platform clock.
    ASSERT_EQ(Write(a.get(), "S", 3, 0, 1), PD_OK);
    ASSERT_EQ(Write(a.get(), "T", 4), PD_OK);
    ASSERT_TRUE(Eventually([&] { return injectedBefore('S') >= 0; }));
    ASSERT_TRUE(Eventually([&] {
        clock.Advance(50);
        return injectedBefore('T') >= 0;
    }));
    ASSERT_TRUE(Eventually([&] { return a->Completions().size() >= 4; }));
    EXPECT_EQ(a->Completions(), (std::vector<LONG>{1, 2, 3, 4}));
}

TEST_P(PortConformance, CallbacksMayCallTheDriverAgain) {
    // `echo` answers its first input with a block and every completion below 5 with the
    // next (priority) block;
    // `quitter` closes itself from inside its first DataUpdate.
    Svc echo = NewSvc(), quitter = NewSvc();
    // Hooks run until TearDown closes the service objects: they capture nothing of this
    // function's frame.
    auto echoed = std::make_shared<std::atomic<bool>>(false);
    echo->hook = [this, echoed](FakeSvc& self, FakeSvc::Kind kind) {
        if (kind == FakeSvc::Kind::kData && !echoed->exchange(true)) {
            EXPECT_EQ(driver_->PortOutputData("d", 1, 1, &self, 0, 1, 1, 0), PD_OK);
        } else if (kind == FakeSvc::Kind::kComplete) {
            const LONG last = self.Completions().back();
            if (last < 5) {
                const std::string next(1, static_cast<char>('0' + last + 1));
                EXPECT_EQ(driver_->PortOutputData(next, 1, &self, 1, 1, last + 1, 0), PD_OK);
            }
        }
    };
    quitter->hook = [this](FakeSvc& self, FakeSvc::Kind kind) {
        if (kind != FakeSvc::Kind::kData) return;
        EXPECT_EQ(driver_->PortClose(&self), PD_OK);
        EXPECT_EQ(driver_->PortClose(&self), PD_E_NOTOPEN) << "a second close from inside";
        EXPECT_EQ(driver_->PortOutputData("x", 1, 1, &self, 0, 1, 9, 0), PD_E_NOTOPEN);
        self.ClosedOnReturn();
    };
    ASSERT_EQ(Open(echo.get()), PD_OK);
    ASSERT_EQ(Open(quitter.get(), 1), PD_OK);
    Peer().Inject("in");
    ASSERT_TRUE(Eventually([&] { return echo->Completions().size() >= 5; }));
    EXPECT_EQ(echo->Completions(), (std::vector<LONG>{1, 2, 3, 4, 5}));
    EXPECT_EQ(AllWritten(Peer()), "d2345");
    EXPECT_TRUE(quitter->Closed());
    EXPECT_EQ(quitter->Data(), "i") << "no piece after the close from inside";
    EXPECT_EQ(driver_->PortClose(quitter.get()), PD_E_NOTOPEN);
    Peer().Inject("more");
    ASSERT_TRUE(Eventually([&] { return echo->Data() == "inmore"; }));
}

}  // namespace portconf

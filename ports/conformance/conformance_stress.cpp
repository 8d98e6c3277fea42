// Many threads open, write, clear and close while the device sends input and changes
// its state: no callback reaches a service object after its PortClose returned (the
// fake service fails the test on a late one), the port opens and closes cleanly.
#include <atomic>
#include <mutex>
#include <thread>

#include "ports/conformance/conformance.h"

namespace portconf {

namespace {

constexpr int kWorkers = 4;
constexpr int kRounds = 25;

enum class Role { kPlain, kClearing, kSelfClosing, kEchoing };

}  // namespace

// One round of one worker: a fresh service object, some output, the close.
void PortStress::Round(int roleNumber, int round, std::vector<Svc>* keep) {
    const Role role = static_cast<Role>(roleNumber % 4);
    Svc s = Svc::Adopt(new FakeSvc(adapter_->DeviceClass()));
    keep->push_back(s);
    if (role == Role::kSelfClosing) {
        s->hook = [this](FakeSvc& self, FakeSvc::Kind kind) {
            if (kind != FakeSvc::Kind::kData) return;
            const LONG rc = driver_->PortClose(&self);
            EXPECT_TRUE(rc == PD_OK || rc == PD_E_NOTOPEN) << rc;
            self.ClosedOnReturn();
        };
    } else if (role == Role::kPlain) {
        // Callbacks that take a while: a close that does not wait for them shows.
        s->hook = [](FakeSvc&, FakeSvc::Kind) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        };
    } else if (role == Role::kEchoing) {
        s->hook = [this](FakeSvc& self, FakeSvc::Kind kind) {
            if (kind == FakeSvc::Kind::kComplete && self.Completions().size() < 4) {
                driver_->PortOutputData("e", 1, 1, &self, 1, 1, 0, 0);
            }
        };
    }
    ASSERT_EQ(Open(s.get(), 1 + round % 31), PD_OK);
    switch (role) {
        case Role::kPlain:
            for (LONG tag = 1; tag <= 3; ++tag) ASSERT_EQ(Write(s.get(), "p", tag), PD_OK);
            ASSERT_TRUE(Eventually([&] { return s->Completions().size() >= 3; }));
            EXPECT_EQ(s->Completions(), (std::vector<LONG>{1, 2, 3}));
            break;
        case Role::kClearing:
            for (int i = 0; i < 5; ++i) ASSERT_EQ(Write(s.get(), "cc", i, i % 2), PD_OK);
            ASSERT_EQ(driver_->PortOutputData(nullptr, 0, 1, s.get(), 0, 1, 9, 0), PD_OK);
            EXPECT_EQ(driver_->ClearOutputBuffer(s.get(), round % 2), PD_OK);
            break;
        case Role::kSelfClosing: {
            const LONG rc = Write(s.get(), "s", 1);
            EXPECT_TRUE(rc == PD_OK || rc == PD_E_NOTOPEN) << rc;
            break;
        }
        case Role::kEchoing:
            ASSERT_EQ(Write(s.get(), "e", 0), PD_OK);
            break;
    }
    const LONG rc = Close(s.get());
    EXPECT_TRUE(rc == PD_OK || (role == Role::kSelfClosing && rc == PD_E_NOTOPEN)) << rc;
}

void PortStress::Run(bool anchored) {
    Svc anchor;
    if (anchored) anchor = Opened();
    std::atomic<bool> done{false};
    std::string injected;
    std::thread injector([&] {
        for (int i = 0; !done; ++i) {
            const std::string piece = "<" + std::to_string(i) + ">";
            Peer().Inject(piece);
            injected += piece;
            if (i % 8 == 0) Peer().SetPower(i % 16 == 0 ? PD_PS_OFFLINE : PD_PS_ONLINE);
            std::this_thread::sleep_for(std::chrono::microseconds(200));  // pacing only
        }
    });
    std::vector<std::vector<Svc>> kept(kWorkers);
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int r = 0; r < kRounds && !HasFatalFailure(); ++r) {
                Round(w + r, r, &kept[w]);
            }
        });
    }
    for (auto& t : workers) t.join();
    done = true;
    injector.join();
    for (auto& k : kept) svcs_.insert(svcs_.end(), k.begin(), k.end());
    if (anchored) {
        ASSERT_TRUE(Eventually([&] { return anchor->Data().size() >= injected.size(); }));
        EXPECT_EQ(anchor->Data(), injected) << "the registration that stayed lost input";
        EXPECT_TRUE(Peer().Connected());
        EXPECT_EQ(Peer().Connections(), 1);
    } else {
        EXPECT_TRUE(Eventually([&] { return !Peer().Connected(); }));
    }
    for (const Svc& s : svcs_) {
        if (s.get() != anchor.get()) {
            EXPECT_TRUE(s->Closed());
        }
    }
}

TEST_P(PortStress, WithARegistrationThatStaysOpen) {
    Run(true);
}
TEST_P(PortStress, WithThePortOpeningAndClosingAgain) {
    Run(false);
}

}  // namespace portconf

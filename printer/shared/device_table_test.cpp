// The cross-process device table, with real processes: children are forked before any
// thread exists and talk to the test over pipes.
#include "printer/shared/device_table.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kGenerousMs = 20000;

// A forked child that runs its steps one at a time: each step's result byte goes to the
// test, and the child waits for "go" before the next step (and, after the last, before
// it exits), so it stays alive while the test looks.
class Child {
  public:
    explicit Child(std::vector<std::function<char()>> steps) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            for (auto& step : steps) {
                char r = step();
                char go;
                if (write(up[1], &r, 1) != 1 || read(down[0], &go, 1) != 1) _exit(1);
            }
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        fromChild_ = up[0];
        toChild_ = down[1];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) Kill();
        close(fromChild_);
        close(toChild_);
    }
    pid_t pid() const { return pid_; }
    // The result of the current step ('\0' when the child did not answer in time).
    char Result() {
        pollfd p{fromChild_, POLLIN, 0};
        char r = 0;
        if (poll(&p, 1, kGenerousMs) == 1 && read(fromChild_, &r, 1) == 1) return r;
        return 0;
    }
    void Go() {
        char go = 'g';
        EXPECT_EQ(write(toChild_, &go, 1), 1);
    }
    // Lets the child finish its last step and exit; its exit code.
    int Finish() {
        Go();
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);  // reaped: its pid no longer looks alive
        reaped_ = true;
    }

  private:
    pid_t pid_ = -1;
    int fromChild_ = -1, toChild_ = -1;
    bool reaped_ = false;
};

class DeviceTableTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("KAVRO_IPC_PREFIX", ("kavrotest-devtab-" + std::to_string(getpid())).c_str(), 1);
    }
    void SetUp() override {
        std::string error;
        // One section per test, so that no test sees another's claims.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        table_ = SharedDeviceTable::Attach(std::string("DEVTEST.") + info->name(), &error);
        ASSERT_NE(table_, nullptr) << error;
    }
    std::unique_ptr<SharedDeviceTable> table_;
};

TEST_F(DeviceTableTest, ClaimHeldByAnotherProcess) {
    SharedDeviceTable& t = *table_;
    Child child({[&] { return t.TryClaim(ClaimKind::Printer, 3) ? 'y' : 'n'; },
                 [&] { return t.Release(ClaimKind::Printer, 3) ? 'y' : 'n'; }});
    ASSERT_EQ(child.Result(), 'y');

    EXPECT_FALSE(t.TryClaim(ClaimKind::Printer, 3));
    EXPECT_EQ(t.ClaimOwner(ClaimKind::Printer, 3), static_cast<DWORD>(child.pid()));
    // The loser cannot clear the winner's claim.
    EXPECT_FALSE(t.Release(ClaimKind::Printer, 3));
    EXPECT_EQ(t.ClaimOwner(ClaimKind::Printer, 3), static_cast<DWORD>(child.pid()));
    // Other kinds and ports are separate entries (the pin-5 drawer too).
    EXPECT_TRUE(t.TryClaim(ClaimKind::Micr, 3));
    EXPECT_TRUE(t.TryClaim(ClaimKind::Printer, 4));
    EXPECT_TRUE(t.TryClaim(ClaimKind::Drawer2, 3));
    EXPECT_FALSE(t.Claimed(ClaimKind::Drawer, 3));

    child.Go();
    EXPECT_EQ(child.Result(), 'y');
    EXPECT_FALSE(t.Claimed(ClaimKind::Printer, 3));  // while the child lives on
    EXPECT_EQ(child.Finish(), 0);
    EXPECT_TRUE(t.TryClaim(ClaimKind::Printer, 3));
}

TEST_F(DeviceTableTest, KilledOwnerCountsAsFree) {
    SharedDeviceTable& t = *table_;
    Child child({[&] {
        bool ok = t.TryClaim(ClaimKind::Printer, 7) && t.SetPrinterBusy(7, true) &&
                  t.AddDrawerWindow(7, 0x101);
        return ok ? 'y' : 'n';
    }});
    ASSERT_EQ(child.Result(), 'y');
    ASSERT_TRUE(t.AddDrawerWindow(7, 0x202));
    EXPECT_TRUE(t.PrinterBusy(7));
    EXPECT_EQ(t.DrawerWindows(7), (std::vector<HWND>{0x101, 0x202}));
    EXPECT_FALSE(t.TryClaim(ClaimKind::Printer, 7));

    child.Kill();
    EXPECT_FALSE(t.Claimed(ClaimKind::Printer, 7));
    EXPECT_FALSE(t.PrinterBusy(7));
    EXPECT_EQ(t.DrawerWindows(7), (std::vector<HWND>{0x202}));
    EXPECT_TRUE(t.TryClaim(ClaimKind::Printer, 7));
    EXPECT_EQ(t.ClaimOwner(ClaimKind::Printer, 7), static_cast<DWORD>(getpid()));
}

// Several processes claim one entry at the same moment: exactly one wins and keeps it.
TEST_F(DeviceTableTest, RacingClaimsHaveOneWinner) {
    SharedDeviceTable& t = *table_;
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 4; ++i)
        children.push_back(std::make_unique<Child>(std::vector<std::function<char()>>{
            [] { return 'r'; }, [&] { return t.TryClaim(ClaimKind::Display, 9) ? 'w' : 'l'; }}));
    for (auto& c : children) ASSERT_EQ(c->Result(), 'r');
    for (auto& c : children) c->Go();  // all try at once
    int winners = 0;
    pid_t winner = 0;
    for (auto& c : children) {
        char r = c->Result();
        EXPECT_TRUE(r == 'w' || r == 'l');
        if (r == 'w') {
            ++winners;
            winner = c->pid();
        }
    }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(t.ClaimOwner(ClaimKind::Display, 9), static_cast<DWORD>(winner));
    for (auto& c : children) EXPECT_EQ(c->Finish(), 0);
    // The winner is gone now: its claim is free for the next.
    EXPECT_TRUE(t.TryClaim(ClaimKind::Display, 9));
}

TEST_F(DeviceTableTest, OneHolderPerProcess) {
    SharedDeviceTable& t = *table_;
    EXPECT_TRUE(t.TryClaim(ClaimKind::Drawer, 2));
    EXPECT_FALSE(t.TryClaim(ClaimKind::Drawer, 2));  // a second object of this process
    EXPECT_TRUE(t.Release(ClaimKind::Drawer, 2));
    EXPECT_FALSE(t.Release(ClaimKind::Drawer, 2));
    EXPECT_TRUE(t.TryClaim(ClaimKind::Drawer, 2));
}

TEST_F(DeviceTableTest, IndexesOutsideThePortsAreRefused) {
    SharedDeviceTable& t = *table_;
    for (LONG index : {-1, 0, 1001, 1010}) {
        EXPECT_FALSE(t.TryClaim(ClaimKind::Printer, index)) << index;
        EXPECT_FALSE(t.Release(ClaimKind::Printer, index)) << index;
        EXPECT_EQ(t.ClaimOwner(ClaimKind::Micr, index), 0u) << index;
        EXPECT_FALSE(t.SetPrinterBusy(index, true)) << index;
        EXPECT_FALSE(t.PrinterBusy(index)) << index;
        EXPECT_FALSE(t.SetDrawerFlag(DrawerFlag::Opened, index, 1)) << index;
        EXPECT_EQ(t.GetDrawerFlag(DrawerFlag::Opened, index), 0) << index;
        EXPECT_FALSE(t.AddDrawerWindow(index, 0x55)) << index;
        EXPECT_FALSE(t.RemoveDrawerWindow(index, 0x55)) << index;
        EXPECT_TRUE(t.DrawerWindows(index).empty()) << index;
    }
    // The edges of the range are ordinary entries, each on its own.
    EXPECT_TRUE(t.TryClaim(ClaimKind::Micr, 1000));
    EXPECT_TRUE(t.TryClaim(ClaimKind::Micr, 1));
    EXPECT_TRUE(t.SetDrawerFlag(DrawerFlag::StatusActive, 1000, 5));
    EXPECT_EQ(t.GetDrawerFlag(DrawerFlag::StatusActive, 1000), 5);
    EXPECT_EQ(t.GetDrawerFlag(DrawerFlag::StatusActive, 999), 0);
    EXPECT_EQ(t.GetDrawerFlag(DrawerFlag::ReEnable, 1000), 0);
}

TEST_F(DeviceTableTest, DrawerRowsAreBounded) {
    SharedDeviceTable& t = *table_;
    const LONG port = 500;  // rows exist for every port index
    for (HWND w = 1; w <= SharedDeviceTable::kDrawerRowSize; ++w)
        ASSERT_TRUE(t.AddDrawerWindow(port, w)) << w;
    EXPECT_FALSE(t.AddDrawerWindow(port, 999));  // the 33rd
    EXPECT_TRUE(t.AddDrawerWindow(port, 5));     // already there: not added twice
    EXPECT_FALSE(t.AddDrawerWindow(port, 0));
    EXPECT_EQ(t.DrawerWindows(port).size(), static_cast<size_t>(SharedDeviceTable::kDrawerRowSize));

    EXPECT_FALSE(t.RemoveDrawerWindow(port, 999));  // missing: the row stays
    EXPECT_EQ(t.DrawerWindows(port).size(), static_cast<size_t>(SharedDeviceTable::kDrawerRowSize));
    EXPECT_TRUE(t.RemoveDrawerWindow(port, 2));
    EXPECT_FALSE(t.RemoveDrawerWindow(port, 2));
    std::vector<HWND> rest = t.DrawerWindows(port);
    ASSERT_EQ(rest.size(), static_cast<size_t>(SharedDeviceTable::kDrawerRowSize - 1));
    EXPECT_EQ(rest[0], 1u);
    EXPECT_EQ(rest[1], 3u);  // opening order kept
    EXPECT_TRUE(t.AddDrawerWindow(port, 999));
    EXPECT_EQ(t.DrawerWindows(port).back(), 999u);
    EXPECT_TRUE(t.DrawerWindows(port - 1).empty());
    EXPECT_TRUE(t.DrawerWindows(port + 1).empty());
}

// The section's name carries the library's name: builds do not share claims.
TEST_F(DeviceTableTest, LibrariesHaveTheirOwnTables) {
    std::string error;
    auto a = SharedDeviceTable::Attach("DEVTEST.LibA", &error);
    auto b = SharedDeviceTable::Attach("DEVTEST.LibB", &error);
    auto a2 = SharedDeviceTable::Attach("DEVTEST.LibA", &error);
    ASSERT_TRUE(a && b && a2) << error;
    EXPECT_TRUE(a->TryClaim(ClaimKind::Printer, 1));
    EXPECT_TRUE(b->TryClaim(ClaimKind::Printer, 1));
    EXPECT_FALSE(a2->TryClaim(ClaimKind::Printer, 1));  // the same section as `a`
}

}  // namespace

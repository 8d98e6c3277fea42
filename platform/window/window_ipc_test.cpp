// Windows across processes: a window_peer process (peer_protocol.h) and raw datagrams.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/window/peer_protocol.h"
#include "platform/window/transport.h"

extern char** environ;

namespace {

const bool g_prefix = [] {
    setenv("KAVRO_IPC_PREFIX", ("kwi-" + std::to_string(getpid())).c_str(), 1);
    return true;
}();

constexpr DWORD kLongMs = 60000;
constexpr const char* kMessageName = "Kavro.Peer.Message";

std::string PeerPath() {
    const char* bin = std::getenv("KAVRO_TEST_BIN");
    if (bin && *bin) return std::string(bin) + "/bin/window_peer";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    return dir.substr(0, dir.rfind('/') + 1) + "window_peer";
}

// This process's window and one running peer.
class PeerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self_ = CreateHiddenWindow([this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            switch (m) {
                case kPeerReady:
                    peerHwnd_ = static_cast<HWND>(w);
                    peerPidReported_ = static_cast<pid_t>(l);
                    return 0;
                case kPeerForwarded:
                    forwarded_.push_back(l);
                    return 0;
                case kPeerCalledBack:
                    return onCalledBack_ ? onCalledBack_(l) : 0;
                default:
                    return 0;
            }
        });
        ASSERT_NE(self_, 0u);
        title_ = "Kavro Peer " + std::to_string(getpid()) + "." + std::to_string(++runs_);
        std::string path = PeerPath(), report = std::to_string(self_);
        char* argv[] = {path.data(), title_.data(), const_cast<char*>(kMessageName), report.data(),
                        nullptr};
        ASSERT_EQ(posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ), 0) << path;
        ASSERT_TRUE(PumpUntil([this] { return peerHwnd_ != 0; }, kLongMs));
        ASSERT_EQ(peerPidReported_, pid_);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Reap();
        }
        DestroyWindow(self_);
    }
    int Reap() {
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
        return st;
    }
    // After the peer ended, nothing of it is reachable.
    void ExpectPeerGone() {
        EXPECT_FALSE(IsWindow(peerHwnd_));
        EXPECT_EQ(GetWindowProcessId(peerHwnd_), 0u);
        EXPECT_EQ(FindWindow(title_.c_str()), 0u);
        EXPECT_FALSE(PostMessage(peerHwnd_, kPeerEcho, 0, 0));
        LRESULT r = -1;
        EXPECT_EQ(SendMessageEx(peerHwnd_, kPeerEcho, 1, 2, &r), SendStatus::NotDelivered);
        EXPECT_EQ(r, 0);
    }

    static inline int runs_ = 0;
    HWND self_ = 0;
    std::string title_;
    pid_t pid_ = -1;
    HWND peerHwnd_ = 0;
    pid_t peerPidReported_ = 0;
    std::vector<LPARAM> forwarded_;
    std::function<LRESULT(LPARAM)> onCalledBack_;
};

TEST_F(PeerTest, PostAndSendReachThePeerFoundByName) {
    EXPECT_EQ(FindWindow(title_.c_str()), peerHwnd_);
    EXPECT_TRUE(IsWindow(peerHwnd_));
    EXPECT_EQ(GetWindowProcessId(peerHwnd_), static_cast<DWORD>(pid_));
    EXPECT_EQ(GetWindowThreadId(peerHwnd_), 0u);  // not a thread of this process

    LRESULT r = 0;
    EXPECT_EQ(SendMessageEx(peerHwnd_, kPeerEcho, 40, 2, &r), SendStatus::Delivered);
    EXPECT_EQ(r, 42);

    for (LPARAM v : {7, 8, 9}) ASSERT_TRUE(PostMessage(peerHwnd_, kPeerForward, self_, v));
    ASSERT_TRUE(PumpUntil([this] { return forwarded_.size() == 3; }, kLongMs));
    EXPECT_EQ(forwarded_, (std::vector<LPARAM>{7, 8, 9}));

    // The peer sends back while this thread waits for its answer.
    onCalledBack_ = [](LPARAM l) -> LRESULT { return l * 2; };
    EXPECT_EQ(SendMessage(peerHwnd_, kPeerCallBack, self_, 50), 101);

    // Many posts in a row: none lost while the peer's socket queue is short.
    forwarded_.clear();
    for (LPARAM v = 0; v < 200; ++v) ASSERT_TRUE(PostMessage(peerHwnd_, kPeerForward, self_, v));
    ASSERT_TRUE(PumpUntil([this] { return forwarded_.size() == 200; }, kLongMs));
    for (LPARAM v = 0; v < 200; ++v) EXPECT_EQ(forwarded_[static_cast<size_t>(v)], v);
}

TEST_F(PeerTest, RegisteredMessageHasTheSameNumberInBothProcesses) {
    UINT ours = RegisterWindowMessage("KAVRO.PEER.MESSAGE");
    ASSERT_NE(ours, 0u);
    EXPECT_EQ(SendMessage(peerHwnd_, kPeerQueryRegistered, 0, 0), static_cast<LRESULT>(ours));
    EXPECT_EQ(SendMessage(peerHwnd_, ours, 0, 0), kPeerRegisteredAnswer);
}

TEST_F(PeerTest, PeerKilledWhileASendWaitsEndsTheSend) {
    // The peer is inside its handler for our send when it dies.
    onCalledBack_ = [this](LPARAM) -> LRESULT {
        kill(pid_, SIGKILL);
        return 0;
    };
    LRESULT r = -1;
    EXPECT_EQ(SendMessageEx(peerHwnd_, kPeerCallBack, self_, 0, &r), SendStatus::NotDelivered);
    EXPECT_EQ(r, 0);
    Reap();
    ExpectPeerGone();
}

TEST_F(PeerTest, PeerThatClosedIsGone) {
    ASSERT_TRUE(PostMessage(peerHwnd_, WM_CLOSE, 0, 0));
    int st = Reap();
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    ExpectPeerGone();
}

TEST_F(PeerTest, TimedOutSendLeavesNoStaleReply) {
    plat::ManualClock clock;
    plat::ScopedClock scoped(clock);
    SendStatus status = SendStatus::Delivered;
    LRESULT r = -1;
    // A second thread sends; the peer calls back to this thread's window, whose handler
    // lets the time run out and answers only once the sender gave up.
    std::thread sender(
        [&] { status = SendMessageEx(peerHwnd_, kPeerCallBack, self_, 0, &r, 1000); });
    bool gaveUp = false;
    onCalledBack_ = [&](LPARAM) -> LRESULT {
        clock.Advance(1000);
        sender.join();
        gaveUp = true;
        return 500;
    };
    ASSERT_TRUE(PumpUntil([&] { return gaveUp; }, kLongMs));
    EXPECT_EQ(status, SendStatus::TimedOut);
    EXPECT_EQ(r, 0);
    // The late answer (501) must not be taken for the next send's.
    EXPECT_EQ(SendMessageEx(peerHwnd_, kPeerEcho, 1, 2, &r, INFINITE), SendStatus::Delivered);
    EXPECT_EQ(r, 3);
}

// Datagrams written straight to this process's endpoint.
class RawDatagramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self_ = CreateHiddenWindow([this](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
            seen_.push_back(m == WM_USER ? static_cast<int>(w) : -1);
            return 0;
        });
        ASSERT_NE(self_, 0u);
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override {
        close(fd_);
        DestroyWindow(self_);
    }
    plat::win::Wire Post(int tag) const {
        plat::win::Wire w{};
        w.magic = plat::win::kWireMagic;
        w.kind = static_cast<uint32_t>(plat::win::WireKind::Post);
        w.hwnd = self_;
        w.msg = WM_USER;
        w.wParam = static_cast<WPARAM>(tag);
        w.senderPid = static_cast<uint32_t>(getpid());
        return w;
    }
    void Send(int fd, const void* data, size_t len) const {
        sockaddr_un addr;
        socklen_t alen = plat::win::EndpointAddress(static_cast<uint32_t>(getpid()), &addr);
        ASSERT_EQ(sendto(fd, data, len, 0, reinterpret_cast<sockaddr*>(&addr), alen),
                  static_cast<ssize_t>(len));
    }
    // A good post after the others: once it arrived, every earlier one was judged.
    void ExpectOnlyMarkerArrives() {
        plat::win::Wire marker = Post(1);
        Send(fd_, &marker, sizeof marker);
        ASSERT_TRUE(PumpUntil([this] { return !seen_.empty(); }, kLongMs));
        EXPECT_EQ(seen_, std::vector<int>{1});
    }

    HWND self_ = 0;
    int fd_ = -1;
    std::vector<int> seen_;
};

TEST_F(RawDatagramTest, MalformedDatagramsAreDropped) {
    struct Case {
        const char* what;
        std::function<void(plat::win::Wire&)> spoil;
        size_t len;
    };
    const size_t size = sizeof(plat::win::Wire);
    const std::vector<Case> cases = {
        {"short", [](plat::win::Wire&) {}, size - 1},
        {"long", [](plat::win::Wire&) {}, size + 1},
        {"bad magic", [](plat::win::Wire& w) { w.magic ^= 1; }, size},
        {"unknown kind", [](plat::win::Wire& w) { w.kind = 99; }, size},
        {"other sender pid", [](plat::win::Wire& w) { w.senderPid = 1; }, size},
        {"unknown window", [](plat::win::Wire& w) { w.hwnd ^= 0x1000; }, size},
    };
    for (const Case& c : cases) {
        unsigned char buf[sizeof(plat::win::Wire) + 1] = {};
        plat::win::Wire w = Post(2);
        c.spoil(w);
        std::memcpy(buf, &w, size);
        SCOPED_TRACE(c.what);
        Send(fd_, buf, c.len);
    }
    ExpectOnlyMarkerArrives();
}

TEST_F(RawDatagramTest, DatagramsOfAnotherUserAreDropped) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to send as another user";
    plat::win::Wire w = Post(2);
    sockaddr_un addr;
    socklen_t alen = plat::win::EndpointAddress(static_cast<uint32_t>(getpid()), &addr);
    pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls here: this process has threads.
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        w.senderPid = static_cast<uint32_t>(getpid());
        bool sent = fd >= 0 && sendto(fd, &w, sizeof w, 0, reinterpret_cast<sockaddr*>(&addr),
                                      alen) == static_cast<ssize_t>(sizeof w);
        _exit(sent ? 0 : 3);
    }
    ASSERT_GT(child, 0);
    int st = 0;
    ASSERT_EQ(waitpid(child, &st, 0), child);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    ExpectOnlyMarkerArrives();
}

}  // namespace

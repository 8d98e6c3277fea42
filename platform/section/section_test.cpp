// Shared sections across real processes. The tests fork, so this binary starts no
// threads; children report through their exit code (0 = every check passed).
#include "platform/section/section.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace plat {
namespace {

constexpr int kWaitMs = 30000;  // generous bound for any cross-process hand-over

// A one-way pipe used as a signal between processes.
class Channel {
  public:
    Channel() {
        if (::pipe2(fd_, O_CLOEXEC) != 0) std::abort();
    }
    ~Channel() {
        for (int fd : fd_)
            if (fd >= 0) ::close(fd);
    }
    void Signal() {
        char c = 'x';
        if (::write(fd_[1], &c, 1) != 1) std::abort();
    }
    // True when a signal arrived; false on time-out or when every writer is gone.
    bool Wait() {
        pollfd p{fd_[0], POLLIN, 0};
        if (::poll(&p, 1, kWaitMs) != 1) return false;
        char c;
        return ::read(fd_[0], &c, 1) == 1;
    }

  private:
    int fd_[2] = {-1, -1};
};

// Runs `body` in a child process, which ends with its result as exit code.
template <class F>
pid_t Spawn(F body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

// Exit code of a child, or 128 + signal number.
int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ThreadCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

bool AllZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

bool ShmExists(const std::string& name) {
    int fd = ::shm_open(("/" + IpcPrefix() + "." + name).c_str(), O_RDONLY, 0);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

class SectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ThreadCount(), 1) << "these tests fork and need a single-threaded process";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        prefix_ = "kavro-test-" + std::to_string(::getpid()) + "-" + info->name();
        ::setenv("KAVRO_IPC_PREFIX", prefix_.c_str(), 1);
    }
    void TearDown() override {
        // Files a killed child left behind.
        if (DIR* d = ::opendir("/dev/shm")) {
            while (dirent* e = ::readdir(d))
                if (std::strncmp(e->d_name, prefix_.c_str(), prefix_.size()) == 0)
                    ::unlink(("/dev/shm/" + std::string(e->d_name)).c_str());
            ::closedir(d);
        }
    }
    std::string prefix_;
};

// Layout used by the attach test: a pattern and what `init` saw.
struct Data {
    uint32_t initRuns;
    uint32_t initSawZero;
    unsigned char pattern[4000];
};

void InitData(void* p) {
    auto* d = static_cast<Data*>(p);
    d->initSawZero = AllZero(d, sizeof(Data));
    d->initRuns += 1;
}

TEST_F(SectionTest, ZeroedForFirstAttacherOnlyEvenAfterACrash) {
    for (bool killFirst : {false, true}) {
        SCOPED_TRACE(killFirst ? "first attacher killed" : "first attacher ends normally");
        const std::string name = killFirst ? "killed" : "normal";
        Channel aReady, aGo;
        pid_t a = Spawn([&] {
            auto s = SharedSection::Attach(name, sizeof(Data), InitData);
            if (!s || !s->createdHere()) return 1;
            auto* d = static_cast<Data*>(s->data());
            if (d->initRuns != 1 || !d->initSawZero) return 2;
            for (size_t i = 0; i < sizeof d->pattern; ++i) d->pattern[i] = static_cast<uint8_t>(i);
            aReady.Signal();
            return aGo.Wait() ? 0 : 3;
        });
        ASSERT_TRUE(aReady.Wait());

        pid_t b = Spawn([&] {
            auto s = SharedSection::Attach(name, sizeof(Data), InitData);
            if (!s || s->createdHere()) return 1;
            auto* d = static_cast<Data*>(s->data());
            if (d->initRuns != 1) return 2;
            for (size_t i = 0; i < sizeof d->pattern; ++i)
                if (d->pattern[i] != static_cast<uint8_t>(i)) return 3;
            return 0;
        });
        EXPECT_EQ(Reap(b), 0);

        if (killFirst) {
            ::kill(a, SIGKILL);
            EXPECT_EQ(Reap(a), 128 + SIGKILL);
            EXPECT_TRUE(ShmExists(name)) << "a crash leaves the stale segment behind";
        } else {
            aGo.Signal();
            EXPECT_EQ(Reap(a), 0);
            EXPECT_FALSE(ShmExists(name)) << "the last detach removes the segment";
        }

        std::string error;
        auto s = SharedSection::Attach(name, sizeof(Data), InitData, &error);
        ASSERT_TRUE(s) << error;
        EXPECT_TRUE(s->createdHere());
        auto* d = static_cast<Data*>(s->data());
        EXPECT_EQ(d->initRuns, 1u);
        EXPECT_TRUE(d->initSawZero);
        EXPECT_TRUE(AllZero(d->pattern, sizeof d->pattern));
    }
}

TEST_F(SectionTest, SecondAttachInOneProcessSharesTheFirst) {
    // Forked first, so it attaches on its own rather than inheriting our mapping.
    Channel attach;
    pid_t child = Spawn([&] {
        if (!attach.Wait()) return 1;
        auto s = SharedSection::Attach("same", 64);
        if (!s || s->createdHere()) return 2;
        const char* d = static_cast<const char*>(s->data());
        return d[0] == 'a' && d[1] == 'b' ? 0 : 3;
    });

    int inits = 0;
    auto count = [&](void*) { ++inits; };
    auto first = SharedSection::Attach("same", 64, count);
    ASSERT_TRUE(first);
    static_cast<char*>(first->data())[0] = 'a';

    auto second = SharedSection::Attach("same", 64, count);
    ASSERT_TRUE(second);
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(static_cast<char*>(second->data())[0], 'a');

    std::string error;
    EXPECT_FALSE(SharedSection::Attach("same", 128, count, &error));
    EXPECT_NE(error.find("size"), std::string::npos) << error;

    // The second handle keeps the section held for other processes.
    first.reset();
    static_cast<char*>(second->data())[1] = 'b';
    attach.Signal();
    EXPECT_EQ(Reap(child), 0);

    second.reset();
    auto fresh = SharedSection::Attach("same", 64, count);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->createdHere());
    EXPECT_TRUE(AllZero(fresh->data(), 64));
    EXPECT_EQ(inits, 2);
}

TEST_F(SectionTest, SizeMismatchWithAnotherHolderFails) {
    Channel ready, done;
    pid_t holder = Spawn([&] {
        auto s = SharedSection::Attach("sized", 4096);
        if (!s) return 1;
        ready.Signal();
        return done.Wait() ? 0 : 2;
    });
    ASSERT_TRUE(ready.Wait());
    std::string error;
    EXPECT_FALSE(SharedSection::Attach("sized", 8192, {}, &error));
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    auto same = SharedSection::Attach("sized", 4096, {}, &error);
    EXPECT_TRUE(same) << error;
    EXPECT_TRUE(same && !same->createdHere());
    done.Signal();
    EXPECT_EQ(Reap(holder), 0);
}

TEST_F(SectionTest, InvalidNamesAndSizesAreRefused) {
    struct Case {
        const char* prefix;
        std::string name;
        size_t size;
    };
    const Case cases[] = {
        {nullptr, "", 16},        {nullptr, "a/b", 16},
        {nullptr, "ok", 0},       {nullptr, std::string(300, 'n'), 16},
        {"bad/prefix", "ok", 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20) + " prefix " + (c.prefix ? c.prefix : "(test)"));
        if (c.prefix) ::setenv("KAVRO_IPC_PREFIX", c.prefix, 1);
        std::string error;
        EXPECT_FALSE(SharedSection::Attach(c.name, c.size, {}, &error));
        EXPECT_FALSE(error.empty());
        ::setenv("KAVRO_IPC_PREFIX", prefix_.c_str(), 1);
    }
}

TEST(IpcPrefixTest, DefaultsToUserPrefix) {
    const char* saved = std::getenv("KAVRO_IPC_PREFIX");
    std::string keep = saved ? saved : "";
    ::unsetenv("KAVRO_IPC_PREFIX");
    EXPECT_EQ(IpcPrefix(), "kavro-opos-" + std::to_string(::getuid()));
    ::setenv("KAVRO_IPC_PREFIX", "run-7", 1);
    EXPECT_EQ(IpcPrefix(), "run-7");
    if (saved)
        ::setenv("KAVRO_IPC_PREFIX", keep.c_str(), 1);
    else
        ::unsetenv("KAVRO_IPC_PREFIX");
}

// Layout for the claim and mutex tests.
struct Table {
    SectionMutex mutex;
    ClaimEntry claim;
    std::atomic<int> inside;
    std::atomic<int> worstInside;
    uint32_t total;  // changed only while holding the claim
};

std::unique_ptr<SharedSection> AttachTable() {
    return SharedSection::Attach("table", sizeof(Table),
                                 [](void* p) { static_cast<Table*>(p)->mutex.Init(); });
}

TEST(TokenTest, OnlyLiveProcessesInPidRangeAreAlive) {
    struct Case {
        OwnerToken token;
        bool alive;
    };
    const Case cases[] = {
        {0, false},
        {SelfToken(), true},
        {1, true},             // init: alive, not ours to signal (EPERM)
        {0xFFFFFFFFu, false},  // would be kill(-1): "any process"
        {0x80000001u, false},  // would be a process group
    };
    for (const Case& c : cases) EXPECT_EQ(TokenAlive(c.token), c.alive) << c.token;

    ClaimEntry entry{0xFFFFFFFFu};  // garbage in the table counts as free
    EXPECT_EQ(entry.LiveOwner(), 0u);
    EXPECT_TRUE(entry.TryClaim());
    EXPECT_EQ(entry.owner.load(), SelfToken());
}

TEST_F(SectionTest, DeadOwnersClaimIsTakenOver) {
    auto s = AttachTable();
    ASSERT_TRUE(s);
    Table* t = static_cast<Table*>(s->data());
    Channel claimed, end;
    pid_t child = Spawn([&] {
        if (!t->claim.TryClaim() || !t->claim.TryClaim()) return 1;  // again: still held
        claimed.Signal();
        return end.Wait() ? 0 : 2;  // ends without releasing
    });
    ASSERT_TRUE(claimed.Wait());
    EXPECT_EQ(t->claim.LiveOwner(), static_cast<OwnerToken>(child));
    EXPECT_FALSE(t->claim.TryClaim());
    EXPECT_FALSE(t->claim.Release()) << "only the owner releases";
    EXPECT_EQ(t->claim.owner.load(), static_cast<OwnerToken>(child));

    end.Signal();
    EXPECT_EQ(Reap(child), 0);
    EXPECT_EQ(t->claim.LiveOwner(), 0u);
    EXPECT_TRUE(t->claim.TryClaim());
    EXPECT_EQ(t->claim.LiveOwner(), SelfToken());
    EXPECT_TRUE(t->claim.Release());
    EXPECT_EQ(t->claim.owner.load(), 0u);
    EXPECT_FALSE(t->claim.Release());
}

TEST_F(SectionTest, MutexOfKilledOwnerReportsOwnerDied) {
    auto s = AttachTable();
    ASSERT_TRUE(s);
    Table* t = static_cast<Table*>(s->data());
    Channel locked;
    pid_t child = Spawn([&] {
        t->mutex.Lock();
        locked.Signal();
        ::pause();  // killed here, holding the mutex
        return 1;
    });
    ASSERT_TRUE(locked.Wait());
    ::kill(child, SIGKILL);
    EXPECT_EQ(Reap(child), 128 + SIGKILL);
    {
        SectionLock lock(t->mutex);
        EXPECT_TRUE(lock.ownerDied());
    }
    SectionLock again(t->mutex);
    EXPECT_FALSE(again.ownerDied());
}

TEST_F(SectionTest, ClaimExcludesAcrossProcesses) {
    constexpr int kIterations = 500;
    auto s = AttachTable();
    ASSERT_TRUE(s);
    Table* t = static_cast<Table*>(s->data());
    Channel ready, go;
    auto worker = [&] {
        ready.Signal();
        if (!go.Wait()) return 1;
        for (int i = 0; i < kIterations; ++i) {
            while (!t->claim.TryClaim()) sched_yield();  // the other holds it for a moment
            int now = t->inside.fetch_add(1) + 1;
            int worst = t->worstInside.load();
            while (now > worst && !t->worstInside.compare_exchange_weak(worst, now)) {
            }
            uint32_t total = t->total;  // a plain read-modify-write: loses counts unless
            sched_yield();              // the claim really excludes the other process
            t->total = total + 1;
            t->inside.fetch_sub(1);
            if (!t->claim.Release()) return 2;
        }
        return 0;
    };
    pid_t a = Spawn(worker);
    pid_t b = Spawn(worker);
    ASSERT_TRUE(ready.Wait());
    ASSERT_TRUE(ready.Wait());
    go.Signal();
    go.Signal();
    EXPECT_EQ(Reap(a), 0);
    EXPECT_EQ(Reap(b), 0);
    EXPECT_EQ(t->worstInside.load(), 1);
    EXPECT_EQ(t->total, 2u * kIterations);
    EXPECT_EQ(t->claim.owner.load(), 0u);
}

}  // namespace
}  // namespace plat

// The store shared by processes: concurrent writers, readers during rewrites, and a
// cache that follows another process's writes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/registry/regfile.h"
#include "platform/registry/registry.h"
#include "platform/registry/regtest_fixture.h"

namespace {

using StoreProcesses = TempStore;
using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(120);

pid_t Spawn(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// True when the child has exited; *status gets its exit code (-1 when killed).
bool Exited(pid_t pid, int* status) {
    int ws = 0;
    if (waitpid(pid, &ws, WNOHANG) != pid) return false;
    *status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    return true;
}

// Kills and reaps a child that a failed assertion left behind.
struct ChildGuard {
    pid_t pid;
    ~ChildGuard() {
        int status;
        if (pid > 0 && !Exited(pid, &status)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

int WaitChild(pid_t pid) {
    auto deadline = Clock::now() + kTimeout;
    int status = -1;
    while (!Exited(pid, &status)) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status;
}

// Reads one int from a pipe, waiting at most kTimeout.
bool ReadInt(int fd, int* value) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kTimeout).count())) != 1) {
        return false;
    }
    return read(fd, value, sizeof *value) == static_cast<ssize_t>(sizeof *value);
}

bool WriteInt(int fd, int value) {
    return write(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

TEST_F(StoreProcesses, TwoWritersAtOnceLoseNothing) {
    constexpr int kWrites = 200;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = Spawn([&, c] {
            close(gate[1]);
            char byte;
            if (read(gate[0], &byte, 1) != 0) return 3;  // both start when the gate closes
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
                if (plat::reg::SetDword("HKCU\\Race", name, static_cast<DWORD>(i)) != 0) return 1;
            }
            return 0;
        });
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) EXPECT_EQ(WaitChild(pid), 0);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kWrites; ++i) {
            DWORD v = 0xFFFF;
            std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
            ASSERT_EQ(plat::reg::GetDword("HKCU\\Race", name, &v), ERROR_SUCCESS) << name;
            EXPECT_EQ(v, static_cast<DWORD>(i));
        }
    }
}

TEST_F(StoreProcesses, ReaderNeverSeesATornFile) {
    constexpr int kGenerations = 100;
    // Generation g: a blob of (50000 + 13 g) bytes, all of value g.
    auto blob = [](int g) { return std::string(50000 + 13 * g, static_cast<char>(g)); };
    ASSERT_EQ(plat::reg::SetBinary("HKLM\\Big", "blob", blob(0)), ERROR_SUCCESS);
    pid_t writer = Spawn([&] {
        for (int g = 1; g <= kGenerations; ++g) {
            if (plat::reg::SetBinary("HKLM\\Big", "blob", blob(g)) != 0) return 1;
        }
        return 0;
    });
    ChildGuard guard{writer};
    auto deadline = Clock::now() + kTimeout;
    int status = -1, last = 0;
    bool exited = false;
    while (!exited && Clock::now() < deadline) {
        exited = Exited(writer, &status);
        if (exited) guard.pid = 0;
        // The store's own read, and a raw read of the file as another program would do.
        plat::reg::Value v;
        ASSERT_EQ(plat::reg::GetValue("HKLM\\Big", "blob", &v), ERROR_SUCCESS)
            << RegLastErrorText();
        int g = static_cast<unsigned char>(v.data[0]);
        ASSERT_EQ(v.data, blob(g));
        EXPECT_GE(g, last);
        last = g;
        plat::reg::detail::Document doc;
        plat::reg::detail::ParseError error;
        ASSERT_TRUE(plat::reg::detail::ParseRegText(ReadFile(file_), &doc, &error))
            << error.Text(file_);
    }
    ASSERT_TRUE(exited);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(last, kGenerations);
}

TEST_F(StoreProcesses, CacheFollowsEveryWriteOfAnotherProcess) {
    // Same-size rewrites in quick succession: the cache must never keep an old tree.
    constexpr int kRounds = 100;
    ASSERT_EQ(plat::reg::SetDword("HKLM\\Gen", "n", 0), ERROR_SUCCESS);
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t child = Spawn([&] {
        for (int k = 1; k <= kRounds; ++k) {
            if (plat::reg::SetDword("HKLM\\Gen", "n", static_cast<DWORD>(k)) != 0) return 1;
            int ack = 0;
            if (!WriteInt(toParent[1], k) || !ReadInt(toChild[0], &ack) || ack != k) return 2;
        }
        return 0;
    });
    ChildGuard guard{child};
    for (int k = 1; k <= kRounds; ++k) {
        int got = 0;
        ASSERT_TRUE(ReadInt(toParent[0], &got));
        ASSERT_EQ(got, k);
        DWORD n = 0;
        ASSERT_EQ(plat::reg::GetDword("HKLM\\Gen", "n", &n), ERROR_SUCCESS);
        ASSERT_EQ(n, static_cast<DWORD>(k));
        ASSERT_TRUE(WriteInt(toChild[1], k));
    }
    EXPECT_EQ(WaitChild(child), 0);
    guard.pid = 0;
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

}  // namespace

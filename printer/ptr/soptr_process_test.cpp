// A printer claimed by another process: the claim lives in the library's shared device
// table, so this process times out while the other holds it and takes it over once the
// other is killed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "include/opos.h"
#include "printer/ptr/soptr_test_app.h"

extern char** environ;

namespace soptr_test {
namespace {

// posctl in its own process, holding a claim until it is killed.
class Holder {
public:
    explicit Holder(const std::string& device) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string posctl = testenv::BuildDir() + "/bin/posctl";
        std::string open = "open POSPrinter " + device;
        const char* argv[] = {posctl.c_str(), "-e", open.c_str(), "-e", "claim 5000",
                              "-e", "sleep 60000", nullptr};
        EXPECT_EQ(posix_spawn(&pid_, posctl.c_str(), &actions, nullptr,
                              const_cast<char* const*>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Holder() {
        Kill();
        close(out_);
    }
    // Reads the child's output until `word` (false at its end).
    bool WaitFor(const std::string& word) {
        std::string seen;
        char buf[256];
        ssize_t n;
        while ((n = read(out_, buf, sizeof buf)) > 0) {
            seen.append(buf, static_cast<size_t>(n));
            if (seen.find(word) != std::string::npos) return true;
        }
        ADD_FAILURE() << "posctl said: " << seen;
        return false;
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

TEST_F(Printer, AClaimHeldByAKilledProcessIsTakenOver) {
    // Both processes must give the entry the same port index.
    reg.Import("Windows Registry Editor Version 5.00\n\n" +
               Entry("POSPrinter", "Shared", NewPort(), std::string(kModel) + "\"PortIndex\"=dword:00000007\n"));
    setenv("KAVRO_REGISTRY", (reg.dir() / "registry.reg").c_str(), 1);
    Holder other("Shared");  // prints "claim: 0 0" once it holds the claim
    ASSERT_TRUE(other.WaitFor("claim: 0 0"));

    App app;
    ASSERT_EQ(app.Call("Open", {"Shared"}), OPOS_SUCCESS);
    EXPECT_EQ(app.Call("Claim", {0}), OPOS_E_TIMEOUT);
    other.Kill();
    EXPECT_EQ(app.Call("Claim", {2000}), OPOS_SUCCESS);
    EXPECT_EQ(app.Number("Claimed"), 1);
    unsetenv("KAVRO_REGISTRY");
}

}  // namespace
}  // namespace soptr_test

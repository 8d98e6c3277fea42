// The posctl program run as a user runs it, against the stand-in control registered in a
// registry file of the test's own: printed lines, event lines and exit status.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/automation/classes.h"
#include "platform/registry/registry.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string BuildDir() {
    const char* b = std::getenv("KAVRO_TEST_BIN");
    return b ? b : ".";
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Outcome {
    std::string out, err;
    int status = -1;
};

class PosctlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("posctl-test-" + std::to_string(getpid())));
        fs::create_directories(*dir_);
        plat::reg::SetStorePath((*dir_ / "registry.reg").string());
        std::string lib = BuildDir() + "/lib/libposctl_fake.so";
        void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(h, nullptr) << dlerror();
        auto reg = reinterpret_cast<plat::DllRegisterServerFn>(dlsym(h, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);
    }
    static void TearDownTestSuite() {
        plat::reg::SetStorePath("");
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
    }

    // Runs posctl with `args`, standard input from `input`, and the stand-in control as
    // the POSPrinter class's control.
    static Outcome Posctl(const std::vector<std::string>& args, const std::string& input = "") {
        fs::path in = *dir_ / "stdin", out = *dir_ / "stdout", err = *dir_ / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        std::vector<std::string> env = {
            "KAVRO_REGISTRY=" + (*dir_ / "registry.reg").string(),
            "KAVRO_IPC_PREFIX=posctl-test-" + std::to_string(getpid()),
            "POSCTL_CONTROL_POSPRINTER=PosctlTest.Control",
        };
        for (char** e = environ; *e; ++e) {
            std::string s = *e;
            if (s.rfind("KAVRO_REGISTRY=", 0) && s.rfind("KAVRO_IPC_PREFIX=", 0) &&
                s.rfind("POSCTL_CONTROL_", 0))
                env.push_back(s);
        }
        std::string program = BuildDir() + "/bin/posctl";
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> av, ev;
        for (auto& a : argv) av.push_back(a.data());
        av.push_back(nullptr);
        for (auto& e : env) ev.push_back(e.data());
        ev.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Outcome r;
        int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, av.data(), ev.data());
        posix_spawn_file_actions_destroy(&fa);
        EXPECT_EQ(rc, 0) << program;
        if (rc != 0) return r;
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }

    static Outcome Script(const std::string& text) {
        fs::path file = *dir_ / "script.pos";
        std::ofstream(file, std::ios::binary) << text;
        return Posctl({"--script", file.string()});
    }

    static inline fs::path* dir_ = nullptr;
};

TEST_F(PosctlTest, RunsCommandsAndPrintsResults) {
    Outcome r = Script(R"(# a session on the stand-in control
open POSPrinter P1
get DeviceName
set DeviceEnabled 1
claim 1000
set DeviceEnabled 1
get DeviceEnabled
set Text "a\x00b\x1b\xff\"\\"
get Text
expect Text "a\x00b\x1b\xff\"\\"
call DirectIO 7 &21 &"io\x00"
release
close
open POSPrinter Missing as m
get ResultCode
)");
    EXPECT_EQ(r.out, R"(open P1: 0
DeviceName = "P1"
DeviceEnabled <- 1: 103 0
claim: 0 0
DeviceEnabled <- 1: 0 0
DeviceEnabled = 1
Text <- "a\x00b\x1b\xff\"\\": 0 0
Text = "a\x00b\x1b\xff\"\\"
DirectIO: 0 7
  ARG2 = 42
  ARG3 = "io\x00!"
release: 0 0
close: 0
open Missing: 109
ResultCode = 109
)");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PosctlTest, PrintsEventsWhenTheyArrive) {
    Outcome r = Script(R"(open POSPrinter P
call FireTest 1 5
wait DataEvent 100
call PostTest 5 2001
wait StatusUpdateEvent
call PostTest 2 9
wait DirectIOEvent
respond 12
call FireTest 3 111
get LastResponse
call FireTest 3 112
get LastResponse
freeze on
call PostTest 4 3
pump 50
echo thawing
freeze off
wait OutputCompleteEvent
close
)");
    EXPECT_EQ(r.out, R"(open P: 0
event DataEvent 5
FireTest: 0 0
PostTest: 0 0
event StatusUpdateEvent 2001
PostTest: 0 0
event DirectIOEvent 9 18 "io\x00\x1b"
event ErrorEvent 111 0 2 12
FireTest: 0 0
LastResponse = 12
event ErrorEvent 112 0 2 11
FireTest: 0 0
LastResponse = 11
PostTest: 0 0
thawing
event OutputCompleteEvent 3
close: 0
)");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PosctlTest, FailedChecksReportAndGoOn) {
    Outcome r = Posctl({"-e", "open POSPrinter P", "-e", "expect DeviceName \"Q\"", "-e",
                    "wait DataEvent 20", "-e", "expect Claimed 0", "-e", "echo still here"});
    EXPECT_EQ(r.out, R"(open P: 0
expect DeviceName: got "P", expected "Q"
wait DataEvent: timed out
still here
)");
    EXPECT_EQ(r.status, 1);
}

TEST_F(PosctlTest, StopsAtTheFirstError) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* input;
        const char* out;
        const char* err;
    } cases[] = {
        {"syntax error: nothing runs",
         {"-e", "echo first", "-e", "frobnicate"},
         "",
         "",
         "posctl: line 2: unknown command 'frobnicate'\n"},
        {"no device chosen",
         {"-e", "echo first", "-e", "get DeviceName", "-e", "echo never"},
         "",
         "first\n",
         "posctl: line 2: no device chosen (open one, or choose one with 'use ALIAS')\n"},
        {"class not registered",
         {"-e", "open CashDrawer D"},
         "",
         "",
         "posctl: line 1: open D: cannot create OPOS.CashDrawer: 0x80040154 (class not "
         "registered)\n"},
        {"unknown method",
         {"-e", "open POSPrinter P", "-e", "call Nope 1"},
         "",
         "open P: 0\n",
         "posctl: line 2: call Nope: 0x80020006 (unknown name)\n"},
        {"wrong argument type",
         {"-e", "open POSPrinter P", "-e", "call DirectIO 1 2 &\"\""},
         "",
         "open P: 0\n",
         "posctl: line 2: call DirectIO: 0x80020005 (type mismatch) in argument 2\n"},
        {"read-only property",
         {"-e", "open POSPrinter P", "-e", "set Claimed 1"},
         "",
         "open P: 0\n",
         "posctl: line 2: set Claimed: 0x800A017C (property is read-only)\n"},
        {"alias in use",
         {"-e", "open POSPrinter P", "-e", "open POSPrinter P"},
         "",
         "open P: 0\n",
         "posctl: line 2: 'P' is open already (close it, or open with 'as ALIAS')\n"},
        {"standard input, line by line",
         {},
         "echo one\nopen POSPrinter P\nget Claimed\nbogus\necho never\n",
         "one\nopen P: 0\nClaimed = 0\n",
         "posctl: line 4: unknown command 'bogus'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome r = Posctl(c.args, c.input);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, 2);
    }
}

TEST_F(PosctlTest, ChoosesDevicesByAlias) {
    Outcome r = Script(R"(open POSPrinter P as a
open POSPrinter Q as b
get DeviceName
use a
get DeviceName
close
use b
claim 0
expect Claimed 1
close
)");
    EXPECT_EQ(r.out, R"(open P: 0
open Q: 0
DeviceName = "Q"
DeviceName = "P"
close: 0
claim: 0 0
close: 0
)");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PosctlTest, RejectsBadUsage) {
    Outcome r = Posctl({"--frob"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("posctl: unknown option '--frob'"), std::string::npos) << r.err;
    r = Posctl({"--script", (*dir_ / "no-such-file").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
}

}  // namespace

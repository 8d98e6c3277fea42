// Runs the built posreg program against a temporary store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/registry/registry.h"
#include "platform/registry/regtest_fixture.h"

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n";

struct Result {
    int code = -1;
    std::string out, err;
};

class Posreg : public TempStore {
  protected:
    void SetUp() override {
        TempStore::SetUp();
        const char* bin = getenv("KAVRO_TEST_BIN");
        if (!bin) GTEST_SKIP() << "KAVRO_TEST_BIN is not set (run through ctest)";
        bin_ = bin;
    }

    // posreg with `args`, KAVRO_REGISTRY = the test's store (or `store`), extra env.
    Result Run(const std::vector<std::string>& args, const std::string& store = "",
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
        std::string outPath = dir_ + "/out.txt", errPath = dir_ + "/err.txt";
        std::string program = bin_ + "/bin/posreg";
        pid_t pid = fork();
        if (pid == 0) {
            int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            setenv("KAVRO_REGISTRY", (store.empty() ? file_ : store).c_str(), 1);
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> argv{program.data()};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        Result r;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) != pid) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "posreg did not finish";
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(outPath);
        r.err = ReadFile(errPath);
        return r;
    }

    std::string bin_;
};

TEST_F(Posreg, SetThenGetEveryType) {
    struct Case {
        const char* type;
        const char* data;
        DWORD storedType;
        std::string stored;
        const char* shown;
    } cases[] = {
        {"sz", "hello world", REG_SZ, "hello world", "hello world\n"},
        {"sz", "", REG_SZ, "", "\n"},
        {"dword", "0x0000000A", REG_DWORD, std::string("\x0a\0\0\0", 4), "10\n"},
        {"dword", "4294967295", REG_DWORD, "\xff\xff\xff\xff", "4294967295\n"},
        {"dword", "0", REG_DWORD, std::string(4, '\0'), "0\n"},
        {"binary", "01,02,ff", REG_BINARY, "\x01\x02\xff", "01,02,ff\n"},
        {"binary", "0102FF", REG_BINARY, "\x01\x02\xff", "01,02,ff\n"},
        {"binary", "", REG_BINARY, "", "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.data);
        Result set = Run({"set", "HKLM\\SOFTWARE\\Kavro", "v", c.type, c.data});
        ASSERT_EQ(set.code, 0) << set.err;
        plat::reg::Value v;
        ASSERT_EQ(plat::reg::GetValue("HKLM\\SOFTWARE\\Kavro", "v", &v), ERROR_SUCCESS);
        EXPECT_EQ(v.type, c.storedType);
        EXPECT_EQ(v.data, c.stored);
        Result get = Run({"get", "hklm\\software\\kavro", "V"});
        EXPECT_EQ(get.code, 0) << get.err;
        EXPECT_EQ(get.out, c.shown);
    }
}

TEST_F(Posreg, GetKeyExportImportDelete) {
    ASSERT_EQ(Run({"set", "HKLM\\SOFTWARE\\X", "@", "sz", "d"}).code, 0);
    ASSERT_EQ(Run({"set", "HKLM\\SOFTWARE\\X", "b", "sz", "t"}).code, 0);
    ASSERT_EQ(Run({"set", "HKLM\\SOFTWARE\\X", "a", "dword", "1"}).code, 0);
    ASSERT_EQ(Run({"set", "HKLM\\SOFTWARE\\X\\Sub", "c", "binary", "00"}).code, 0);
    Result key = Run({"get", "HKLM\\SOFTWARE\\X"});
    EXPECT_EQ(key.code, 0) << key.err;
    EXPECT_EQ(key.out, "@=\"d\"\n\"a\"=dword:00000001\n\"b\"=\"t\"\n");

    Result exported = Run({"export", "HKLM\\SOFTWARE\\X"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    std::string expected;
    ASSERT_EQ(plat::reg::ExportText("HKLM\\SOFTWARE\\X", &expected), ERROR_SUCCESS);
    EXPECT_EQ(exported.out, expected);
    EXPECT_NE(exported.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\Sub]\n\"c\"=hex:00\n"),
              std::string::npos);

    std::string file = dir_ + "/x.reg", other = dir_ + "/other.reg";
    WriteFile(file, exported.out);
    ASSERT_EQ(Run({"import", file}, other).code, 0);
    EXPECT_EQ(Run({"export"}, other).out, Run({"export"}).out);

    EXPECT_EQ(Run({"delete", "HKLM\\SOFTWARE\\X", "a"}).code, 0);
    EXPECT_EQ(Run({"get", "HKLM\\SOFTWARE\\X"}).out, "@=\"d\"\n\"b\"=\"t\"\n");
    EXPECT_EQ(Run({"delete", "HKLM\\SOFTWARE\\X"}).code, 0);
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\SOFTWARE\\X\\Sub"));
}

TEST_F(Posreg, UsageErrorsExitTwo) {
    const std::vector<std::string> cases[] = {
        {},
        {"frobnicate"},
        {"get"},
        {"get", "HKLM\\A", "v", "extra"},
        {"import"},
        {"set", "HKLM\\A", "v", "sz"},
        {"set", "HKLM\\A", "v", "qword", "1"},
        {"set", "HKLM\\A", "v", "dword", "0x1FFFFFFFF"},
        {"set", "HKLM\\A", "v", "dword", "4294967296"},
        {"set", "HKLM\\A", "v", "dword", "-1"},
        {"set", "HKLM\\A", "v", "dword", "0x"},
        {"set", "HKLM\\A", "v", "binary", "012"},
        {"set", "HKLM\\A", "v", "binary", "01,,02"},
        {"set", "HKLM\\A", "v", "binary", "0g"},
        {"register"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.empty() ? std::string("(none)") : args[0] + " ... " + args.back());
        Result r = Run(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("usage: posreg"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(plat::reg::KeyExists("HKLM\\A"));
    Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: posreg"), std::string::npos);
}

TEST_F(Posreg, FailuresExitOneAndNameTheProblem) {
    ASSERT_EQ(plat::reg::SetString("HKLM\\Have", "v", "x"), ERROR_SUCCESS);
    std::string bad = dir_ + "/bad.reg";
    WriteFile(bad, kHeader + "[HKLM\\A]\n\"a\"=hex:zz\n");
    std::string badStore = dir_ + "/badstore.reg";
    WriteFile(badStore, kHeader + "[HKEY_USERS\\A]\n");
    struct Case {
        std::vector<std::string> args;
        std::string store;
        std::string message;
    } cases[] = {
        {{"get", "HKLM\\None"}, "", "HKEY_LOCAL_MACHINE\\None not found"},
        {{"get", "HKLM\\Have", "missing"}, "", "value \"missing\" not found"},
        {{"delete", "HKLM\\None"}, "", "HKLM\\None not found"},
        {{"delete", "HKLM\\Have", "missing"}, "", "value \"missing\" not found"},
        {{"delete", "HKLM"}, "", "root key cannot be deleted"},
        {{"export", "HKCU\\None"}, "", "HKCU\\None not found"},
        {{"import", dir_ + "/none.reg"}, "", "none.reg: no such file"},
        {{"import", bad}, "", bad + ":3: expected a hex byte"},
        {{"set", "HKEY_USERS\\A", "v", "sz", "x"}, "", "unknown root key 'HKEY_USERS'"},
        {{"get", "HKLM\\A", "v"}, badStore, badStore + ":2: unknown root key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Result r = Run(c.args, c.store);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST_F(Posreg, RegistersAndUnregistersALibrary) {
    std::string lib = bin_ + "/lib/libposreg_testlib.so";
    Result r = Run({"register", lib});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "DllRegisterServer in " + lib + " succeeded.\n");
    EXPECT_TRUE(plat::reg::KeyExists("HKCR\\Posreg.Test"));
    r = Run({"unregister", lib});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(plat::reg::KeyExists("HKCR\\Posreg.Test"));

    r = Run({"register", lib}, "", {{"POSREG_TEST_FAIL", "1"}});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("DllRegisterServer in " + lib + " failed: 0x80040201"), std::string::npos)
        << r.err;
    r = Run({"register", bin_ + "/lib/libposplat.so"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("has no DllRegisterServer"), std::string::npos) << r.err;
    r = Run({"register", dir_ + "/none.so"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;
}

}  // namespace

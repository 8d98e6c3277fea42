// Test environment: a registry file and IPC prefix of the test's own, and registration
// of the package's libraries into it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/automation/classes.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"

namespace testenv {

inline std::string BuildDir() {
    const char* b = std::getenv("KAVRO_TEST_BIN");
    return b ? b : ".";
}

inline std::string LibPath(const std::string& name) { return BuildDir() + "/lib/lib" + name + ".so"; }

// Registers a server library (its DllRegisterServer) into the current store.
inline HRESULT Register(const std::string& libName) {
    return plat::RegisterServerLibrary(LibPath(libName));
}

// A fresh registry file for each test; the IPC prefix is the process's own.
class Registry {
public:
    Registry() {
        dir_ = std::filesystem::temp_directory_path() /
               ("kavro-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(dir_);
        plat::reg::SetStorePath((dir_ / "registry.reg").string());
        static const bool prefixSet = [] {
            setenv("KAVRO_IPC_PREFIX", ("kavro-test-" + std::to_string(getpid())).c_str(), 1);
            return true;
        }();
        (void)prefixSet;
    }
    ~Registry() {
        plat::reg::SetStorePath("");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path dir() const { return dir_; }

    // Writes a .reg text into the store.
    void Import(const std::string& text) {
        auto file = dir_ / "import.reg";
        FILE* f = fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
        ASSERT_EQ(plat::reg::ImportFile(file.string()), ERROR_SUCCESS) << RegLastErrorText();
    }

private:
    std::filesystem::path dir_;
    static inline int counter_ = 0;
};

}  // namespace testenv

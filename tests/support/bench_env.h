// Benchmark environment: a registry and IPC prefix of the run's own, with the generic
// controls and the test service object registered and a device entry "Bench".
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/automation/classes.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"

namespace benchenv {

inline std::string LibPath(const std::string& name) {
    // Benchmarks run from the build tree: bin/ beside lib/.
    char self[4096] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::filesystem::path bin = n > 0 ? std::filesystem::path(self).parent_path() : ".";
    return (bin.parent_path() / "lib" / ("lib" + name + ".so")).string();
}

class Setup {
public:
    Setup() {
        dir_ = std::filesystem::temp_directory_path() / ("kavro-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        plat::reg::SetStorePath((dir_ / "registry.reg").string());
        setenv("KAVRO_IPC_PREFIX", ("kavro-bench-" + std::to_string(getpid())).c_str(), 1);
        for (const char* lib : {"opos_generic", "kavro_testso", "SOKAVROL"}) {
            plat::RegisterServerLibrary(LibPath(lib));
        }
        plat::reg::SetString(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Bench", "",
            "KavroTest.SO");
    }
    ~Setup() {
        plat::reg::SetStorePath("");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    std::filesystem::path dir_;
};

}  // namespace benchenv

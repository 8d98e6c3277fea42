// A store in a fresh temporary folder for each test (in a sub-folder that does not
// exist yet, so the first write creates it).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"

class TempStore : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavro-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        file_ = dir_ + "/store/registry.reg";
        plat::reg::SetStorePath(file_);
    }
    void TearDown() override {
        plat::reg::SetStorePath("");
        std::filesystem::remove_all(dir_);
    }

    // Writes `text` to `path` directly (as an editor or another program would).
    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
    std::string file_;
};

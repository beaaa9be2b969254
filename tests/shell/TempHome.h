#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/audio/TestFiles.h"

namespace shell::testing {

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh folders named after the
// running test (ctest runs tests in parallel, each in its own process).
class TempHome : public ::testing::Test {
  protected:
    void SetUp() override {
        root = audio::test::scratchDir();
        std::filesystem::create_directories(root / "config");
        std::filesystem::create_directories(root / "data");
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        unsetenv("SFDIR");
        unsetenv("SSDIR");
    }

    std::filesystem::path settingsFile() const { return root / "config" / "frisson" / "settings.reg"; }

    static std::string read(const std::filesystem::path& path) {
        return std::string(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
    }
    static void write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    std::filesystem::path root;
};

}  // namespace shell::testing

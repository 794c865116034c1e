// A test fixture with its own scratch directory and the model settings of a
// fresh start (the segment counts, save options and mask of a new editor),
// both restored afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

#include "model/ModelSettings.h"

namespace zandor::test {

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Settings();
        Settings() = ModelSettings{};
        dir = std::filesystem::temp_directory_path() /
              ("zandor-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        Settings() = saved;
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir, ec);
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string WriteFile(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
    static std::string ReadFile(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }

    std::filesystem::path dir;
    ModelSettings saved;
};

}  // namespace zandor::test

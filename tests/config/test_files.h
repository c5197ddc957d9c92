#pragma once
// A scratch folder per test, removed afterwards, and whole-file helpers.

#include "../base/status_assert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace pellandor::test {

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellandor_config_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }

    // The settings file every test starts from.
    std::string iniPath() const { return pathOf("pellandor_settings.ini"); }

    static void put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::string get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The names in the scratch folder.
    std::set<std::string> names() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.insert(entry.path().filename());
        return names;
    }

    std::filesystem::path dir_;
};

}  // namespace pellandor::test

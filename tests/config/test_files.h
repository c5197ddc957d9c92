#pragma once
// A scratch folder per test, removed afterwards, and whole-file helpers.

#include "../base/status_assert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace pellandor::test {

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh private folder, made the same way on every system.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("pellandor_config_" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) dir_ = candidate;
        }
        ASSERT_FALSE(dir_.empty());
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
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
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::filesystem::path dir_;
};

}  // namespace pellandor::test

#pragma once
// A scratch folder per test, removed with everything in it afterwards, and
// whole-file helpers.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace pellandor::test {

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }
    // The settings file a test starts from.
    std::string iniPath() const { return pathOf("pellandor_settings.ini"); }

    static void put(const std::filesystem::path& path, const std::string& bytes);
    static std::string get(const std::filesystem::path& path);
    // The names in the scratch folder.
    std::set<std::string> names() const;

    std::filesystem::path dir_;
};

}  // namespace pellandor::test

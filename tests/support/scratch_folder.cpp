#include "support/scratch_folder.h"

#include <fstream>
#include <iterator>
#include <random>

namespace pellandor::test {

void ScratchFolder::SetUp() {
    // A fresh private folder, made the same way on every system.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() /
                               ("pellandor-test-" + std::to_string(random()) + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
}

void ScratchFolder::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void ScratchFolder::put(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ScratchFolder::get(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> ScratchFolder::names() const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) found.insert(entry.path().filename().string());
    return found;
}

}  // namespace pellandor::test

#include "support/scratch_folder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace pellandor::test {

void ScratchFolder::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellandor-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
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
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) found.insert(entry.path().filename());
    return found;
}

}  // namespace pellandor::test

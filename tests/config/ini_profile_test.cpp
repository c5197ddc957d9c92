// Our INI reader and writer against Windows' own profile functions: the same
// writes through both must leave the same bytes, the same reads give the
// same values. Windows only (run under Wine in CI).
//
// Wine's profile code rewrites the whole file where Windows edits it in
// place, so these cases are left out (ours keeps Windows' behaviour):
// - blank lines: Wine drops every blank line of a file it writes;
// - a key added to a section that ends in comments: Wine puts it after them;
// - a value written with leading blanks: Wine drops them;
// - a section name that appears twice: Wine reads only the first;
// - a file with LF line ends: Wine writes it back with CR LF throughout.

#include "config/ini_file.h"
#include "config/ini_write_batch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace pellandor {
namespace {

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the cases are ASCII
}

std::string narrowAscii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

class IniProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937_64 random{std::random_device{}()};
        dir_ = std::filesystem::temp_directory_path() / ("pellandor_profile_" + std::to_string(random()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    static void put(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::string get(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeProfile(const std::string& file, const std::string& section, const std::string& key,
                             const std::string& value) {
        ASSERT_TRUE(WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(),
                                               wide(file).c_str()));
        // Windows may keep a profile file cached; this writes it out.
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, wide(file).c_str());
    }
    static std::string readProfile(const std::string& file, const std::string& section, const std::string& key,
                                   const std::string& defaultValue) {
        std::wstring buffer(4096, L'\0');
        const DWORD n = GetPrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(defaultValue).c_str(),
                                                 buffer.data(), static_cast<DWORD>(buffer.size()), wide(file).c_str());
        buffer.resize(n);
        return narrowAscii(buffer);
    }

    std::filesystem::path dir_;
};

struct Write {
    const char* section;
    const char* key;
    const char* value;
};

struct WriteCase {
    const char* name;
    const char* before;  // nullptr: no file yet
    std::vector<Write> writes;
};

TEST_F(IniProfileTest, SameWritesLeaveTheSameBytes) {
    const WriteCase cases[] = {
        {"new file", nullptr, {{"USER_INFO", "ID", "alice"}, {"USER_INFO", "PW", ""}, {"SYS_INFO", "IP", "10.0.0.1"}}},
        {"existing key, other case", "[User_Info]\r\nid=old\r\nPN=200\r\n", {{"USER_INFO", "ID", "new value"}}},
        {"new key after the section's last key", "[A]\r\nK=1\r\n[B]\r\nX=2\r\n", {{"A", "L", "2"}, {"B", "Y", "3"}}},
        {"new section at the end", "; comment\r\n[A]\r\nK=1\r\n", {{"C", "NEW", "v"}}},
        {"blank value replaces a value", "[A]\r\nK=1\r\nL=2\r\n", {{"A", "K", ""}}},
        {"value with trailing blanks", "[A]\r\nK=1\r\n", {{"A", "K", "spaced  "}}},
        {"key spelled with blanks in the file", "[A]\r\n  K  =  1\r\n", {{"A", "K", "2"}}},
        {"file without final line end", "[A]\r\nK=1", {{"A", "L", "2"}}},
        {"comments kept", "; head\r\n[A]\r\n; note\r\nK=1\r\n", {{"A", "K", "9"}, {"A", "M", "x"}}},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string ours = path("ours.ini");
        const std::string theirs = path("theirs.ini");
        std::filesystem::remove(ours);
        std::filesystem::remove(theirs);
        if (c.before != nullptr) {
            put(ours, c.before);
            put(theirs, c.before);
        }
        for (const Write& w : c.writes) {
            const Status written = writeIniString(ours, w.section, w.key, w.value);
            ASSERT_TRUE(written) << written.error();
            writeProfile(theirs, w.section, w.key, w.value);
        }
        EXPECT_EQ(get(ours), get(theirs));
    }
}

TEST_F(IniProfileTest, SameReadsGiveTheSameValues) {
    const std::string file = path("read.ini");
    put(file,
        "; a comment line\r\n"
        "[User_Info]\r\n"
        "  id  =  alice smith  \r\n"
        "PW=\r\n"
        "id=second wins never\r\n"
        "[EMPTY]\r\n"
        "[NUMBERS]\r\n"
        "BLANKS=   42\r\n"
        "TAB=\tx\t\r\n"
        "[last]\r\n"
        "NOEND=value");
    const IniFile ini(file);
    const struct {
        const char* section;
        const char* key;
    } reads[] = {
        {"USER_INFO", "ID"},   {"user_info", "Id"}, {"USER_INFO", "PW"}, {"USER_INFO", "NONE"}, {"EMPTY", "ANY"},
        {"NUMBERS", "BLANKS"}, {"NUMBERS", "TAB"},  {"MISSING", "K"},    {"last", "NOEND"},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(std::string(r.section) + "/" + r.key);
        EXPECT_EQ(ini.getString(r.section, r.key, "dflt"), readProfile(file, r.section, r.key, "dflt"));
    }
}

}  // namespace
}  // namespace pellandor

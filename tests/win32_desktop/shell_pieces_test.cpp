#include "win32_desktop/crash_reporter.h"
#include "win32_desktop/hand_over.h"
#include "win32_desktop/start_at_login.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace pellandor {
namespace {

std::optional<std::string> line(std::string_view bytes, ULONG_PTR tag = kHandOverTag) {
    return handOverLine(tag, bytes.data(), bytes.size());
}

TEST(HandOverLine, TakesOnlyOurSoundLines) {
    EXPECT_EQ(line("dial +1 (415) 555-0100"), "dial +1 (415) 555-0100");
    EXPECT_EQ(line("dial \xE2\x80\x8B"
                   "555"),
              "dial \xE2\x80\x8B"
              "555");  // valid UTF-8 passes on to the checks
    EXPECT_EQ(line(std::string(kMaxHandOverLine, 'a')), std::string(kMaxHandOverLine, 'a'));

    const struct {
        const char* what;
        std::string bytes;
    } refused[] = {
        {"empty", ""},
        {"too long", std::string(kMaxHandOverLine + 1, 'a')},
        {"a second line forged", "dial 1\nshow"},
        {"a zero inside", std::string("dial 1\0 2", 9)},
        {"a C1 control",
         "dial \xC2\x85"
         "1"},
        {"cut-off sequence", "dial \xE2\x80"},
        {"overlong encoding", "dial \xC0\xAF"},
        {"surrogate half", "dial \xED\xA0\x80"},
        {"stray continuation byte", "dial \x80"},
    };
    for (const auto& c : refused) EXPECT_EQ(line(c.bytes), std::nullopt) << c.what;
    EXPECT_EQ(line("show", kHandOverTag + 1), std::nullopt) << "someone else's WM_COPYDATA";
    EXPECT_EQ(handOverLine(kHandOverTag, nullptr, 4), std::nullopt);
}

TEST(CrashDumpFileName, DateAndTimeWithLeadingZeros) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 2;
    t.wDay = 3;
    t.wHour = 14;
    t.wMinute = 5;
    t.wSecond = 9;
    EXPECT_EQ(crashDumpFileName(kProductTitle, t), L"Ulvex Pellandor_Err_2026-02-03 14_05_09.DMP");
    EXPECT_EQ(crashDumpFileName(kProductTitle, t, 2), L"Ulvex Pellandor_Err_2026-02-03 14_05_09 (2).DMP");
}

// What a login start's command line gives back to the program.
std::vector<std::wstring> argumentsOf(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> args(argv, argv + count);
    LocalFree(argv);
    return args;
}

TEST(RunCommand, ReadsBackAsTheProgramAndItsSettingsFile) {
    const std::wstring program =
        L"C:\\Users\\Ann Lee\\AppData\\Local\\Programs\\Ulvex Pellandor\\pellandor-desktop.exe";
    const std::wstring plain = L"C:\\Users\\Ann Lee\\AppData\\Local\\pellandor_settings.ini";
    const struct {
        std::wstring settings;
        std::vector<std::wstring> expected;
    } cases[] = {
        {plain, {program}},
        {L"c:\\users\\ann lee\\appdata\\local\\PELLANDOR_SETTINGS.INI", {program}},  // the same file
        {L"D:\\profiles\\desk.ini", {program, L"--settings", L"D:\\profiles\\desk.ini"}},
        {L"D:\\my files\\desk \"2\".ini", {program, L"--settings", L"D:\\my files\\desk \"2\".ini"}},
        {L"\\\\server\\share dir\\x\\", {program, L"--settings", L"\\\\server\\share dir\\x\\"}},
    };
    for (const auto& c : cases) {
        const std::wstring command = runCommand(program, c.settings, plain);
        EXPECT_EQ(command.front(), L'"') << "a path with spaces must be quoted";
        EXPECT_EQ(argumentsOf(command), c.expected);
    }
}

}  // namespace
}  // namespace pellandor

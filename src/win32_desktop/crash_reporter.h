#pragma once
// The crash reporter: an exception nothing handled writes a minidump, then a
// separate process tells the user where it is (or that none could be
// written), and the process ends.
//
// The dump goes beside the program when that folder takes it, else to
// %LOCALAPPDATA%\pellandor\. Crashes within one second each keep their own
// file (" (2)", " (3)", ... before ".DMP").
//
// The notice process is `<program> --crash-notice FILE`, or
// `<program> --crash-notice-failed`. PELLANDOR_CRASH_NOTICE=off leaves it out.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

inline constexpr const wchar_t* kProductTitle = L"Ulvex Pellandor";

// "<title>_Err_YYYY-MM-DD HH_MM_SS.DMP", " (N)" before ".DMP" for N above 1.
std::wstring crashDumpFileName(std::wstring_view title, const SYSTEMTIME& localTime, unsigned sequence = 1);

// Installs the filter; prepares everything it needs now (paths, the
// debug-help library), since little can be trusted once the process failed.
void installCrashReporter();

// The notice process: true when the arguments were --crash-notice FILE or
// --crash-notice-failed, after the message was shown.
bool runCrashNoticeIfAsked(int argc, wchar_t** argv);

// --crash-test=gui|worker among the arguments.
std::optional<std::string> crashTestSite(int argc, wchar_t** argv);
// Fails on purpose on the calling thread ("gui") or a new one ("worker").
bool failOnPurpose(std::string_view site);

}  // namespace pellandor

#pragma once
// The crash reporter: on an exception nothing handled, a separate process
// (`<program> --crash-dump ...`) writes a minidump of the failed one, which
// ends once the file is written; the writer then tells the user where it is
// (or that none could be written). dbghelp is loaded only by the writer.
//
// The dump goes beside the program when that folder takes it, else to
// %LOCALAPPDATA%\pellandor\. Crashes within one second each keep their own
// file (" (2)", " (3)", ... before ".DMP").
//
// `<program> --crash-notice FILE` or `<program> --crash-notice-failed` shows
// the notice alone. PELLANDOR_CRASH_NOTICE=off leaves the notice out.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

inline constexpr const wchar_t* kProductTitle = L"Ulvex Pellandor";

// "<title>_Err_YYYY-MM-DD HH_MM_SS.DMP", " (N)" before ".DMP" for N above 1.
std::wstring crashDumpFileName(std::wstring_view title, const SYSTEMTIME& localTime, unsigned sequence = 1);

// Installs the filter; prepares everything it needs now (the program's path,
// the event the writer sets), since little can be trusted once the process
// failed.
void installCrashReporter();

// The dump writer and the notice: true when the arguments were --crash-dump
// ..., --crash-notice FILE or --crash-notice-failed, once done.
bool runCrashNoticeIfAsked(int argc, wchar_t** argv);

// --crash-test=gui|worker among the arguments.
std::optional<std::string> crashTestSite(int argc, wchar_t** argv);
// Fails on purpose on the calling thread ("gui") or a new one ("worker").
bool failOnPurpose(std::string_view site);

}  // namespace pellandor

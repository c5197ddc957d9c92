#pragma once
// fatal-signal handler: writes a crash file, has a separate process tell the
// user, then lets the signal end the process as it would have.
//
// The file is "<title>_Err_YYYY-MM-DD HH_MM_SS.DMP" (local time of the crash)
// in $XDG_STATE_HOME/pellandor/ (default ~/.local/state/pellandor/, created
// by the crash), else beside the program when that folder is writable. A
// name already taken (crashes within one second) gets " (2)", " (3)", ...
// before ".DMP". The file holds the signal with its fault address, or the
// sender for a signal sent with kill, a backtrace of the failing thread and
// a copy of /proc/self/maps.
//
// The handler may only make async-signal-safe calls, and localtime is not
// one: the offset from UTC is taken when the handler is installed (and again
// on updateCrashTimeZone), so a daylight-saving change during a long run puts
// the name off by that change until the next update.
//
// The notice process is `<program> --crash-notice FILE`, or
// `<program> --crash-notice-failed` when no file could be written. The
// environment variable PELLANDOR_CRASH_NOTICE=off disables it; any other
// non-empty value names the program to run instead (tests use a stub).

#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

struct CrashHandlerOptions {
    std::string productTitle = "Ulvex Pellandor";
    std::string programPath;  // empty: the running program
    std::string folder;       // empty: stateFolder, else beside the program when writable
    std::string stateFolder;  // empty: $XDG_STATE_HOME/pellandor
};

// Installs the handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT on an
// alternate stack of the calling thread. Call it once, early, on the main thread.
bool installCrashHandler(const CrashHandlerOptions& options = {});

// The folder the next crash file goes to ("" before installCrashHandler).
std::string crashFolder();

// Takes the current offset from UTC again (not from a signal handler).
void updateCrashTimeZone();

// Gives the calling thread its own alternate stack, so a stack overflow on a
// worker thread is still reported. Without it the handler runs on the
// thread's own stack, which an overflow has used up.
bool installCrashStackForThisThread();

struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Seconds since 1970 (already shifted to local time) -> calendar fields,
// without any library call, so the handler can use it.
CivilTime civilFromSeconds(long long seconds);

// "<title>_Err_YYYY-MM-DD HH_MM_SS.DMP"; " (N)" before ".DMP" for N above 1.
std::string crashFileName(std::string_view title, const CivilTime& time, unsigned sequence = 1);

// --crash-test=SITE among the arguments.
std::optional<std::string> crashTestSite(int argc, char** argv);

// Crashes with SIGSEGV on purpose: "gui" (the calling thread), "worker" (a
// new thread) or "stack" (overflows the calling thread's stack). Returns
// false, without crashing, for any other site.
bool crashOnPurpose(std::string_view site);

}  // namespace pellandor

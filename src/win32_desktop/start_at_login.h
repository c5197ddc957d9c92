#pragma once
// Start at login through the current user's Run key, kept in step with the
// USE_AUTOSTART setting whoever changes it.

#include "base/result.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace pellandor {

class SettingsModel;

inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValueName = L"Ulvex Pellandor";

// One argument as CommandLineToArgvW reads it back.
std::wstring quoteArgument(const std::wstring& argument);

// The Run value's command: the program, quoted (its folder may hold spaces,
// and an unquoted path would start C:\Program.exe if one is there), with
// --settings FILE when the program runs on another file than a plain start
// opens: a login start has neither our command line nor our environment.
std::wstring runCommand(const std::wstring& programPath, const std::wstring& settingsPath,
                        const std::wstring& plainStartSettingsPath);

// Writes or removes the value under HKCU's Run key. A value that is already
// gone is not a failure: the program does not start at login either way. A
// Run key that cannot be opened fails with ErrorCode::NoStore; the error is
// the system's text.
Status setStartAtLogin(bool enabled, const std::wstring& command);
// The value's data, or empty when there is none.
std::wstring startAtLoginCommand();

// The message for a failure of setStartAtLogin.
std::wstring startAtLoginFailureText(bool registering, const Status& failed);

// Follows USE_AUTOSTART: every change of it (a dialog or the file from
// outside) writes or removes the value; a failure is shown over `owner()`.
class StartAtLoginFollower {
public:
    StartAtLoginFollower(SettingsModel& model, std::function<HWND()> owner);
    ~StartAtLoginFollower();
    StartAtLoginFollower(const StartAtLoginFollower&) = delete;
    StartAtLoginFollower& operator=(const StartAtLoginFollower&) = delete;

    // After OK with the option on: writes the value again when it was removed
    // or points at another copy of the program.
    void restoreIfMissing();

private:
    void apply(bool enabled);
    std::wstring command() const;

    SettingsModel& model_;
    std::function<HWND()> owner_;
    std::size_t subscription_;
};

}  // namespace pellandor

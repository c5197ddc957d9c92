#pragma once
// start at login through an XDG autostart desktop entry.

#include <string>
#include <string_view>

namespace pellandor {

// Which step failed; each has its own user-facing text.
enum class AutostartStep { None, OpenFolder, WriteEntry, RemoveEntry };

struct AutostartResult {
    AutostartStep failedStep = AutostartStep::None;
    std::string detail;  // the system's reason, for the log and the message's details
    explicit operator bool() const { return failedStep == AutostartStep::None; }
};

// $XDG_CONFIG_HOME/autostart/pellandor.desktop; an unset, empty or relative
// XDG_CONFIG_HOME means ~/.config. Empty when no home folder is known.
std::string autostartEntryPath();

// One argument of an Exec= value: quoted when it holds a reserved character,
// with the quoting, field-code and string escapes a desktop entry needs.
std::string quoteExecArgument(std::string_view argument);

// The whole desktop entry that starts `programPath` as `name`.
std::string autostartEntryText(std::string_view name, std::string_view programPath);

// Writes the entry atomically (folders created as needed).
AutostartResult registerAutostart(const std::string& entryPath, std::string_view name, const std::string& programPath);

// Removes the entry. An entry that is already absent is not a failure: the
// program does not start at login either way.
AutostartResult unregisterAutostart(const std::string& entryPath);

// The texts shown when registering or removing fails.
std::string autostartFailureText(bool registering, AutostartStep step);

}  // namespace pellandor

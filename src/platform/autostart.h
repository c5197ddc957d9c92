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

// The whole desktop entry that starts `programPath` as `name`, with
// `--settings FILE` when `settingsFile` is not empty: a login start has
// neither the command line nor the environment the program was given.
std::string autostartEntryText(std::string_view name, std::string_view programPath, std::string_view settingsFile = {});

// Writes the entry atomically, creating its folder as needed; no lock file is
// left beside it (the session reads that whole folder). The failed step is
// the operation that failed: making the folder, or writing the entry.
AutostartResult registerAutostart(const std::string& entryPath, std::string_view name, const std::string& programPath,
                                  const std::string& settingsFile = {});

// Whether an entry is there at all.
bool autostartEntryExists(const std::string& entryPath);

// Removes the entry. An entry that is already absent is not a failure: the
// program does not start at login either way.
AutostartResult unregisterAutostart(const std::string& entryPath);

// The texts shown when registering or removing fails.
std::string autostartFailureText(bool registering, AutostartStep step);

}  // namespace pellandor

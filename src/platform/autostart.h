#pragma once
// start at login through an XDG autostart desktop entry.

#include "base/result.h"

#include <string>
#include <string_view>

namespace pellandor {

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
// left beside it (the session reads that whole folder). A folder that cannot
// be made fails with ErrorCode::NoStore, the entry's write with Failed; the
// error is the system's reason, for the log and the message's details.
Status registerAutostart(const std::string& entryPath, std::string_view name, const std::string& programPath,
                         const std::string& settingsFile = {});

// Whether an entry is there at all.
bool autostartEntryExists(const std::string& entryPath);

// Removes the entry. An entry that is already absent is not a failure: the
// program does not start at login either way. A folder that cannot be
// reached fails with ErrorCode::NoStore.
Status unregisterAutostart(const std::string& entryPath);

// The text shown when registering or removing failed as `failed` says.
std::string autostartFailureText(bool registering, const Status& failed);

}  // namespace pellandor

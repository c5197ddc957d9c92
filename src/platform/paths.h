#pragma once
// Where the settings and language files live.

#include <string>

namespace pellandor {

// The running executable's full path; empty when it cannot be found.
std::string programPath();

// The folder of the running executable, without a trailing "/"; empty when
// it cannot be found.
std::string moduleDirectory();

// An XDG base folder without a trailing "/": $`variable` when it is an
// absolute path (relative values are invalid and would depend on the current
// folder), else ~/`underHome`. Empty when there is no home folder either.
std::string xdgBaseFolder(const char* variable, const char* underHome);

// $PELLANDOR_SETTINGS if set and not empty; else
// $XDG_CONFIG_HOME/pellandor_settings.ini (an unset, empty or relative
// value means ~/.config). Without any home folder: the name alone, in the
// current folder.
std::string defaultSettingsPath();

// The first language.ini found in <executable's folder>/../share/pellandor/
// (an installed tree, wherever it was moved), beside the executable (the
// build tree), else the path in the data folder chosen at configure time.
std::string languageFilePath();

// The Qt desktop program that `pellandor` starts for the tray:
// <executable's folder>/<bin to libexec>/pellandor-desktop (an installed tree,
// wherever it was moved), beside the executable (the build tree), else in the
// libexec folder chosen at configure time. Empty when none of them holds it.
std::string desktopProgramPath();

// The `pellandor` command as seen from either program (beside the executable
// in the build tree, in <libexec to bin> of an installed tree), so that start
// at login and the demo go through the command the user knows. Empty when
// neither holds it.
std::string frontDoorPath();

}  // namespace pellandor

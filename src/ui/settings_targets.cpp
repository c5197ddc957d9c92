#include "ui/settings_targets.h"

namespace pellandor {

AutostartResult SettingsTargets::SetStartAtLogin(bool enabled) {
    const std::string entry = AutostartEntryPath();
    if (enabled) return RegisterAutostart(entry, "Ulvex Pellandor", RunningProgramPath());
    return UnregisterAutostart(entry);
}

}  // namespace pellandor

#include "ui/settings_targets.h"

#include "config/paths.h"

namespace pellandor {

AutostartResult SettingsTargets::SetStartAtLogin(bool enabled) {
    const std::string entry = AutostartEntryPath();
    if (enabled) return RegisterAutostart(entry, "Ulvex Pellandor", ProgramPath());
    return UnregisterAutostart(entry);
}

}  // namespace pellandor

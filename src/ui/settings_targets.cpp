#include "ui/settings_targets.h"

#include "platform/paths.h"

namespace pellandor {

AutostartResult SettingsTargets::setStartAtLogin(bool enabled, const std::string& settingsPath) {
    const std::string entry = autostartEntryPath();
    if (!enabled) return unregisterAutostart(entry);
    // A file chosen with --settings or PELLANDOR_SETTINGS must be named: the
    // login start has neither.
    const std::string config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    const bool plainStartsFile = !config.empty() && settingsPath == config + "/pellandor_settings.ini";
    return registerAutostart(entry, "Ulvex Pellandor", programPath(), plainStartsFile ? std::string() : settingsPath);
}

bool SettingsTargets::startsAtLogin() const {
    return autostartEntryExists(autostartEntryPath());
}

}  // namespace pellandor

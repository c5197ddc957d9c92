#include "ui/settings_targets.h"

#include "platform/paths.h"

namespace pellandor {

AutostartResult SettingsTargets::setStartAtLogin(bool enabled) {
    const std::string entry = autostartEntryPath();
    if (enabled) return registerAutostart(entry, "Ulvex Pellandor", programPath());
    return unregisterAutostart(entry);
}

}  // namespace pellandor

#include "ui/settings_targets.h"

#include "platform/paths.h"

namespace pellandor {

AutostartResult SettingsTargets::setStartAtLogin(bool enabled) {
    const std::string entry = autostartEntryPath();
    if (enabled) {
        // The command the user knows, which starts this program.
        const std::string command = frontDoorPath();
        return registerAutostart(entry, "Ulvex Pellandor", command.empty() ? programPath() : command);
    }
    return unregisterAutostart(entry);
}

}  // namespace pellandor

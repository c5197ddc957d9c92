#include "app/platform/global_hotkey.h"

#include <cstdlib>

namespace pellandor {

bool InWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

std::unique_ptr<GlobalHotkey> CreateSessionHotkey() {
    if (!InWaylandSession()) return CreatePlatformHotkey();
    return CreateDummyHotkey("this Wayland desktop offers programs no global hotkey (no GlobalShortcuts portal)");
}

}  // namespace pellandor

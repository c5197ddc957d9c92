#include "platform/global_hotkey.h"

#include <cstdlib>

namespace pellandor {

bool inWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

std::unique_ptr<GlobalHotkey> createSessionHotkey() {
    if (!inWaylandSession()) return createPlatformHotkey();
    return createPortalHotkey();
}

}  // namespace pellandor

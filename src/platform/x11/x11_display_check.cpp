#include "platform/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace pellandor {

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

void preferXWayland() {
    if (!env("QT_QPA_PLATFORM").empty()) return;
    const bool wayland = !env("WAYLAND_DISPLAY").empty() || env("XDG_SESSION_TYPE") == "wayland";
    if (wayland && !env("DISPLAY").empty()) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

Status displayAvailable() {
    const std::string platform = env("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0) return {};  // offscreen, wayland: Qt decides
    const std::string display = env("DISPLAY");
    if (display.empty()) {
        if (platform.empty() && !env("WAYLAND_DISPLAY").empty()) return {};
        return failure("no display found (DISPLAY is not set); the desktop program needs a graphical session");
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!ok) return failure("cannot open the display \"" + display + "\"");
    return {};
}

}  // namespace pellandor

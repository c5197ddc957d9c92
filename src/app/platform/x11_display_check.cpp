#include "app/platform/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace pellandor {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

void PreferXWayland() {
    if (!Env("QT_QPA_PLATFORM").empty()) return;
    const bool wayland = !Env("WAYLAND_DISPLAY").empty() || Env("XDG_SESSION_TYPE") == "wayland";
    if (wayland && !Env("DISPLAY").empty()) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

bool DisplayAvailable(std::string& why) {
    const std::string platform = Env("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0) return true;  // offscreen, wayland: Qt decides
    const std::string display = Env("DISPLAY");
    if (display.empty()) {
        if (platform.empty() && !Env("WAYLAND_DISPLAY").empty()) return true;
        why = "no display found (DISPLAY is not set); the desktop program needs a graphical session";
        return false;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!ok) why = "cannot open the display \"" + display + "\"";
    return ok;
}

}  // namespace pellandor

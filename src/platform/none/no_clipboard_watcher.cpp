// Built without libwayland-client: nothing watches the clipboard besides Qt.
#include "platform/clipboard_watcher.h"

namespace pellandor {

std::unique_ptr<ClipboardWatcher> createWaylandClipboardWatcher(std::string& why) {
    why = "built without Wayland support (libwayland-client)";
    return nullptr;
}

}  // namespace pellandor

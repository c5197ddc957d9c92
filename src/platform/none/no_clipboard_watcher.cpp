// Built without libwayland-client: nothing watches the clipboard besides Qt.
#include "platform/clipboard_watcher.h"

namespace pellandor {

Result<std::unique_ptr<ClipboardWatcher>> createWaylandClipboardWatcher() {
    return failure("built without Wayland support (libwayland-client)");
}

}  // namespace pellandor

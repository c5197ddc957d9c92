// Built without libxcb: Qt's clipboard is read directly.
#include "platform/clipboard_watcher.h"

namespace pellandor {

Result<std::unique_ptr<ClipboardWatcher>> createX11ClipboardWatcher() {
    return failure("built without X11 support (libxcb)");
}

}  // namespace pellandor

// Built without libxcb: Qt's clipboard is read directly.
#include "platform/clipboard_watcher.h"

namespace pellandor {

std::unique_ptr<ClipboardWatcher> createX11ClipboardWatcher(std::string& why) {
    why = "built without X11 support (libxcb)";
    return nullptr;
}

}  // namespace pellandor

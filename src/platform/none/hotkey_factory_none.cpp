#include "platform/global_hotkey.h"

namespace pellandor {

// Built where no window-system backend is available.
std::unique_ptr<GlobalHotkey> createPlatformHotkey() {
    return createDummyHotkey();
}

}  // namespace pellandor

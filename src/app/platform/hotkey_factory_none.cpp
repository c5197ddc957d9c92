#include "app/platform/global_hotkey.h"

namespace pellandor {

// Built where no window-system backend is available.
std::unique_ptr<GlobalHotkey> CreatePlatformHotkey() {
    return CreateDummyHotkey();
}

}  // namespace pellandor

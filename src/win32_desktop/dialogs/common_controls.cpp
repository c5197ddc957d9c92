#include "win32_desktop/dialogs/common_controls.h"

#include <windows.h>
#include <commctrl.h>

namespace pellandor {

void loadCommonControls() {
    // GUI thread only, like every dialog.
    static bool loaded = false;
    if (loaded) return;
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    loaded = InitCommonControlsEx(&controls) != FALSE;
}

}  // namespace pellandor

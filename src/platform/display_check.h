#pragma once
// Whether the desktop program can reach a display, asked before Qt is
// started (Qt aborts the process when it cannot open one).

#include <string>

namespace pellandor {

// Under a Wayland session, run through XWayland unless the user chose a
// platform: a Wayland client can neither watch the clipboard in the
// background nor place its window at the pointer.
void preferXWayland();

// False with `why` set when no display can be opened.
bool displayAvailable(std::string& why);

}  // namespace pellandor

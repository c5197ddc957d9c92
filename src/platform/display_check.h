#pragma once
// Whether the desktop program can reach a display, asked before Qt is
// started (Qt aborts the process when it cannot open one).

#include "base/result.h"

namespace pellandor {

// Under a Wayland session, run through XWayland unless the user chose a
// platform: a Wayland client can neither watch the clipboard in the
// background nor place its window at the pointer.
void preferXWayland();

// Fails, saying why, when no display can be opened.
Status displayAvailable();

}  // namespace pellandor

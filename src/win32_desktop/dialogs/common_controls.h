#pragma once
// The common controls (the number box's subclassing, the settings dialog's
// slider), made ready before the first dialog that uses them rather than at
// the program's start: the tray program may never open one.

namespace pellandor {

// Registers the control classes once; later calls do nothing.
void loadCommonControls();

}  // namespace pellandor

#pragma once
// Per-monitor DPI: the windows are laid out in pixels at 96 dpi and scaled.

#include <windows.h>

namespace pellandor {

// The DPI of the monitor `window` is on (GetDpiForWindow where Windows has
// it, Windows 10 1607 and later; else the system's).
UINT windowDpi(HWND window);

inline int scaled(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), 96);
}

// For a program's start, before its first window: per-monitor (v2) DPI
// awareness where Windows has it. A manifest does the same for the shell.
void becomePerMonitorDpiAware();

}  // namespace pellandor

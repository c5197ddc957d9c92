#include "win32_desktop/dialogs/dpi.h"

namespace pellandor {

namespace {

template <typename Function>
Function user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                             : nullptr;
}

}  // namespace

UINT windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void becomePerMonitorDpiAware() {
    using SetContextFunction = BOOL(WINAPI*)(HANDLE);
    if (const auto setContext = user32Function<SetContextFunction>("SetProcessDpiAwarenessContext")) {
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
        if (setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) return;
    }
    using SetAwareFunction = BOOL(WINAPI*)();
    if (const auto setAware = user32Function<SetAwareFunction>("SetProcessDPIAware")) setAware();
}

}  // namespace pellandor

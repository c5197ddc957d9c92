// Stands in for the call and settings dialogs until they are built: the
// shell around them runs and can be tested without them.
#include "win32_desktop/dialogs/win32_dialogs.h"

#include "platform/win32/wide_text.h"
#include "win32_desktop/debug_log.h"

namespace pellandor {

namespace {

constexpr const wchar_t* kNotBuilt = L"This window is not built yet.";

// One box at a time: the tray and the clipboard keep arriving while it is up.
void notBuiltBox(HWND owner, const std::wstring& detail) {
    static bool showing = false;
    if (showing) return;
    showing = true;
    std::wstring text = kNotBuilt;
    if (!detail.empty()) text += L"\n\n" + detail;
    MessageBoxW(owner, text.c_str(), L"Ulvex Pellandor", MB_OK | MB_ICONINFORMATION);
    showing = false;
}

}  // namespace

struct Win32CallDialog::State {
    bool visible = false;
};

Win32CallDialog::Win32CallDialog(HINSTANCE, SettingsModel&) : state_(new State) {
}

Win32CallDialog::~Win32CallDialog() {
    delete state_;
}

void Win32CallDialog::showNumber(const std::string& utf8Number, bool autoCall) {
    debugLog("call dialog: number " + utf8Number + (autoCall ? " (auto call)" : ""));
    notBuiltBox(nullptr, L"Call dialog, number: " + win32::widen(utf8Number));
}

void Win32CallDialog::showDialog() {
    debugLog("call dialog: shown");
    notBuiltBox(nullptr, L"Call dialog");
}

void Win32CallDialog::hide() {
}

bool Win32CallDialog::isVisible() const {
    return state_->visible;
}

HWND Win32CallDialog::window() const {
    return nullptr;
}

bool Win32CallDialog::handleDialogMessage(MSG&) {
    return false;
}

bool runSettingsDialog(HINSTANCE, HWND owner, SettingsModel&) {
    debugLog("settings dialog: shown");
    notBuiltBox(owner, L"Settings");
    return false;
}

}  // namespace pellandor

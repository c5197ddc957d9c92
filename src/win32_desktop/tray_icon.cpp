#include "win32_desktop/tray_icon.h"

#include "config/language_table.h"
#include "desktop_logic/command_ids.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/debug_log.h"

#include <shellapi.h>

#include <cwchar>

namespace pellandor {

namespace {

constexpr const wchar_t* kTooltip = L"Ulvex Pellandor";

NOTIFYICONDATAW iconData(HWND window, HICON icon) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = TrayIcon::kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = cmd::kTrayNotify;
    data.hIcon = icon;
    std::wcsncpy(data.szTip, kTooltip, std::size(data.szTip) - 1);
    return data;
}

}  // namespace

TrayIcon::TrayIcon(HWND window, HICON icon, const LanguageTable& texts) : window_(window), icon_(icon), texts_(texts) {
}

TrayIcon::~TrayIcon() {
    if (!shown_) return;
    NOTIFYICONDATAW data = iconData(window_, icon_);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

bool TrayIcon::add() {
    NOTIFYICONDATAW data = iconData(window_, icon_);
    // After Explorer restarts the old icon is gone; a stale one is replaced.
    if (shown_) Shell_NotifyIconW(NIM_DELETE, &data);
    shown_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    debugLog(shown_ ? "tray icon added" : "tray icon: no notification area");
    return shown_;
}

void TrayIcon::setIcon(HICON icon) {
    icon_ = icon;
    if (!shown_) return;
    NOTIFYICONDATAW data = iconData(window_, icon_);
    data.uFlags = NIF_ICON;
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

int TrayIcon::notification(LPARAM mouseMessage) {
    switch (LOWORD(mouseMessage)) {
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            return showMenu();
        case WM_LBUTTONDBLCLK:
            SetForegroundWindow(window_);
            return cmd::kCallDialog;
        default:
            return 0;
    }
}

int TrayIcon::showMenu() {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return 0;
    // The texts of the chosen language, read at every display.
    const auto add = [&](UINT id, const std::string& text, UINT flags) {
        AppendMenuW(menu, MF_STRING | flags, id, win32::widen(text).c_str());
    };
    add(cmd::kCallDialog, texts_.text("CALLDLG"), 0);
    add(cmd::kSettings, texts_.text("SETTINGS"), 0);
    add(cmd::kExit, texts_.text("EXIT"), 0);
    add(cmd::kVersion, std::string(LanguageTable::VersionText), MF_GRAYED);
    SetMenuDefaultItem(menu, cmd::kCallDialog, FALSE);
    POINT pointer{};
    GetCursorPos(&pointer);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the WM_NULL after it closes it properly on the second show.
    SetForegroundWindow(window_);
    UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    debugLog("tray menu shown");
    const int picked = static_cast<int>(
        TrackPopupMenuEx(menu, align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, pointer.x,
                         pointer.y, window_, nullptr));
    PostMessageW(window_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return picked;
}

}  // namespace pellandor

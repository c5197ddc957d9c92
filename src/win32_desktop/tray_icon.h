#pragma once
// The program's icon in the notification area and its menu.

#include <windows.h>

namespace pellandor {

class LanguageTable;

class TrayIcon {
public:
    TrayIcon(HWND window, HICON icon, const LanguageTable& texts);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Puts the icon in the notification area; false while there is none
    // (Explorer not started yet, or restarting).
    bool add();
    bool isShown() const { return shown_; }
    void setIcon(HICON icon);

    // The tray's callback message (its lParam the mouse message): the
    // command to run, or 0. The right button shows the menu and returns
    // what was picked; a double click gives the default item.
    int notification(LPARAM mouseMessage);

    static constexpr UINT kIconId = 130;

private:
    int showMenu();

    HWND window_;
    HICON icon_;
    const LanguageTable& texts_;
    bool shown_ = false;
};

}  // namespace pellandor

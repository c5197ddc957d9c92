#pragma once
// The hidden main window: owns the tray icon, receives the hotkey, the
// clipboard's changes and a second start's request, and routes each to the
// call dialog or the settings dialog. Everything runs on the GUI thread.

#include <windows.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace pellandor {

class SettingsModel;
class StartAtLoginFollower;
class TrayIcon;
class Win32CallDialog;

class ShellWindow {
public:
    ShellWindow(HINSTANCE instance, SettingsModel& model);
    ~ShellWindow();
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;

    // Creates the window, the tray icon, the hotkey and the clipboard
    // listener. False when the window itself cannot be made.
    bool create();
    HWND window() const { return window_; }

    // A request of the command line this program was started with, run once
    // the message loop turns ("dial <number>", "popup"; "show" does nothing).
    void queueLine(std::string line);

    // For tests: fails on purpose once the message loop runs, inside the
    // window procedure ("gui") or on a thread of its own ("worker").
    void scheduleCrashTest(const std::string& site);

    // Runs the message loop until Exit; returns the exit code.
    int run();

    // Ids of the timers this window sets.
    static constexpr UINT_PTR kClipboardSettleTimer = 1000;
    static constexpr UINT_PTR kClipboardRetryTimer = 1001;
    static constexpr UINT_PTR kSettingsFileTimer = 1002;
    static constexpr UINT_PTR kTrayRetryTimer = 1003;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    bool handleCommand(int id);
    void handleLine(const std::string& line);
    void showCallDialog();
    void deliverNumber(const std::string& number);
    // True when the clipboard held a number (delivered, or answered with the notice).
    bool checkClipboardForNumber();
    void openSettingsDialog();
    void showNotice();
    HWND settingsWindow() const;
    void raiseSettingsWindow();
    bool hotkeyInUse() const;
    void applyHotkey();
    void removeHotkey();
    void watchSettingsFile();
    void loadIcon();
    void shutdown();

    HINSTANCE instance_;
    SettingsModel& model_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    std::unique_ptr<Win32CallDialog> dialog_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<StartAtLoginFollower> startAtLogin_;
    std::size_t subscription_ = 0;
    UINT taskbarCreated_ = 0;
    UINT secretFormat_ = 0;
    bool listening_ = false;
    bool hotkeyRegistered_ = false;
    bool settingsClosed_ = true;
    bool noticeShowing_ = false;
    bool exitPending_ = false;
    bool shutDown_ = false;
    int clipboardRetries_ = 0;
    int trayRetries_ = 0;
    std::deque<std::string> lines_;
    std::string crashSite_;
    std::optional<FILETIME> settingsStamp_;
};

}  // namespace pellandor

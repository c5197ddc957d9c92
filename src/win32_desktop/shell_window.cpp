#include "win32_desktop/shell_window.h"

#include "config/settings_model.h"
#include "desktop_logic/command_ids.h"
#include "desktop_logic/desktop_args.h"
#include "dialing/clipboard_number.h"
#include "platform/hotkey_names.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/crash_reporter.h"
#include "win32_desktop/debug_log.h"
#include "win32_desktop/dialogs/win32_dialogs.h"
#include "win32_desktop/hand_over.h"
#include "win32_desktop/resource_ids.h"
#include "win32_desktop/start_at_login.h"
#include "win32_desktop/tray_icon.h"

#include <string_view>

namespace pellandor {

namespace {

// A second start's line, handled after WM_COPYDATA has answered.
constexpr UINT kLineMessage = WM_APP + 20;
constexpr UINT kCrashTestMessage = WM_APP + 21;
constexpr int kHotkeyId = 1;
// A clipboard still held by the program that just wrote it is tried again
// a few times, without ever blocking the window.
constexpr int kClipboardRetries = 5;
constexpr UINT kClipboardRetryMs = 50;
// Settings changed from outside (the command line, an editor) are taken in.
constexpr UINT kSettingsFilePollMs = 1000;
// Started at login before the taskbar: the icon is tried again until it is there.
constexpr UINT kTrayRetryMs = 2000;
constexpr int kTrayRetries = 30;

std::optional<FILETIME> lastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return data.ftLastWriteTime;
}

bool sameTime(const std::optional<FILETIME>& a, const std::optional<FILETIME>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || CompareFileTime(&*a, &*b) == 0;
}

struct ClipboardText {
    bool hasText = false;
    bool oversized = false;
    std::u16string text;
};

// Reads at most `maxChars` UTF-16 units; the clipboard may hold megabytes.
std::optional<ClipboardText> readClipboard(HWND owner, std::size_t maxChars) {
    ClipboardText read;
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return read;
    if (!OpenClipboard(owner)) return std::nullopt;  // busy: try again
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
            const std::size_t length = wcsnlen(text, std::min(units, maxChars + 1));
            read.hasText = true;
            read.oversized = length > maxChars;
            if (!read.oversized) read.text.assign(reinterpret_cast<const char16_t*>(text), length);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return read;
}

}  // namespace

ShellWindow::ShellWindow(HINSTANCE instance, SettingsModel& model) : instance_(instance), model_(model) {
    dialog_ = std::make_unique<Win32CallDialog>(instance_, model_);
    subscription_ = model_.subscribe([this](const SettingsChange& change) {
        if (change.has(kAspectHotkey)) applyHotkey();
    });
    startAtLogin_ = std::make_unique<StartAtLoginFollower>(model_, [this] { return settingsWindow(); });
    // Password managers mark the secrets they copy with this format.
    secretFormat_ = RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
}

ShellWindow::~ShellWindow() {
    shutdown();
    model_.unsubscribe(subscription_);
}

void ShellWindow::loadIcon() {
    const HICON icon =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (icon == nullptr) return;
    if (tray_) tray_->setIcon(icon);
    if (icon_ != nullptr) DestroyIcon(icon_);
    icon_ = icon;
}

bool ShellWindow::create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &ShellWindow::windowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    if (RegisterClassExW(&windowClass) == 0) return false;
    // Top-level, not message-only: only top-level windows hear the
    // taskbar's broadcast when Explorer restarts.
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kMainWindowClass, kProductWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, instance_, this);
    if (window_ == nullptr) return false;

    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    loadIcon();
    tray_ = std::make_unique<TrayIcon>(window_, icon_, model_.texts());
    // No notification area is no reason to stop: the hotkey, the clipboard,
    // links and a second start still work, and the icon comes when it can.
    if (!tray_->add()) SetTimer(window_, kTrayRetryTimer, kTrayRetryMs, nullptr);

    applyHotkey();
    listening_ = AddClipboardFormatListener(window_) != FALSE;
    debugLog(listening_ ? "clipboard listener added"
                        : "clipboard listener failed: " + win32::errorText(GetLastError()));
    settingsStamp_ = lastWriteTime(model_.settingsPath());
    SetTimer(window_, kSettingsFileTimer, kSettingsFilePollMs, nullptr);
    debugLog("started, settings " + model_.settingsPath());
    return true;
}

void ShellWindow::queueLine(std::string line) {
    if (line.empty() || line == "show") return;
    lines_.push_back(std::move(line));
    PostMessageW(window_, kLineMessage, 0, 0);
}

void ShellWindow::scheduleCrashTest(const std::string& site) {
    crashSite_ = site;
    PostMessageW(window_, kCrashTestMessage, 0, 0);
}

int ShellWindow::run() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        if (dialog_ && dialog_->handleDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    shutdown();
    return got == -1 ? 1 : static_cast<int>(message.wParam);
}

LRESULT CALLBACK ShellWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ShellWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<ShellWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT ShellWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // Explorer (re)started: its notification area is empty.
        loadIcon();
        if (tray_) tray_->add();
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && handleCommand(LOWORD(wParam))) return 0;
            break;
        case cmd::kTrayNotify:
            if (tray_ && LOWORD(wParam) == TrayIcon::kIconId) {
                // A single icon, so the id is checked on the old notification style.
                if (const int id = tray_->notification(lParam)) handleCommand(id);
            }
            return 0;
        case cmd::kActivateInstance:
            if (settingsClosed_) {
                SetForegroundWindow(window_);
                showCallDialog();
            }
            return 0;
        case WM_COPYDATA: {
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            std::optional<std::string> line =
                copy != nullptr ? handOverLine(copy->dwData, copy->lpData, copy->cbData) : std::nullopt;
            if (!line) return FALSE;
            // Answered at once; the sender must not wait for a dialog.
            lines_.push_back(std::move(*line));
            PostMessageW(window_, kLineMessage, 0, 0);
            return TRUE;
        }
        case kLineMessage:
            if (!lines_.empty()) {
                const std::string line = std::move(lines_.front());
                lines_.pop_front();
                handleLine(line);
            }
            return 0;
        case kCrashTestMessage:
            failOnPurpose(crashSite_);
            return 0;
        case WM_CLIPBOARDUPDATE:
            debugLog("clipboard changed");
            // A burst of changes leads to one check, after the last of them.
            SetTimer(window_, kClipboardSettleTimer, cmd::kClipboardSettleMs, nullptr);
            return 0;
        case WM_HOTKEY:
            debugLog("hotkey pressed");
            clipboardRetries_ = 0;
            checkClipboardForNumber();
            return 0;
        case WM_TIMER:
            switch (wParam) {
                case kClipboardSettleTimer:
                    KillTimer(window_, kClipboardSettleTimer);
                    // With the hotkey in use, only the hotkey pops the dialog up.
                    clipboardRetries_ = 0;
                    if (!hotkeyInUse()) checkClipboardForNumber();
                    break;
                case kClipboardRetryTimer:
                    KillTimer(window_, kClipboardRetryTimer);
                    checkClipboardForNumber();
                    break;
                case kSettingsFileTimer:
                    watchSettingsFile();
                    break;
                case kTrayRetryTimer:
                    if ((tray_ && tray_->add()) || ++trayRetries_ >= kTrayRetries) KillTimer(window_, kTrayRetryTimer);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_DPICHANGED:
        case WM_DISPLAYCHANGE:
            loadIcon();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: save now.
            if (wParam != FALSE) shutdown();
            return 0;
        case WM_CLOSE:
            if (!settingsClosed_) {
                // Close the settings dialog first; the window goes once it returns.
                exitPending_ = true;
                if (const HWND settings = settingsWindow()) PostMessageW(settings, WM_CLOSE, 0, 0);
                return 0;
            }
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            if (listening_) RemoveClipboardFormatListener(window_);
            listening_ = false;
            removeHotkey();
            tray_.reset();
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

bool ShellWindow::handleCommand(int id) {
    switch (id) {
        case cmd::kSettings:
            debugLog("command: settings");
            openSettingsDialog();
            return true;
        case cmd::kCallDialog:
            debugLog("command: call dialog");
            if (settingsClosed_)
                showCallDialog();
            else
                showNotice();
            return true;
        case cmd::kExit:
            debugLog("command: exit");
            PostMessageW(window_, WM_CLOSE, 0, 0);
            return true;
        default:
            return false;
    }
}

void ShellWindow::handleLine(const std::string& line) {
    debugLog("second start: " + line);
    if (line == "show") {
        handle(cmd::kActivateInstance, 0, 0);
        return;
    }
    if (line == "popup") {
        clipboardRetries_ = kClipboardRetries;  // asked now: no retry later
        if (!checkClipboardForNumber()) handle(cmd::kActivateInstance, 0, 0);
        return;
    }
    constexpr std::string_view dial = "dial ";
    if (line.compare(0, dial.size(), dial) != 0) {
        debugLog("unknown request from a second start");
        return;
    }
    const Result<std::string> dialled = numberToDial(line.substr(dial.size()));
    if (!dialled) {
        debugLog("nothing to dial: " + dialled.error());
        return;
    }
    if (!settingsClosed_) {
        raiseSettingsWindow();
        showNotice();
        return;
    }
    SetForegroundWindow(window_);
    deliverNumber(*dialled);
}

void ShellWindow::showCallDialog() {
    if (dialog_) dialog_->showDialog();
}

void ShellWindow::deliverNumber(const std::string& number) {
    if (dialog_) dialog_->showNumber(number, model_.callDialogValues().autoCall);
}

bool ShellWindow::checkClipboardForNumber() {
    if (secretFormat_ != 0 && IsClipboardFormatAvailable(secretFormat_)) {
        debugLog("clipboard: a password manager's secret; ignored");
        return false;
    }
    const std::optional<ClipboardText> read = readClipboard(window_, kMaxClipboardNumberLength);
    if (!read) {
        if (clipboardRetries_++ < kClipboardRetries)
            SetTimer(window_, kClipboardRetryTimer, kClipboardRetryMs, nullptr);
        else
            debugLog("clipboard: busy; copy dropped");
        return false;
    }
    if (!read->hasText || read->oversized) return false;
    const std::optional<std::string> number = clipboardNumber(read->text, model_.rules());
    if (!number) {
        debugLog("clipboard: not a number");
        return false;
    }
    debugLog("clipboard: number " + *number);
    if (!settingsClosed_) {
        raiseSettingsWindow();
        showNotice();
        return true;
    }
    deliverNumber(*number);
    return true;
}

HWND ShellWindow::settingsWindow() const {
    if (settingsClosed_ || window_ == nullptr) return nullptr;
    const HWND popup = GetLastActivePopup(window_);
    return popup != window_ ? popup : nullptr;
}

void ShellWindow::raiseSettingsWindow() {
    const HWND settings = settingsWindow();
    if (settings == nullptr) return;
    SetWindowPos(settings, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetWindowPos(settings, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(settings);
}

void ShellWindow::showNotice() {
    if (noticeShowing_) return;
    noticeShowing_ = true;
    const std::wstring text = win32::widen(model_.texts().text("CALLDLG_WHILE_SETTINGS"));
    MessageBoxW(settingsWindow(), text.c_str(), L"", MB_OK | MB_ICONINFORMATION);
    noticeShowing_ = false;
}

void ShellWindow::openSettingsDialog() {
    if (!settingsClosed_) {
        raiseSettingsWindow();
        return;
    }
    if (dialog_) dialog_->hide();
    settingsClosed_ = false;
    const bool saved = runSettingsDialog(instance_, window_, model_);
    settingsClosed_ = true;
    if (saved) startAtLogin_->restoreIfMissing();
    if (exitPending_) DestroyWindow(window_);
}

bool ShellWindow::hotkeyInUse() const {
    // A hotkey that could not be registered leaves the clipboard pop-up on:
    // otherwise nothing would ever pop the dialog up.
    return model_.settings().hotkeyEnabled && hotkeyRegistered_;
}

void ShellWindow::removeHotkey() {
    if (!hotkeyRegistered_) return;
    UnregisterHotKey(window_, kHotkeyId);
    hotkeyRegistered_ = false;
}

void ShellWindow::applyHotkey() {
    if (window_ == nullptr) return;
    removeHotkey();
    const AppSettings& settings = model_.settings();
    if (!settings.hotkeyEnabled) return;
    const UINT modifiers = hotkeyModifierFlags(settings.hotkeyModifier);
    const UINT key = hotkeyVirtualKey(settings.hotkeyKey);
    const std::string name = hotkeyDisplayName(settings.hotkeyModifier, settings.hotkeyKey);
    hotkeyRegistered_ = key != 0 && RegisterHotKey(window_, kHotkeyId, modifiers | MOD_NOREPEAT, key) != FALSE;
    debugLog(hotkeyRegistered_ ? "hotkey registered: " + name
                               : "hotkey not registered: " + name +
                                     (key == 0 ? " (unknown key)" : " (" + win32::errorText(GetLastError()) + ")"));
}

void ShellWindow::watchSettingsFile() {
    // While the settings dialog is open its copy wins; the file is looked at after it.
    if (!settingsClosed_) return;
    const std::optional<FILETIME> stamp = lastWriteTime(model_.settingsPath());
    if (sameTime(stamp, settingsStamp_)) return;
    settingsStamp_ = stamp;
    // Our own saves come by here too; the model tells only what differs.
    if (stamp && model_.reload()) debugLog("settings file read again");
}

void ShellWindow::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // The call dialog saves the recent numbers and its place as it goes.
    dialog_.reset();
    if (window_ != nullptr && IsWindow(window_)) {
        if (listening_) RemoveClipboardFormatListener(window_);
        listening_ = false;
        removeHotkey();
    }
    tray_.reset();
    if (icon_ != nullptr) DestroyIcon(icon_);
    icon_ = nullptr;
    debugLog("ended");
}

}  // namespace pellandor

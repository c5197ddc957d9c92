#pragma once
// The Windows desktop program's own windows, as the tray program drives them.

#include <windows.h>

#include <memory>
#include <string>

namespace pellandor {

class CredentialStore;
class SettingsModel;

class Win32CallDialog {
public:
    Win32CallDialog(HINSTANCE instance, SettingsModel& model);
    ~Win32CallDialog();
    Win32CallDialog(const Win32CallDialog&) = delete;
    Win32CallDialog& operator=(const Win32CallDialog&) = delete;

    // A number from the clipboard, a tel: link or a second start: shows the
    // dialog with its top-right corner at the pointer (kept in the work
    // area) and the number in its box; presses Call when `autoCall`.
    void showNumber(const std::string& utf8Number, bool autoCall);
    // The tray icon, its menu or the hotkey: shows the dialog, focused on
    // the number box.
    void showDialog();
    void hide();
    bool isVisible() const;
    HWND window() const;
    // For the program's message loop: true when this was a dialog key the
    // dialog handled (IsDialogMessageW), so the loop must not dispatch it.
    bool handleDialogMessage(MSG& message);

private:
    struct State;
    State* state_;
};

// The settings dialog, modal over `owner`, with the two dialling-rule
// dialogs behind its buttons; saves through the model. True when saved.
bool runSettingsDialog(HINSTANCE instance, HWND owner, SettingsModel& model);
// The same with the password's keyring given (the system's by default).
bool runSettingsDialog(HINSTANCE instance, HWND owner, SettingsModel& model, std::unique_ptr<CredentialStore> store);

// The two dialling-rule dialogs alone (the settings dialog opens them from
// its buttons). True when saved.
bool runAdvancedDialingDialog(HINSTANCE instance, HWND owner, SettingsModel& model);
bool runSpecialDialingDialog(HINSTANCE instance, HWND owner, SettingsModel& model);

}  // namespace pellandor

#pragma once
// What the settings dialog does to the rest of the program, as calls the
// desktop shell implements. The dialog itself only edits the shared
// StartupState and the settings file, so it can be tested alone.
//
// Order of calls while the dialog is used:
//   opening:   hideCallDialog(), setSettingsClosed(false)
//   OK, Apply: after the settings file was saved successfully,
//              setStartAtLogin(on) (only when the check box changed),
//              applyHotkey(settings) (always: re-grab, or release when off),
//              then the call dialog values, the dialling rules and the
//              language texts in the StartupState are brought up to date and
//              settingsApplied(callDialogValues, texts) is called
//   closing:   setSettingsClosed(true) (OK, Cancel or the title bar's close)
// The advanced and the special dialing dialogs update StartupState::rules in
// place on their OK; the call dialog reads that same object.

#include "platform/autostart.h"
#include "config/app_settings.h"
#include "config/language_table.h"

namespace pellandor {

class SettingsTargets {
public:
    virtual ~SettingsTargets() = default;

    // False while the settings dialog is open: the call dialog must not show then.
    virtual void setSettingsClosed(bool closed) = 0;
    // The settings dialog opened: close the call dialog if it is up.
    virtual void hideCallDialog() = 0;
    // Adds or removes the start-at-login entry. The default writes or
    // removes the XDG autostart entry for the running program.
    virtual AutostartResult setStartAtLogin(bool enabled);
    // Grabs the hotkey the settings name (releasing the old one first), or
    // releases it when the hotkey is off.
    virtual void applyHotkey(const AppSettings& settings) = 0;
    // The saved values are in effect: hand them and the (possibly new)
    // result texts to the call dialog; the tray reads its texts when shown.
    virtual void settingsApplied(const CallDialogValues& values, const LanguageTable& texts) = 0;
};

}  // namespace pellandor

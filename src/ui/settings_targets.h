#pragma once
// What opening and closing the settings dialog does to the rest of the
// program, as calls the desktop shell implements; the dialog can so be
// tested alone. The values it saves reach the program through the
// SettingsModel's observers, not through here.
//
//   opening:   hideCallDialog(), setSettingsClosed(false)
//   closing:   setSettingsClosed(true) (OK, Cancel or the title bar's close)

#include "config/settings_model.h"
#include "platform/autostart.h"

#include <functional>

class QWidget;

namespace pellandor {

class SettingsTargets {
public:
    virtual ~SettingsTargets() = default;

    // False while the settings dialog is open: the call dialog must not show then.
    virtual void setSettingsClosed(bool closed) = 0;
    // The settings dialog opened: close the call dialog if it is up.
    virtual void hideCallDialog() = 0;
};

// Adds or removes the XDG autostart entry for the running program.
AutostartResult setStartAtLogin(bool enabled);

// Keeps the start-at-login entry in step with USE_AUTOSTART, whoever changed
// it (a dialog or the file from outside); a failure is shown in a message box
// over `owner()` (or none) and the option is kept.
class StartAtLoginFollower {
public:
    using Apply = std::function<AutostartResult(bool enabled)>;
    StartAtLoginFollower(SettingsModel& model, std::function<QWidget*()> owner, Apply apply = setStartAtLogin);
    ~StartAtLoginFollower();
    StartAtLoginFollower(const StartAtLoginFollower&) = delete;
    StartAtLoginFollower& operator=(const StartAtLoginFollower&) = delete;

private:
    SettingsModel& model_;
    std::size_t subscription_;
};

}  // namespace pellandor

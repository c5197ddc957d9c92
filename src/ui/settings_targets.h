#pragma once
// What opening and closing the settings dialog does to the rest of the
// program, as calls the desktop shell implements; the dialog can so be
// tested alone. The values it saves reach the program through the
// SettingsModel's observers, not through here.
//
//   opening:   hideCallDialog(), setSettingsClosed(false)
//   OK, Apply: the values reach the program through the model; a ticked
//              start-at-login box whose entry is gone has the
//              StartAtLoginFollower write it again
//   closing:   setSettingsClosed(true) (OK, Cancel or the title bar's close)

#include "config/settings_model.h"
#include "platform/autostart.h"

#include <functional>
#include <string>

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

// Adds or removes the XDG autostart entry for the running program. The
// entry names `settingsPath` unless it is the file a plain start opens: a
// login start has neither our command line nor our environment.
Status setStartAtLogin(bool enabled, const std::string& settingsPath);

// Keeps the start-at-login entry in step with USE_AUTOSTART, whoever changed
// it (a dialog or the file from outside); a failure is shown in a message box
// over `owner()` (or none) and the option is kept.
class StartAtLoginFollower final {
public:
    using Apply = std::function<Status(bool enabled, const std::string& settingsPath)>;
    StartAtLoginFollower(SettingsModel& model, std::function<QWidget*()> owner, Apply apply = setStartAtLogin);
    ~StartAtLoginFollower();
    StartAtLoginFollower(const StartAtLoginFollower&) = delete;
    StartAtLoginFollower& operator=(const StartAtLoginFollower&) = delete;

    // The option is on but the entry was removed behind our back (the option
    // itself did not change, so nobody was told): writes it again.
    void restoreIfMissing();

private:
    void apply(bool enabled);

    SettingsModel& model_;
    std::function<QWidget*()> owner_;
    Apply apply_;
    std::size_t subscription_;
};

}  // namespace pellandor

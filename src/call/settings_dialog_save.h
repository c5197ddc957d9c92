#pragma once
// OK or Apply of the settings dialog once the dialog's own checks have
// passed, the same on every system: the password goes to the keyring or the
// file, the settings are saved, and then the keyring choice is written
// beside them and a key kept for another exchange is dropped.

#include "config/app_settings.h"
#include "config/settings_model.h"
#include "platform/credential_store.h"

#include <string>
#include <vector>

namespace pellandor {

struct DialogSave {
    enum class Outcome {
        Saved,
        PasswordTooLong,  // for the file; nothing written
        KeyringRefused,   // the store refused the password; nothing written
        NotSaved,         // the settings file refused the save
    };
    Outcome outcome = Outcome::Saved;
    std::string error;  // KeyringRefused, NotSaved: why
    // Saved, but a step after the save failed: what and why, one line each.
    std::vector<std::string> warnings;
};

// `next` holds what the dialog shows, the password as typed; `keyringAnswers`
// turns false when the store has gone since the dialog opened.
DialogSave saveDialogSettings(SettingsModel& model, AppSettings next, bool keepInKeyring, bool& keyringAnswers,
                              CredentialStore& store);

}  // namespace pellandor

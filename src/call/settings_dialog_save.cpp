#include "call/settings_dialog_save.h"

#include "base/secret_text.h"
#include "call/keyring_password.h"
#include "config/ini_file.h"
#include "config/ini_write_batch.h"
#include "config/security_settings.h"
#include "config/stored_password.h"
#include "dialing/text_utils.h"

namespace pellandor {

DialogSave saveDialogSettings(SettingsModel& model, AppSettings next, bool keepInKeyring, bool& keyringAnswers,
                              CredentialStore& store) {
    DialogSave result;
    std::string stored;
    const bool tooLong = !(keyringAnswers && keepInKeyring) && !encodeStoredPassword(trimBlanks(next.password), stored);
    wipeString(stored);
    if (tooLong) {
        wipeString(next.password);
        result.outcome = DialogSave::Outcome::PasswordTooLong;
        return result;
    }
    // Against the values in effect before this save.
    const std::string exchange = exchangeName(next.exchangeAddress, next.exchangePort);
    const bool exchangeChanged =
        exchange != exchangeName(model.settings().exchangeAddress, model.settings().exchangePort);
    const Result<PasswordPlace> place =
        placeDialogPassword(model.settings(), next, keepInKeyring, keyringAnswers, store);
    if (!place) {
        wipeString(next.password);
        result.outcome = DialogSave::Outcome::KeyringRefused;
        result.error = place.error();
        return result;
    }
    // In the keyring, the file's PW stays empty.
    if (*place == PasswordPlace::Keyring) wipeString(next.password);
    const Status saved = model.save(next, SettingsPart::General);
    wipeString(next.password);
    if (!saved) {
        result.outcome = DialogSave::Outcome::NotSaved;
        result.error = saved.error();
        return result;
    }
    // The [SECURITY] section is not the model's: the keyring choice and the
    // kept key are written beside it.
    if (keyringAnswers && loadSecuritySettings(IniFile::snapshot(model.settingsPath())).useKeyring != keepInKeyring) {
        if (const Status written =
                writeIniString(model.settingsPath(), kSecuritySection, kUseKeyringKey, keepInKeyring ? "1" : "0");
            !written)
            result.warnings.push_back("saving the keyring choice failed: " + written.error());
    }
    // A key kept for the old address or port is no key of the new one.
    if (exchangeChanged) {
        if (const Status dropped = dropPinUnlessFor(model.settingsPath(), exchange); !dropped)
            result.warnings.push_back("dropping the exchange's key failed: " + dropped.error());
    }
    return result;
}

}  // namespace pellandor

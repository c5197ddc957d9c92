#include "call/keyring_password.h"

#include "base/secret_text.h"
#include "config/app_settings.h"
#include "config/ini_file.h"
#include "config/security_settings.h"
#include "config/settings_access.h"
#include "dialing/text_utils.h"

namespace pellandor {

CredentialKey credentialKeyFrom(const IniFile& settings) {
    return {trimBlanks(settings.getString("SYS_INFO", "IP")), trimBlanks(settings.getString("USER_INFO", "ID"))};
}

bool keyringWanted(const IniFile& settings) {
    return loadSecuritySettings(settings).useKeyring;
}

Result<PasswordPlace> storePassword(const std::string& settingsPath, std::string& password, CredentialStore& store) {
    const IniFile settings = IniFile::snapshot(settingsPath);
    std::string trimmed = trimBlanks(password);
    wipeString(password);
    bool inKeyring = false;
    if (keyringWanted(settings)) {
        const CredentialKey key = credentialKeyFrom(settings);
        const Status status = trimmed.empty() ? store.remove(key) : store.store(key, trimmed);
        if (!status && status.code() == ErrorCode::Failed) {
            wipeString(trimmed);
            return failure(store.describe() + " refused the password: " + status.error() +
                           "; the settings file was not changed");
        }
        inKeyring = status && !trimmed.empty();
    }
    // In the keyring, the file's copy goes; otherwise the file keeps it enciphered.
    static const std::string kNone;
    const std::string& fileValue = inKeyring ? kNone : trimmed;
    const Status written = writeSettingAsProgram(settingsPath, "USER_INFO", "PW", fileValue);
    wipeString(trimmed);
    if (!written) return failure(written.error(), written.code());
    return inKeyring ? PasswordPlace::Keyring : PasswordPlace::File;
}

DialogKeyring askDialogKeyring(const AppSettings& settings, const std::string& settingsPath, CredentialStore& store) {
    DialogKeyring keyring;
    Result<std::string> secret = store.lookup({trimBlanks(settings.exchangeAddress), trimBlanks(settings.userId)});
    keyring.answers = secret || secret.code() != ErrorCode::NoStore;
    keyring.wanted = keyringWanted(IniFile::snapshot(settingsPath));
    if (secret) keyring.password = std::move(secret).value();
    return keyring;
}

KeyringNote keyringNote(bool keyringAnswers, bool keepInKeyring, bool passwordInFile) {
    if (!keyringAnswers) return KeyringNote::NoKeyring;
    if (keepInKeyring && passwordInFile) return KeyringNote::PasswordStillInFile;
    return KeyringNote::None;
}

Result<PasswordPlace> placeDialogPassword(const AppSettings& before, const AppSettings& next, bool keepInKeyring,
                                          bool& keyringAnswers, CredentialStore& store) {
    const CredentialKey oldKey{trimBlanks(before.exchangeAddress), trimBlanks(before.userId)};
    const CredentialKey newKey{trimBlanks(next.exchangeAddress), trimBlanks(next.userId)};
    if (!keyringAnswers) return PasswordPlace::File;
    if (!keepInKeyring) {
        (void)store.remove(oldKey);
        return PasswordPlace::File;
    }
    std::string password = trimBlanks(next.password);
    const Status status = password.empty() ? store.remove(newKey) : store.store(newKey, password);
    wipeString(password);
    if (!status && status.code() == ErrorCode::Failed) return failure(status.error());
    if (!status && status.code() == ErrorCode::NoStore) {
        keyringAnswers = false;
        return PasswordPlace::File;
    }
    if (oldKey.exchangeAddress != newKey.exchangeAddress || oldKey.userId != newKey.userId) (void)store.remove(oldKey);
    return PasswordPlace::Keyring;
}

std::string keyringPassword(const IniFile& settings, CredentialStore& store) {
    const CredentialKey key = credentialKeyFrom(settings);
    return keyringPassword(key.exchangeAddress, key.userId, settings, store);
}

std::string keyringPassword(const std::string& exchangeAddress, const std::string& userId, const IniFile& settings,
                            CredentialStore& store) {
    if (!keyringWanted(settings)) return {};
    Result<std::string> secret = store.lookup({trimBlanks(exchangeAddress), trimBlanks(userId)});
    if (!secret) return {};
    return std::move(secret).value();
}

void moveKeyringPassword(const CredentialKey& from, const CredentialKey& to, CredentialStore& store) {
    if (from.exchangeAddress == to.exchangeAddress && from.userId == to.userId) return;
    Result<std::string> secret = store.lookup(from);
    if (!secret) return;
    if (store.store(to, *secret)) (void)store.remove(from);
    wipeString(*secret);
}

}  // namespace pellandor

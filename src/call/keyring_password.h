#pragma once
// The password in the desktop keyring, for the commands: the entry is named
// by the exchange address and user ID in the settings file.

#include "base/result.h"
#include "platform/credential_store.h"

#include <string>

namespace pellandor {

class IniFile;
struct AppSettings;

CredentialKey credentialKeyFrom(const IniFile& settings);

// Whether the settings let the password go to the keyring ([SECURITY] USE_KEYRING).
bool keyringWanted(const IniFile& settings);

enum class PasswordPlace { Keyring, File };

// Stores a password given to `config set`: in the keyring when one answers
// and the user has not turned it off (the file's PW is then emptied), else
// enciphered in the file. `password` is wiped. Says where it went.
Result<PasswordPlace> storePassword(const std::string& settingsPath, std::string& password, CredentialStore& store);

// What a settings dialog learns from the keyring when it opens: whether one
// answers, whether the settings want the password there, and the password
// it keeps (empty when none). The caller wipes `password`.
struct DialogKeyring {
    bool answers = false;
    bool wanted = false;
    std::string password;
};
DialogKeyring askDialogKeyring(const AppSettings& settings, const std::string& settingsPath, CredentialStore& store);

// The note under the dialog's keyring box.
enum class KeyringNote { None, NoKeyring, PasswordStillInFile };
KeyringNote keyringNote(bool keyringAnswers, bool keepInKeyring, bool passwordInFile);

// Where a settings dialog's OK puts the password: the keyring when the user
// keeps it there (its entry follows a new address or user ID), else the file,
// and then the keyring keeps no stale copy. `keyringAnswers` turns false when
// the store has gone meanwhile; a store that refuses fails, and the caller
// saves nothing.
Result<PasswordPlace> placeDialogPassword(const AppSettings& before, const AppSettings& next, bool keepInKeyring,
                                          bool& keyringAnswers, CredentialStore& store);

// The keyring's password for the settings, when the file has none; empty
// when there is none either.
std::string keyringPassword(const IniFile& settings, CredentialStore& store);
// The same for an address and user ID as the program holds them.
std::string keyringPassword(const std::string& exchangeAddress, const std::string& userId, const IniFile& settings,
                            CredentialStore& store);

// After the exchange address or user ID changed: the keyring's entry follows,
// so the password is not lost under the old name.
void moveKeyringPassword(const CredentialKey& from, const CredentialKey& to, CredentialStore& store);

}  // namespace pellandor

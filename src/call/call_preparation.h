#pragma once
// What every front does around one press, on the pressing thread (the GUI
// thread or the command line), never on the request's worker: the settings
// file and the keyring are read before, and a first key is kept after.

#include "base/result.h"
#include "call/call_press.h"
#include "config/app_settings.h"
#include "config/ini_file.h"
#include "platform/credential_store.h"

#include <string>

namespace pellandor {

// The trust policy of the configured exchange (from `settings`, the
// settings file) goes to `press`'s request; when `account` has no password
// (the file holds none), the keyring's is put in. The caller wipes the
// password once the press has started.
void prepareCall(const IniFile& settings, CallDialogValues& account, CallPress& press, CredentialStore& store);

// After the outcome: the key a first call found is kept in the settings
// file. True when this call pinned it; a failure says why it could not be kept.
Result<bool> finishCall(const std::string& settingsPath, const CallOutcome& outcome);

}  // namespace pellandor

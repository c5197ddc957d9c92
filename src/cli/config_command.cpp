#include "cli/cli.h"

#include "base/secret_text.h"
#include "cli/command_line.h"
#include "call/keyring_password.h"
#include "config/ini_file.h"
#include "config/ini_document.h"
#include "config/security_settings.h"
#include "config/settings_access.h"
#include "platform/terminal.h"
#include "service/peer_trust.h"

#include <optional>
#include <ostream>

namespace pellandor {

namespace {

bool isExchangeRow(const std::string& section, const std::string& key) {
    return iniNamesEqual(section, "SYS_INFO") && (iniNamesEqual(key, "IP") || iniNamesEqual(key, "PORT"));
}

bool isPasswordKey(const std::string& section, const std::string& key) {
    return iniNamesEqual(section, "USER_INFO") && iniNamesEqual(key, "PW");
}

bool isPasswordRow(const std::string& name) {
    return name == "USER_INFO/PW";
}

// `config pin`, `config pin clear`, `config pin accept FINGERPRINT`.
int runPin(const std::vector<std::string>& w, const std::string& settingsPath, std::ostream& out, std::ostream& err) {
    const IniFile ini = IniFile::snapshot(settingsPath);
    const SecuritySettings security = loadSecuritySettings(ini);
    const std::string exchange = exchangeName(ini.getString("SYS_INFO", "IP"), ini.getString("SYS_INFO", "PORT"));
    if (w.size() == 1) {
        if (!security.requiredKey.empty()) out << "required key (provisioned): " << security.requiredKey << "\n";
        if (!security.caFile.empty()) out << "certificate authorities (provisioned): " << security.caFile << "\n";
        const std::string pin = pinFor(security, exchange);
        if (pin.empty())
            out << "no key kept for " << exchange << "; the next call keeps the key it finds\n";
        else
            out << "trusted key of " << exchange << ": " << pin << "\n";
        return kExitOk;
    }
    if (w.size() == 2 && w[1] == "clear") {
        if (const Status forgot = writePin(settingsPath, exchange, ""); !forgot) {
            err << "pellandor: " << forgot.error() << "\n";
            return kExitRefused;
        }
        out << "forgot the key of " << exchange << "; the next call keeps the key it finds\n";
        return kExitOk;
    }
    if (w.size() == 3 && w[1] == "accept") {
        std::string key;
        if (!normalizeKeyFingerprint(w[2], key)) {
            err << "pellandor: not a SHA-256 key fingerprint: " << w[2]
                << " (32 pairs of hex digits, as the failed call showed it)\n";
            return kExitRefused;
        }
        if (const Status trusted = writePin(settingsPath, exchange, key); !trusted) {
            err << "pellandor: " << trusted.error() << "\n";
            return kExitRefused;
        }
        out << "trusted key of " << exchange << ": " << key << "\n";
        return kExitOk;
    }
    return usageError(err, "config pin needs: nothing (show) | clear | accept FINGERPRINT");
}

}  // namespace

int runConfig(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err) {
    const std::vector<std::string>& w = args.words;
    const std::string action = w.empty() ? std::string() : w[0];
    if (args.showPassword && action != "list") return usageError(err, "--show-password goes with config list only");
    if (action == "get" && w.size() == 3) {
        std::optional<std::string> value = readSettingAsProgram(settingsPath, w[1], w[2]);
        // A password in the keyring is the one the program reads.
        if (isPasswordKey(w[1], w[2]) && value.value_or("").empty()) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            std::string kept = keyringPassword(IniFile::snapshot(settingsPath), *store);
            if (!kept.empty()) {
                out << kept << "\n";
                wipeString(kept);
                return kExitOk;
            }
        }
        if (!value) {
            err << "pellandor: " << settingsPath << " has no key " << w[2] << " in section " << w[1] << "\n";
            return kExitUsage;
        }
        out << *value << "\n";
        wipeString(*value);
        return kExitOk;
    }
    if (action == "set" && w.size() == 4) {
        std::string value = w[3];
        if (value == "-" && !readValueFromStdin(value, err)) {
            err << "pellandor: no value on standard input (one line, at most " << kMaxStdinValue
                << " bytes); the settings file was not changed\n";
            return kExitRefused;
        }
        if (isPasswordKey(w[1], w[2])) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            const Result<PasswordPlace> stored = storePassword(settingsPath, value, *store);
            if (!stored) {
                err << "pellandor: " << stored.error() << "\n";
                return kExitRefused;
            }
            if (*stored == PasswordPlace::Keyring)
                err << "pellandor: the password is kept in " << store->describe() << ", not in the settings file\n";
            return kExitOk;
        }
        // The keyring's entry is named by the address and user ID: it follows them.
        const bool namesEntry =
            isExchangeRow(w[1], w[2]) || (iniNamesEqual(w[1], "USER_INFO") && iniNamesEqual(w[2], "ID"));
        const IniFile before = IniFile::snapshot(settingsPath);
        const CredentialKey oldKey = credentialKeyFrom(before);
        const Status written = writeSettingAsProgram(settingsPath, w[1], w[2], value);
        if (written && namesEntry && keyringWanted(before)) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            moveKeyringPassword(oldKey, credentialKeyFrom(IniFile::snapshot(settingsPath)), *store);
        }
        if (written) {
            // A key kept for the old address or port is no key of the new one.
            if (isExchangeRow(w[1], w[2])) {
                const IniFile ini = IniFile::snapshot(settingsPath);
                const Status dropped = dropPinUnlessFor(
                    settingsPath, exchangeName(ini.getString("SYS_INFO", "IP"), ini.getString("SYS_INFO", "PORT")));
                if (!dropped) {
                    err << "pellandor: the exchange's kept key could not be dropped: " << dropped.error() << "\n";
                    return kExitRefused;
                }
            }
            return kExitOk;
        }
        err << "pellandor: " << written.error() << "\n";
        return written.code() == ErrorCode::InvalidArgument ? kExitUsage : kExitRefused;
    }
    if (action == "pin") return runPin(w, settingsPath, out, err);
    if (action == "list" && w.size() == 1) {
        for (auto& [name, value] : listSettings(settingsPath)) {
            if (isPasswordRow(name) && value.empty()) {
                const std::unique_ptr<CredentialStore> store = openCredentialStore();
                value = keyringPassword(IniFile::snapshot(settingsPath), *store);
            }
            const bool hide = isPasswordRow(name) && !args.showPassword && !value.empty();
            out << name << "=" << (hide ? "********" : value) << "\n";
            wipeString(value);
        }
        const SecuritySettings security = loadSecuritySettings(IniFile::snapshot(settingsPath));
        const std::string section = std::string(kSecuritySection) + "/";
        out << section << kPinnedKeyKey << "=" << security.pinnedKey << "\n"
            << section << kPinnedExchangeKey << "=" << security.pinnedExchange << "\n"
            << section << kRequiredKeyKey << "=" << security.requiredKey << "\n"
            << section << kCaFileKey << "=" << security.caFile << "\n"
            << section << kUseKeyringKey << "=" << (security.useKeyring ? "1" : "0") << "\n";
        return kExitOk;
    }
    return usageError(
        err, "config needs: get SECTION KEY | set SECTION KEY VALUE | list | pin [clear | accept FINGERPRINT]");
}

}  // namespace pellandor

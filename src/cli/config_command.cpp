#include "cli/cli.h"

#include "base/secret_text.h"
#include "cli/command_line.h"
#include "call/keyring_password.h"
#include "config/cini.h"
#include "config/ini_document.h"
#include "config/security_settings.h"
#include "config/settings_access.h"
#include "service/peer_trust.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

#include <ostream>

namespace pellandor {

namespace {

// Longer lines on standard input are no value anyone types.
constexpr std::size_t kMaxStdinValue = 4096;

// One line from standard input, without its line end; the echo is off while
// a terminal is read, so a password is not shown.
bool ReadValueFromStdin(std::string& value, std::ostream& err)
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    const bool quiet = terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        err << "Value: " << std::flush;
    }
    value.clear();
    bool ended = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n') {
            ended = n > 0 || !value.empty();
            break;
        }
        if (value.size() == kMaxStdinValue) {
            value.clear();
            break;
        }
        value += c;
    }
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!value.empty() && value.back() == '\r')
        value.pop_back();
    return ended;
}

bool IsExchangeRow(const std::string& section, const std::string& key)
{
    return IniNamesEqual(section, "SYS_INFO") && (IniNamesEqual(key, "IP") || IniNamesEqual(key, "PORT"));
}

bool IsPasswordKey(const std::string& section, const std::string& key)
{
    return IniNamesEqual(section, "USER_INFO") && IniNamesEqual(key, "PW");
}

bool IsPasswordRow(const std::string& name)
{
    return name == "USER_INFO/PW";
}

// `config pin`, `config pin clear`, `config pin accept FINGERPRINT`.
int RunPin(const std::vector<std::string>& w, const std::string& settingsPath, std::ostream& out, std::ostream& err)
{
    const CIni ini = CIni::Snapshot(settingsPath);
    const SecuritySettings security = LoadSecuritySettings(ini);
    const std::string exchange = ExchangeName(ini.GetString("SYS_INFO", "IP"), ini.GetString("SYS_INFO", "PORT"));
    std::string error;
    if (w.size() == 1) {
        if (!security.requiredKey.empty())
            out << "required key (provisioned): " << security.requiredKey << "\n";
        if (!security.caFile.empty())
            out << "certificate authorities (provisioned): " << security.caFile << "\n";
        const std::string pin = PinFor(security, exchange);
        if (pin.empty())
            out << "no key kept for " << exchange << "; the next call keeps the key it finds\n";
        else
            out << "trusted key of " << exchange << ": " << pin << "\n";
        return kExitOk;
    }
    if (w.size() == 2 && w[1] == "clear") {
        if (!WritePin(settingsPath, exchange, "", error)) {
            err << "pellandor: " << error << "\n";
            return kExitRefused;
        }
        out << "forgot the key of " << exchange << "; the next call keeps the key it finds\n";
        return kExitOk;
    }
    if (w.size() == 3 && w[1] == "accept") {
        std::string key;
        if (!NormalizeKeyFingerprint(w[2], key)) {
            err << "pellandor: not a SHA-256 key fingerprint: " << w[2]
                << " (32 pairs of hex digits, as the failed call showed it)\n";
            return kExitRefused;
        }
        if (!WritePin(settingsPath, exchange, key, error)) {
            err << "pellandor: " << error << "\n";
            return kExitRefused;
        }
        out << "trusted key of " << exchange << ": " << key << "\n";
        return kExitOk;
    }
    return UsageError(err, "config pin needs: nothing (show) | clear | accept FINGERPRINT");
}

}  // namespace

int RunConfig(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string>& w = args.words;
    const std::string action = w.empty() ? std::string() : w[0];
    if (args.showPassword && action != "list")
        return UsageError(err, "--show-password goes with config list only");
    if (action == "get" && w.size() == 3) {
        std::string value;
        const bool found = ReadSettingAsProgram(settingsPath, w[1], w[2], value);
        // A password in the keyring is the one the program reads.
        if (IsPasswordKey(w[1], w[2]) && value.empty()) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            value = keyringPassword(CIni::Snapshot(settingsPath), *store);
            if (!value.empty()) {
                out << value << "\n";
                wipeString(value);
                return kExitOk;
            }
        }
        if (!found) {
            err << "pellandor: " << settingsPath << " has no key " << w[2] << " in section " << w[1] << "\n";
            return kExitUsage;
        }
        out << value << "\n";
        wipeString(value);
        return kExitOk;
    }
    if (action == "set" && w.size() == 4) {
        std::string value = w[3];
        if (value == "-" && !ReadValueFromStdin(value, err)) {
            err << "pellandor: no value on standard input (one line, at most " << kMaxStdinValue
                << " bytes); the settings file was not changed\n";
            return kExitRefused;
        }
        std::string error;
        if (IsPasswordKey(w[1], w[2])) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            std::string note;
            if (storePassword(settingsPath, value, *store, note, error) == PasswordPlace::Failed) {
                err << "pellandor: " << error << "\n";
                return kExitRefused;
            }
            if (!note.empty())
                err << "pellandor: " << note << "\n";
            return kExitOk;
        }
        // The keyring's entry is named by the address and user ID: it follows them.
        const bool namesEntry = IsExchangeRow(w[1], w[2]) || (IniNamesEqual(w[1], "USER_INFO") && IniNamesEqual(w[2], "ID"));
        const CIni before = CIni::Snapshot(settingsPath);
        const CredentialKey oldKey = credentialKeyFrom(before);
        const SettingWriteResult result = WriteSettingAsProgram(settingsPath, w[1], w[2], value, error);
        if (result == SettingWriteResult::Ok && namesEntry && keyringWanted(before)) {
            const std::unique_ptr<CredentialStore> store = openCredentialStore();
            moveKeyringPassword(oldKey, credentialKeyFrom(CIni::Snapshot(settingsPath)), *store);
        }
        if (result == SettingWriteResult::Ok) {
            // A key kept for the old address or port is no key of the new one.
            if (IsExchangeRow(w[1], w[2])) {
                const CIni ini = CIni::Snapshot(settingsPath);
                if (!DropPinUnlessFor(settingsPath,
                                      ExchangeName(ini.GetString("SYS_INFO", "IP"), ini.GetString("SYS_INFO", "PORT")),
                                      error)) {
                    err << "pellandor: the exchange's kept key could not be dropped: " << error << "\n";
                    return kExitRefused;
                }
            }
            return kExitOk;
        }
        err << "pellandor: " << error << "\n";
        return result == SettingWriteResult::InvalidName ? kExitUsage : kExitRefused;
    }
    if (action == "pin")
        return RunPin(w, settingsPath, out, err);
    if (action == "list" && w.size() == 1) {
        for (auto& [name, value] : ListSettings(settingsPath)) {
            if (IsPasswordRow(name) && value.empty()) {
                const std::unique_ptr<CredentialStore> store = openCredentialStore();
                value = keyringPassword(CIni::Snapshot(settingsPath), *store);
            }
            const bool hide = IsPasswordRow(name) && !args.showPassword && !value.empty();
            out << name << "=" << (hide ? "********" : value) << "\n";
            wipeString(value);
        }
        const SecuritySettings security = LoadSecuritySettings(CIni::Snapshot(settingsPath));
        const std::string section = std::string(kSecuritySection) + "/";
        out << section << kPinnedKeyKey << "=" << security.pinnedKey << "\n"
            << section << kPinnedExchangeKey << "=" << security.pinnedExchange << "\n"
            << section << kRequiredKeyKey << "=" << security.requiredKey << "\n"
            << section << kCaFileKey << "=" << security.caFile << "\n"
            << section << kUseKeyringKey << "=" << (security.useKeyring ? "1" : "0") << "\n";
        return kExitOk;
    }
    return UsageError(err, "config needs: get SECTION KEY | set SECTION KEY VALUE | list | pin [clear | accept FINGERPRINT]");
}

}  // namespace pellandor

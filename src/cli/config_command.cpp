#include "cli/cli.h"

#include "cli/command_line.h"
#include "config/settings_access.h"
#include "platform/terminal.h"

#include <ostream>

namespace pellandor {

namespace {

bool isPasswordRow(const std::string& name) {
    return name == "USER_INFO/PW";
}

}  // namespace

int runConfig(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err) {
    const std::vector<std::string>& w = args.words;
    const std::string action = w.empty() ? std::string() : w[0];
    if (args.showPassword && action != "list") return usageError(err, "--show-password goes with config list only");
    if (action == "get" && w.size() == 3) {
        std::string value;
        if (!readSettingAsProgram(settingsPath, w[1], w[2], value)) {
            err << "pellandor: " << settingsPath << " has no key " << w[2] << " in section " << w[1] << "\n";
            return kExitUsage;
        }
        out << value << "\n";
        return kExitOk;
    }
    if (action == "set" && w.size() == 4) {
        std::string value = w[3];
        if (value == "-" && !readValueFromStdin(value, err)) {
            err << "pellandor: no value on standard input (one line, at most " << kMaxStdinValue
                << " bytes); the settings file was not changed\n";
            return kExitRefused;
        }
        std::string error;
        const SettingWriteResult result = writeSettingAsProgram(settingsPath, w[1], w[2], value, error);
        if (result == SettingWriteResult::Ok) return kExitOk;
        err << "pellandor: " << error << "\n";
        return result == SettingWriteResult::InvalidName ? kExitUsage : kExitRefused;
    }
    if (action == "list" && w.size() == 1) {
        for (const auto& [name, value] : listSettings(settingsPath)) {
            const bool hide = isPasswordRow(name) && !args.showPassword && !value.empty();
            out << name << "=" << (hide ? "********" : value) << "\n";
        }
        return kExitOk;
    }
    return usageError(err, "config needs: get SECTION KEY | set SECTION KEY VALUE | list");
}

}  // namespace pellandor

#include "cli/cli.h"

#include "cli/command_line.h"
#include "config/settings_access.h"

#include <ostream>

namespace pellandor {

int RunConfig(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string>& w = args.words;
    const std::string action = w.empty() ? std::string() : w[0];
    if (action == "get" && w.size() == 3) {
        std::string value;
        if (!ReadSettingAsProgram(settingsPath, w[1], w[2], value)) {
            err << "pellandor: " << settingsPath << " has no key " << w[2] << " in section " << w[1] << "\n";
            return kExitUsage;
        }
        out << value << "\n";
        return kExitOk;
    }
    if (action == "set" && w.size() == 4) {
        std::string error;
        const SettingWriteResult result = WriteSettingAsProgram(settingsPath, w[1], w[2], w[3], error);
        if (result == SettingWriteResult::Ok)
            return kExitOk;
        err << "pellandor: " << error << "\n";
        return result == SettingWriteResult::InvalidName ? kExitUsage : kExitRefused;
    }
    if (action == "list" && w.size() == 1) {
        for (const auto& [name, value] : ListSettings(settingsPath))
            out << name << "=" << value << "\n";
        return kExitOk;
    }
    return UsageError(err, "config needs: get SECTION KEY | set SECTION KEY VALUE | list");
}

}  // namespace pellandor

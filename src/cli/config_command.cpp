#include "cli/cli.h"

#include "cli/command_line.h"
#include "config/settings_access.h"

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

bool IsPasswordRow(const std::string& name)
{
    return name == "USER_INFO/PW";
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
        if (!ReadSettingAsProgram(settingsPath, w[1], w[2], value)) {
            err << "pellandor: " << settingsPath << " has no key " << w[2] << " in section " << w[1] << "\n";
            return kExitUsage;
        }
        out << value << "\n";
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
        const SettingWriteResult result = WriteSettingAsProgram(settingsPath, w[1], w[2], value, error);
        if (result == SettingWriteResult::Ok)
            return kExitOk;
        err << "pellandor: " << error << "\n";
        return result == SettingWriteResult::InvalidName ? kExitUsage : kExitRefused;
    }
    if (action == "list" && w.size() == 1) {
        for (const auto& [name, value] : ListSettings(settingsPath)) {
            const bool hide = IsPasswordRow(name) && !args.showPassword && !value.empty();
            out << name << "=" << (hide ? "********" : value) << "\n";
        }
        return kExitOk;
    }
    return UsageError(err, "config needs: get SECTION KEY | set SECTION KEY VALUE | list");
}

}  // namespace pellandor

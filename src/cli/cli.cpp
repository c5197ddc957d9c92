#include "cli/cli.h"

#include "cli/command_line.h"
#include "config/atomic_file.h"
#include "config/paths.h"
#include "config/settings_access.h"
#include "dialing/dialing_rules.h"

#include <ostream>

namespace pellandor {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  pellandor [--settings FILE]\n"
    "  pellandor [--settings FILE] tel:NUMBER | callto:NUMBER\n"
    "  pellandor dial [--settings FILE] [--] NUMBER...\n"
    "  pellandor --demo\n"
    "  pellandor dial-string [--settings FILE] [--send] [--] TEXT...\n"
    "  pellandor call [--settings FILE] [--raw] [--] NUMBER...\n"
    "  pellandor hangup [--settings FILE]\n"
    "  pellandor config get [--settings FILE] [--] SECTION KEY\n"
    "  pellandor config set [--settings FILE] [--] SECTION KEY VALUE\n"
    "  pellandor config list [--settings FILE] [--show-password]\n"
    "  pellandor config pin [--settings FILE] [clear | accept FINGERPRINT]\n"
    "  pellandor --help | --version\n"
    "\n"
    "The settings file is $PELLANDOR_SETTINGS, else $XDG_CONFIG_HOME/pellandor_settings.ini;\n"
    "--settings FILE replaces it. Words after \"--\" are never options.\n"
    "A VALUE of \"-\" is read from standard input (without echo on a terminal), so a\n"
    "password stays out of the process list and the shell history.\n";

}  // namespace

int UsageError(std::ostream& err, const std::string& what)
{
    err << "pellandor: " << what << "\n" << kUsage;
    return kExitUsage;
}

int RunDialString(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err)
{
    if (args.words.empty())
        return UsageError(err, "dial-string needs a TEXT");
    const StartupState state = LoadStartupState(settingsPath, LanguageFilePath());
    const std::string text = JoinWords(args.words);
    if (!args.send) {
        out << state.rules.BuildDialString(text) << "\n";
        return kExitOk;
    }
    // What a press of Call sends for a text typed into the number box.
    std::string dial = DialingRules::ApplyDialMarks(text, state.rules.NUM_ADD_EQUAL);
    if (!state.rules.IsDialableText(dial, false)) {
        err << "pellandor: not a dialable number: \"" << text
            << "\" (at most 30 characters of 0-9 * # + ( ) - / and space, with at least one digit)\n";
        return kExitFailed;
    }
    out << dial << "\n";
    return kExitOk;
}

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err)
{
    const ParsedArgs args = ParseArgs(argv);
    if (!args.error.empty())
        return UsageError(err, args.error);
    if (args.help) {
        out << kUsage;
        return kExitOk;
    }
    if (args.version) {
        out << "pellandor " << PELLANDOR_VERSION << "\n";
        return kExitOk;
    }
    if (args.command.empty()) {
        err << "pellandor: this build has no desktop program (it needs Qt 6); use one of the commands below.\n" << kUsage;
        return kExitUsage;
    }
    if (args.send && args.command != "dial-string")
        return UsageError(err, "--send goes with dial-string only");
    if (args.raw && args.command != "call")
        return UsageError(err, "--raw goes with call only");
    if (args.showPassword && args.command != "config")
        return UsageError(err, "--show-password goes with config list only");

    const std::string settingsPath = args.settings ? *args.settings : DefaultSettingsPath();
    // A settings file that exists but cannot be read would otherwise look
    // like one with every value missing.
    const bool readsSettings = args.command == "dial-string" || args.command == "call" || args.command == "hangup" ||
                               (args.command == "config" && !args.words.empty() && args.words[0] != "set");
    if (readsSettings) {
        std::string why;
        if (CheckReadableFile(settingsPath, why) == FileReadStatus::Failed) {
            err << "pellandor: the settings file cannot be read: " << why << "\n";
            return kExitIncomplete;
        }
    }
    if (args.command == "dial-string")
        return RunDialString(args, settingsPath, out, err);
    if (args.command == "config")
        return RunConfig(args, settingsPath, out, err);
    if (args.command == "call")
        return RunCall(args, settingsPath, false, out, err);
    if (args.command == "hangup") {
        if (!args.words.empty())
            return UsageError(err, "hangup takes no number");
        return RunCall(args, settingsPath, true, out, err);
    }
    return UsageError(err, "unknown command: " + args.command);
}

}  // namespace pellandor

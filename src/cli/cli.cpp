#include "cli/cli.h"

#include "cli/command_line.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
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
    "  pellandor popup [--settings FILE]\n"
    "  pellandor --demo\n"
    "  pellandor dial-string [--settings FILE] [--send] [--] TEXT...\n"
    "  pellandor call [--settings FILE] [--raw] [--] NUMBER...\n"
    "  pellandor hangup [--settings FILE]\n"
    "  pellandor config get [--settings FILE] [--] SECTION KEY\n"
    "  pellandor config set [--settings FILE] [--] SECTION KEY VALUE\n"
    "  pellandor config list [--settings FILE] [--show-password]\n"
    "  pellandor --help | --version\n"
    "\n"
    "The settings file is $PELLANDOR_SETTINGS, else $XDG_CONFIG_HOME/pellandor_settings.ini;\n"
    "--settings FILE replaces it. Words after \"--\" are never options.\n"
    "A VALUE of \"-\" is read from standard input (without echo on a terminal), so a\n"
    "password stays out of the process list and the shell history.\n";

}  // namespace

int usageError(std::ostream& err, const std::string& what) {
    err << "pellandor: " << what << "\n" << kUsage;
    return kExitUsage;
}

int runDialString(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err) {
    if (args.words.empty()) return usageError(err, "dial-string needs a TEXT");
    const StartupState state = loadStartupState(settingsPath, languageFilePath());
    const std::string text = joinWords(args.words);
    if (!args.send) {
        out << state.rules.buildDialString(text) << "\n";
        return kExitOk;
    }
    // What a press of Call sends for a text typed into the number box.
    std::string dial = DialingRules::applyDialMarks(text, state.rules.equalDigits);
    if (!state.rules.isDialableText(dial, false)) {
        err << "pellandor: not a dialable number: \"" << text
            << "\" (at most 30 characters of 0-9 * # + ( ) - / and space, with at least one digit)\n";
        return kExitFailed;
    }
    out << dial << "\n";
    return kExitOk;
}

int runCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    const ParsedArgs args = parseArgs(argv);
    if (!args.error.empty()) return usageError(err, args.error);
    if (args.help) {
        out << kUsage;
        return kExitOk;
    }
    if (args.version) {
        out << "pellandor " << PELLANDOR_VERSION << "\n";
        return kExitOk;
    }
    if (args.command.empty() || args.command == "popup") {
        err << "pellandor: this build has no desktop program (it needs Qt 6); use one of the commands below.\n"
            << kUsage;
        return kExitUsage;
    }
    if (args.send && args.command != "dial-string") return usageError(err, "--send goes with dial-string only");
    if (args.raw && args.command != "call") return usageError(err, "--raw goes with call only");
    if (args.showPassword && args.command != "config")
        return usageError(err, "--show-password goes with config list only");

    const std::string settingsPath = args.settings ? *args.settings : defaultSettingsPath();
    // A settings file that exists but cannot be read would otherwise look
    // like one with every value missing.
    const bool readsSettings = args.command == "dial-string" || args.command == "call" || args.command == "hangup" ||
                               (args.command == "config" && !args.words.empty() && args.words[0] != "set");
    if (readsSettings) {
        std::string why;
        if (checkReadableFile(settingsPath, why) == FileReadStatus::Failed) {
            err << "pellandor: the settings file cannot be read: " << why << "\n";
            return kExitIncomplete;
        }
    }
    if (args.command == "dial-string") return runDialString(args, settingsPath, out, err);
    if (args.command == "config") return runConfig(args, settingsPath, out, err);
    if (args.command == "call") return runCall(args, settingsPath, false, out, err);
    if (args.command == "hangup") {
        if (!args.words.empty()) return usageError(err, "hangup takes no number");
        return runCall(args, settingsPath, true, out, err);
    }
    return usageError(err, "unknown command: " + args.command);
}

}  // namespace pellandor

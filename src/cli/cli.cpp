#include "cli/cli.h"

#include "base/log.h"
#include "cli/command_line.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "config/settings_access.h"
#include "config/settings_model.h"
#include "dialing/clipboard_number.h"
#include "dialing/dialing_rules.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
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
    "  pellandor config pin [--settings FILE] [clear | accept FINGERPRINT]\n"
    "  pellandor --help | --version\n"
    "\n"
    "The settings file is $PELLANDOR_SETTINGS, else $XDG_CONFIG_HOME/pellandor_settings.ini;\n"
    "--settings FILE replaces it. Words after \"--\" are never options.\n"
    "A VALUE of \"-\" is read from standard input (without echo on a terminal), so a\n"
    "password stays out of the process list and the shell history.\n";

// PELLANDOR_LOG=1 writes the core's log lines to stderr, "debug" also its
// details; unset, the output is the commands' own only.
class StreamLogSink final : public LogSink {
public:
    StreamLogSink(std::ostream& stream, bool debug) : stream_(stream), debug_(debug) {}
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        if (level == LogLevel::Debug && !debug_) return;
        const std::lock_guard lock(mutex_);
        stream_ << "pellandor." << category << ": " << message << std::endl;
    }

private:
    std::mutex mutex_;
    std::ostream& stream_;
    bool debug_;
};

std::optional<ScopedLogSink> logToStream(std::ostream& err) {
    const char* wanted = std::getenv("PELLANDOR_LOG");
    if (wanted == nullptr || *wanted == '\0' || std::string_view(wanted) == "0") return std::nullopt;
    return std::optional<ScopedLogSink>(std::in_place,
                                        std::make_shared<StreamLogSink>(err, std::string_view(wanted) == "debug"));
}

}  // namespace

int usageError(std::ostream& err, const std::string& what) {
    err << "pellandor: " << what << "\n" << kUsage;
    return kExitUsage;
}

int runDialString(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err) {
    if (args.words.empty()) return usageError(err, "dial-string needs a TEXT");
    SettingsModel model(settingsPath, languageFilePath());
    (void)model.load();
    const std::string text = joinWords(args.words);
    if (hasBidiControl(text)) {
        err << "pellandor: not a number: " << kBidiControlRefusal << "\n";
        return kExitFailed;
    }
    if (!args.send) {
        // The clipboard pop-up's own test and filter, then what the dialog
        // makes of the number it is handed.
        const std::optional<std::string> number = clipboardNumber(utf8ToUtf16(text), model.rules());
        if (!number) {
            err << "pellandor: the call dialog would not pop up for \"" << text << "\": at most "
                << kMaxClipboardNumberLength << " characters, "
                << (model.rules().usePopupForChar ? "with the characters other than 0-9 * # + ( ) - / and space removed"
                                                  : "only 0-9 * # + ( ) - / and space")
                << ", and at least one digit and " << model.rules().minPopupLength
                << " of 0-9 * # (DIALING_RULE_ADV/MIN_POPUP_LENGTH)\n";
            return kExitFailed;
        }
        out << model.rules().buildDialString(*number) << "\n";
        return kExitOk;
    }
    // What a press of Call sends for a text typed into the number box.
    std::string dial = DialingRules::applyDialMarks(text, model.rules().equalDigits);
    if (!model.rules().isDialableText(dial, false)) {
        err << "pellandor: not a dialable number: \"" << text
            << "\" (at most 30 characters of 0-9 * # + ( ) - / and space, with at least one digit)\n";
        return kExitFailed;
    }
    out << dial << "\n";
    return kExitOk;
}

int runCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    const std::optional<ScopedLogSink> logging = logToStream(err);
    const Result<ParsedArgs> parsed = parseArgs(argv);
    if (!parsed) return usageError(err, parsed.error());
    const ParsedArgs& args = *parsed;
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
        if (const Status readable = checkReadableFile(settingsPath); !readable) {
            err << "pellandor: the settings file cannot be read: " << readable.error() << "\n";
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

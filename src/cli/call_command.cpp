#include "cli/cli.h"

#include "call/call_press.h"
#include "cli/command_line.h"
#include "platform/paths.h"
#include "config/settings_access.h"

#include <ostream>

namespace pellandor {

int runCall(const ParsedArgs& args, const std::string& settingsPath, bool hangup, std::ostream& out,
            std::ostream& err) {
    if (!hangup && args.words.empty()) {
        return usageError(err, "call needs a NUMBER");
    }
    const StartupState state = loadStartupState(settingsPath, languageFilePath());
    const ResultTexts texts = resultTextsFrom(state.language);

    // What the dialog's number box would show; --raw skips the dialling plan.
    std::string shown;
    if (!hangup) {
        const std::string typed = joinWords(args.words);
        shown = args.raw ? typed : state.rules.buildDialString(typed);
    }

    CallPress press;
    CallOutcome outcome;
    const CallPress::Begin begin =
        press.pressAndWait(hangup ? CallKind::Hangup : CallKind::Call, state.callDialog, shown, state.rules, outcome);
    switch (begin.status) {
        case CallPress::Status::IncompleteSettings:
            out << "Failed\n" << formatResultMessage(settingsGapMessage(begin.gap, texts)) << "\n";
            err << "pellandor: the settings in " << settingsPath << " lack the "
                << (begin.gap != SettingsGap::SysInfo ? "user ID, password or phone number"
                                                      : "exchange address or port")
                << "\n";
            return kExitIncomplete;
        case CallPress::Status::NotDialable:
            err << "pellandor: not a dialable number: \"" << shown << "\"\n";
            return kExitIncomplete;
        case CallPress::Status::Refused:
            err << "pellandor: could not start the request: " << begin.error << "\n";
            return kExitFailed;
        case CallPress::Status::Started:
            break;
    }

    const bool success = outcome.succeeded();
    out << (success ? "Success" : "Failed") << "\n";
    if (!success) out << outcome.message(texts) << "\n";
    if (!outcome.completed()) {
        std::string detail = outcome.result.text;
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) detail.pop_back();
        err << "pellandor: request failed at step " << -outcome.result.step << ": " << detail << "\n";
        return kExitFailed;
    }
    return success ? kExitOk : kExitRefused;
}

}  // namespace pellandor

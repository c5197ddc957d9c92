#include "cli/cli.h"

#include "base/secret_text.h"
#include "call/call_preparation.h"
#include "call/call_press.h"
#include "call/request_failure.h"
#include "cli/command_line.h"
#include "platform/paths.h"
#include "config/settings_access.h"
#include "config/settings_model.h"

#include <ostream>

namespace pellandor {

int runCall(const ParsedArgs& args, const std::string& settingsPath, bool hangup, std::ostream& out,
            std::ostream& err) {
    if (!hangup && args.words.empty()) {
        return usageError(err, "call needs a NUMBER");
    }
    SettingsModel model(settingsPath, languageFilePath());
    (void)model.load();
    const ResultTexts texts = resultTextsFrom(model.texts());

    // What the dialog's number box would show; --raw skips the dialling plan.
    std::string shown;
    if (!hangup) {
        const std::string typed = joinWords(args.words);
        shown = args.raw ? typed : model.rules().buildDialString(typed);
    }

    // Our own copy: the keyring's password goes into it, and it is wiped
    // once the press has started.
    CallDialogValues account = model.callDialogValues();
    CallPress press;
    {
        const std::unique_ptr<CredentialStore> store = openCredentialStore();
        prepareCall(IniFile::snapshot(settingsPath), account, press, *store);
    }
    CallOutcome outcome;
    const CallPress::PressResult pressed =
        press.pressAndWait(hangup ? CallKind::Hangup : CallKind::Call, account, shown, model.rules(), outcome);
    const std::string missing =
        pressed.state == CallPress::PressState::IncompleteSettings ? missingSettingsText(account) : "";
    wipeString(account.password);
    switch (pressed.state) {
        case CallPress::PressState::IncompleteSettings:
            out << "Failed\n" << formatResultMessage(settingsGapMessage(pressed.gap, texts)) << "\n";
            err << "pellandor: the settings in " << settingsPath << " lack the " << missing << "\n";
            return kExitIncomplete;
        case CallPress::PressState::NotDialable:
            err << "pellandor: not a dialable number: \"" << shown << "\"\n";
            return kExitIncomplete;
        case CallPress::PressState::Refused:
            err << "pellandor: could not start the request: " << pressed.error << "\n";
            return kExitFailed;
        case CallPress::PressState::Started:
            break;
    }

    // First use: the key this handshake found is the one trusted from now on.
    const Result<bool> pinned = finishCall(settingsPath, outcome);
    if (pinned && *pinned)
        err << "pellandor: first call to " << outcome.exchange << ": its key " << outcome.peer.fingerprint
            << " is trusted from now on\n";
    if (!pinned) err << "pellandor: the exchange's key could not be kept: " << pinned.error() << "\n";

    const bool success = outcome.succeeded();
    out << (success ? "Success" : "Failed") << "\n";
    if (!success) out << outcome.message(texts) << "\n";
    if (!outcome.completed()) {
        err << "pellandor: "
            << describeRequestFailure(outcome, model.callDialogValues().exchangeAddress,
                                      model.callDialogValues().exchangePort)
            << "\n";
        return kExitFailed;
    }
    return success ? kExitOk : kExitRefused;
}

}  // namespace pellandor

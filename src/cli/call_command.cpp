#include "cli/cli.h"

#include "cli/command_line.h"
#include "config/paths.h"
#include "config/settings_access.h"
#include "service/http_xml_request.h"
#include "service/result_message.h"

#include <condition_variable>
#include <mutex>
#include <ostream>

namespace pellandor {

namespace {

ResultTexts ResultTextsFrom(const LanguageTable& table)
{
    ResultTexts t;
    t.RS_RESULT = table.Text("RS_RESULT");
    t.RS_CALL_FAIL = table.Text("RS_CALL_FAIL");
    t.RS_HANGUP_FAIL = table.Text("RS_HANGUP_FAIL");
    t.RS_AUTH_FAIL = table.Text("RS_AUTH_FAIL");
    t.RS_ACCESS_DENIED = table.Text("RS_ACCESS_DENIED");
    t.RS_CALL_RESTRICTED = table.Text("RS_CALL_RESTRICTED");
    t.RS_CALL_NOK = table.Text("RS_CALL_NOK");
    t.RS_CALLER_BUSY = table.Text("RS_CALLER_BUSY");
    t.RS_UNKNOWN_ERROR = table.Text("RS_UNKNOWN_ERROR");
    t.RS_CODE_EMPTY = table.Text("RS_CODE_EMPTY");
    t.RS_DONOT_RECEIVE = table.Text("RS_DONOT_RECEIVE");
    t.RS_NOT_USER_INFO = table.Text("RS_NOT_USER_INFO");
    t.RS_NOT_SYS_INFO = table.Text("RS_NOT_SYS_INFO");
    t.RS_NOT_USER_SYS_INFO = table.Text("RS_NOT_USER_SYS_INFO");
    return t;
}

// Hands the worker's result to the waiting command.
struct PendingResult {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    ServiceResult result;

    static void Deliver(void* self, const int* step, const char* text)
    {
        auto* pending = static_cast<PendingResult*>(self);
        std::lock_guard lock(pending->mutex);
        pending->result.step = *step;
        pending->result.text = text ? text : "";
        pending->finished = true;
        pending->done.notify_one();
    }

    ServiceResult Wait()
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return finished; });
        return result;
    }
};


}  // namespace

int RunCall(const ParsedArgs& args, const std::string& settingsPath, bool hangup, std::ostream& out,
            std::ostream& err)
{
    if (!hangup && args.words.empty()) {
        return UsageError(err, "call needs a NUMBER");
    }
    const StartupState state = LoadStartupState(settingsPath, LanguageFilePath());
    const CallDialogValues& account = state.callDialog;
    const ResultTexts texts = ResultTextsFrom(state.language);

    // An empty address is as unset as the "0.0.0.0" an empty address field gives.
    const bool userComplete = !account.userId.empty() && !account.password.empty() && !account.phoneNumber.empty();
    const bool systemComplete = !account.exchangeAddress.empty() && account.exchangeAddress != "0.0.0.0" &&
                                !account.exchangePort.empty();
    if (!userComplete || !systemComplete) {
        const std::string& message = !userComplete && !systemComplete ? texts.RS_NOT_USER_SYS_INFO
                                     : !userComplete                  ? texts.RS_NOT_USER_INFO
                                                                      : texts.RS_NOT_SYS_INFO;
        out << "Failed\n" << FormatResultMessage(message) << "\n";
        err << "pellandor: the settings in " << settingsPath << " lack the "
            << (!userComplete ? "user ID, password or phone number" : "exchange address or port") << "\n";
        return kExitIncomplete;
    }

    std::string destination;
    if (!hangup) {
        const std::string typed = JoinWords(args.words);
        const std::string shown = args.raw ? typed : state.rules.BuildDialString(typed);
        destination = DialingRules::ApplyDialMarks(shown, state.rules.NUM_ADD_EQUAL);
        if (!state.rules.IsDialableText(destination, false)) {
            err << "pellandor: not a dialable number: \"" << shown << "\"\n";
            return kExitIncomplete;
        }
    }

    PendingResult pending;
    CHttpXmlRequest request;
    ServiceResult result;
    if (!request.Init(account.exchangeAddress, account.exchangePort)) {
        // Reported like a request that could not connect.
        result.step = -XML_STEP_CONNECT_SERV;
        result.text = request.ErrorText();
    } else {
        request.SetResultCallback(&PendingResult::Deliver, &pending);
        CallUserInfo info{account.phoneNumber, account.userId, account.password, destination};
        if (!request.Start(hangup ? kCallTypeHangup : kCallTypeCall, info)) {
            err << "pellandor: could not start the request: " << request.ErrorText() << "\n";
            return kExitFailed;
        }
        result = pending.Wait();
    }

    const bool completed = result.step == XML_STEP_COMPLETED;
    const bool success = completed && LeadingCodeNumber(result.text) == 100;
    out << (success ? "Success" : "Failed") << "\n";
    if (!success)
        out << FormatResultMessage(CallResultMessage(result, hangup, texts)) << "\n";
    if (!completed) {
        std::string detail = result.text;
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r'))
            detail.pop_back();
        err << "pellandor: request failed at step " << -result.step << ": " << detail << "\n";
        return kExitFailed;
    }
    return success ? kExitOk : kExitRefused;
}

}  // namespace pellandor

#include "call/call_press.h"

#include "base/secret_text.h"
#include "call/exchange_trust.h"

#include <future>
#include <memory>

namespace pellandor {

SettingsGap MissingSettings(const CallDialogValues& account)
{
    const bool userComplete = !account.userId.empty() && !account.password.empty() && !account.phoneNumber.empty();
    const bool systemComplete = !account.exchangeAddress.empty() && account.exchangeAddress != "0.0.0.0" &&
                                !account.exchangePort.empty();
    if (!userComplete && !systemComplete) return SettingsGap::UserAndSysInfo;
    if (!userComplete) return SettingsGap::UserInfo;
    if (!systemComplete) return SettingsGap::SysInfo;
    return SettingsGap::None;
}

const std::string& SettingsGapMessage(SettingsGap gap, const ResultTexts& texts)
{
    static const std::string none;
    switch (gap) {
    case SettingsGap::UserInfo:
        return texts.RS_NOT_USER_INFO;
    case SettingsGap::SysInfo:
        return texts.RS_NOT_SYS_INFO;
    case SettingsGap::UserAndSysInfo:
        return texts.RS_NOT_USER_SYS_INFO;
    case SettingsGap::None:
        break;
    }
    return none;
}

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

std::optional<std::string> CallDestination(std::string_view numberText, const DialingRules& rules)
{
    std::string destination = DialingRules::ApplyDialMarks(numberText, rules.NUM_ADD_EQUAL);
    if (!rules.IsDialableText(destination, false)) return std::nullopt;
    return destination;
}

std::string CallOutcome::Message(const ResultTexts& texts) const
{
    std::string untrusted = UntrustedExchangeMessage(peer, exchange);
    if (!untrusted.empty()) return untrusted;
    return FormatResultMessage(CallResultMessage(result, hangup, texts));
}

CCallPress::Begin CCallPress::Press(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                                    const DialingRules& rules, Completion completion)
{
    Begin begin;
    begin.gap = MissingSettings(account);
    if (begin.gap != SettingsGap::None) {
        begin.status = Status::IncompleteSettings;
        return begin;
    }
    const bool hangup = kind == CallKind::Hangup;
    if (!hangup) {
        auto destination = CallDestination(numberText, rules);
        if (!destination) {
            begin.status = Status::NotDialable;
            return begin;
        }
        begin.destination = std::move(*destination);
    }
    if (IsRunning()) {
        begin.error = "a request is still running";
        return begin;
    }

    // Init before every request, so changed settings take effect.
    if (!request_.Init(account.exchangeAddress, account.exchangePort)) {
        // Reported like a request that could not connect.
        begin.status = Status::Started;
        const CallOutcome outcome{{-XML_STEP_CONNECT_SERV, request_.ErrorText()}, hangup, {}, {}};
        if (completion) completion(outcome);
        return begin;
    }

    completion_ = std::move(completion);
    hangup_ = hangup;
    exchange_ = ExchangeName(account.exchangeAddress, account.exchangePort);
    request_.SetResultCallback(&CCallPress::Deliver, this);
    CallUserInfo info{account.phoneNumber, account.userId, account.password, begin.destination};
    busy_.store(true, std::memory_order_release);
    const bool started = request_.Start(hangup ? kCallTypeHangup : kCallTypeCall, info);
    wipeString(info.password);
    if (!started) {
        busy_.store(false, std::memory_order_release);
        begin.error = request_.ErrorText();
        return begin;
    }
    begin.status = Status::Started;
    return begin;
}

CCallPress::Begin CCallPress::PressAndWait(CallKind kind, const CallDialogValues& account,
                                           std::string_view numberText, const DialingRules& rules,
                                           CallOutcome& outcome)
{
    auto promise = std::make_shared<std::promise<CallOutcome>>();
    std::future<CallOutcome> done = promise->get_future();
    Begin begin = Press(kind, account, numberText, rules,
                        [promise](const CallOutcome& finished) { promise->set_value(finished); });
    if (begin.status == Status::Started) outcome = done.get();
    return begin;
}

void CCallPress::Deliver(void* self, const int* step, const char* text)
{
    auto* press = static_cast<CCallPress*>(self);
    const CallOutcome outcome{{*step, text ? text : ""}, press->hangup_, press->request_.LastPeerCheck(),
                              press->exchange_};
    if (press->completion_) press->completion_(outcome);
    // Only now may the next press replace the completion.
    press->busy_.store(false, std::memory_order_release);
}

}  // namespace pellandor

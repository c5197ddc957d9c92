#include "call/call_press.h"

#include <future>
#include <memory>

namespace pellandor {

SettingsGap missingSettings(const CallDialogValues& account) {
    const bool userComplete = !account.userId.empty() && !account.password.empty() && !account.phoneNumber.empty();
    const bool systemComplete =
        !account.exchangeAddress.empty() && account.exchangeAddress != "0.0.0.0" && !account.exchangePort.empty();
    if (!userComplete && !systemComplete) return SettingsGap::UserAndSysInfo;
    if (!userComplete) return SettingsGap::UserInfo;
    if (!systemComplete) return SettingsGap::SysInfo;
    return SettingsGap::None;
}

const std::string& settingsGapMessage(SettingsGap gap, const ResultTexts& texts) {
    static const std::string none;
    switch (gap) {
        case SettingsGap::UserInfo:
            return texts.notUserInfo;
        case SettingsGap::SysInfo:
            return texts.notSysInfo;
        case SettingsGap::UserAndSysInfo:
            return texts.notUserSysInfo;
        case SettingsGap::None:
            break;
    }
    return none;
}

ResultTexts resultTextsFrom(const LanguageTable& table) {
    ResultTexts t;
    t.caption = table.text("RS_RESULT");
    t.callFail = table.text("RS_CALL_FAIL");
    t.hangupFail = table.text("RS_HANGUP_FAIL");
    t.authFail = table.text("RS_AUTH_FAIL");
    t.accessDenied = table.text("RS_ACCESS_DENIED");
    t.callRestricted = table.text("RS_CALL_RESTRICTED");
    t.callNok = table.text("RS_CALL_NOK");
    t.callerBusy = table.text("RS_CALLER_BUSY");
    t.unknownError = table.text("RS_UNKNOWN_ERROR");
    t.codeEmpty = table.text("RS_CODE_EMPTY");
    t.noAnswer = table.text("RS_DONOT_RECEIVE");
    t.notUserInfo = table.text("RS_NOT_USER_INFO");
    t.notSysInfo = table.text("RS_NOT_SYS_INFO");
    t.notUserSysInfo = table.text("RS_NOT_USER_SYS_INFO");
    return t;
}

std::optional<std::string> callDestination(std::string_view numberText, const DialingRules& rules) {
    std::string destination = DialingRules::applyDialMarks(numberText, rules.equalDigits);
    if (!rules.isDialableText(destination, false)) return std::nullopt;
    return destination;
}

std::string CallOutcome::message(const ResultTexts& texts) const {
    return formatResultMessage(callResultMessage(result, hangup, texts));
}

CallPress::Begin CallPress::press(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                                  const DialingRules& rules, Completion completion) {
    Begin begin;
    begin.gap = missingSettings(account);
    if (begin.gap != SettingsGap::None) {
        begin.status = Status::IncompleteSettings;
        return begin;
    }
    const bool hangup = kind == CallKind::Hangup;
    if (!hangup) {
        auto destination = callDestination(numberText, rules);
        if (!destination) {
            begin.status = Status::NotDialable;
            return begin;
        }
        begin.destination = std::move(*destination);
    }
    if (isRunning()) {
        begin.error = "a request is still running";
        return begin;
    }

    // init before every request, so changed settings take effect.
    if (!request_.init(account.exchangeAddress, account.exchangePort)) {
        // Reported like a request that could not connect.
        begin.status = Status::Started;
        const CallOutcome outcome{{-kStepConnect, request_.errorText()}, hangup};
        if (completion) completion(outcome);
        return begin;
    }

    completion_ = std::move(completion);
    hangup_ = hangup;
    request_.setResultCallback(&CallPress::deliver, this);
    const CallUserInfo info{account.phoneNumber, account.userId, account.password, begin.destination};
    busy_.store(true, std::memory_order_release);
    if (!request_.start(hangup ? kCallTypeHangup : kCallTypeCall, info)) {
        busy_.store(false, std::memory_order_release);
        begin.error = request_.errorText();
        return begin;
    }
    begin.status = Status::Started;
    return begin;
}

CallPress::Begin CallPress::pressAndWait(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                                         const DialingRules& rules, CallOutcome& outcome) {
    auto promise = std::make_shared<std::promise<CallOutcome>>();
    std::future<CallOutcome> done = promise->get_future();
    Begin begin = press(kind, account, numberText, rules,
                        [promise](const CallOutcome& finished) { promise->set_value(finished); });
    if (begin.status == Status::Started) outcome = done.get();
    return begin;
}

void CallPress::deliver(void* self, const int* step, const char* text) {
    auto* press = static_cast<CallPress*>(self);
    const CallOutcome outcome{{*step, text ? text : ""}, press->hangup_};
    if (press->completion_) press->completion_(outcome);
    // Only now may the next press replace the completion.
    press->busy_.store(false, std::memory_order_release);
}

}  // namespace pellandor

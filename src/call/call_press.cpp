#include "call/call_press.h"

#include "base/secret_text.h"
#include "call/exchange_trust.h"
#include "dialing/clipboard_number.h"
#include "base/log.h"

#include <future>
#include <memory>

namespace pellandor {

namespace {

constexpr std::size_t kMaxLoggedText = 300;

// One line per press: what was asked, where, how it ended and how long it
// took. The step and the error text say where a failure happened; the
// account and the number dialled stay out of the log.
void logOutcome(const CallOutcome& outcome, const std::string& exchange, std::chrono::steady_clock::duration took) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    // The code comes from the exchange: one line of bounded length. Error
    // texts of the transport end in a line break.
    std::string text = outcome.result.text.substr(0, kMaxLoggedText);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    std::string line = std::string(outcome.hangup ? "hang-up" : "call") + " via " + exchange + ": ";
    LogLevel level = LogLevel::Warning;
    if (outcome.completed()) {
        line += "step " + std::to_string(outcome.result.step) + ", code " + text;
        if (outcome.succeeded()) level = LogLevel::Info;
    } else {
        line += "failed at step " + std::to_string(-outcome.result.step) + " (" + text + ")";
    }
    line += ", " + std::to_string(ms) + " ms";
    log(level, kLogCall, line);
}

}  // namespace

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
    // Refused on the text as the user saw it: a front that converts it to a
    // narrow code page may turn the controls into characters that pass.
    if (hasBidiControl(numberText)) return std::nullopt;
    std::string destination = DialingRules::applyDialMarks(numberText, rules.equalDigits);
    if (!rules.isDialableText(destination, false)) return std::nullopt;
    return destination;
}

std::string CallOutcome::message(const ResultTexts& texts) const {
    std::string untrusted = untrustedExchangeMessage(peer, exchange);
    if (!untrusted.empty()) return untrusted;
    return formatResultMessage(callResultMessage(result, hangup, texts));
}

CallPress::PressResult CallPress::press(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                                        const DialingRules& rules, Completion completion) {
    PressResult pressed;
    pressed.gap = missingSettings(account);
    if (pressed.gap != SettingsGap::None) {
        pressed.state = PressState::IncompleteSettings;
        return pressed;
    }
    const bool hangup = kind == CallKind::Hangup;
    if (!hangup) {
        auto destination = callDestination(numberText, rules);
        if (!destination) {
            pressed.state = PressState::NotDialable;
            return pressed;
        }
        pressed.destination = std::move(*destination);
    }
    if (isRunning()) {
        pressed.error = "a request is still running";
        return pressed;
    }

    const auto startedAt = std::chrono::steady_clock::now();
    const std::string exchange = exchangeName(account.exchangeAddress, account.exchangePort);
    // init before every request, so changed settings take effect.
    if (const pellandor::Status ready = request_.init(account.exchangeAddress, account.exchangePort); !ready) {
        // Reported like a request that could not connect.
        pressed.state = PressState::Started;
        // Filled field by field: GCC 12 takes the aggregate's string for uninitialized.
        CallOutcome outcome;
        outcome.result = {-kStepConnect, ready.error()};
        outcome.hangup = hangup;
        outcome.exchange = exchange;
        logOutcome(outcome, exchange, std::chrono::steady_clock::now() - startedAt);
        if (completion) completion(outcome);
        return pressed;
    }

    completion_ = std::move(completion);
    hangup_ = hangup;
    started_ = startedAt;
    exchange_ = exchange;
    request_.setResultCallback([this](const ServiceResult& result) {
        const CallOutcome outcome{result, hangup_, request_.lastPeerCheck(), exchange_};
        logOutcome(outcome, exchange_, std::chrono::steady_clock::now() - started_);
        if (completion_) completion_(outcome);
        // Only now may the next press replace the completion.
        busy_.store(false, std::memory_order_release);
    });
    CallUserInfo info{account.phoneNumber, account.userId, account.password, pressed.destination};
    busy_.store(true, std::memory_order_release);
    const pellandor::Status started = request_.start(hangup ? kCallTypeHangup : kCallTypeCall, info);
    wipeString(info.password);
    if (!started) {
        busy_.store(false, std::memory_order_release);
        pressed.error = started.error();
        log(LogLevel::Warning, kLogCall, std::string(hangup ? "hang-up" : "call") + " not started: " + pressed.error);
        return pressed;
    }
    pressed.state = PressState::Started;
    return pressed;
}

CallPress::PressResult CallPress::pressAndWait(CallKind kind, const CallDialogValues& account,
                                               std::string_view numberText, const DialingRules& rules,
                                               CallOutcome& outcome) {
    auto promise = std::make_shared<std::promise<CallOutcome>>();
    std::future<CallOutcome> done = promise->get_future();
    PressResult pressed = press(kind, account, numberText, rules,
                                [promise](const CallOutcome& finished) { promise->set_value(finished); });
    if (pressed.state == PressState::Started) outcome = done.get();
    return pressed;
}

}  // namespace pellandor

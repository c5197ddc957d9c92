#include "call/call_press.h"
#include "call/request_failure.h"

#include <gtest/gtest.h>

#include <thread>

namespace pellandor {
namespace {

CallDialogValues sampleAccount() {
    CallDialogValues v;
    v.userId = "alice";
    v.password = "secret";
    v.phoneNumber = "2001";
    v.exchangeAddress = "127.0.0.1";
    v.exchangePort = "443";
    return v;
}

TEST(CallPressTest, MissingSettingsPickTheirMessage) {
    ResultTexts texts;
    texts.notUserInfo = "user";
    texts.notSysInfo = "sys";
    texts.notUserSysInfo = "both";
    struct Case {
        void (*change)(CallDialogValues&);
        SettingsGap gap;
        std::string message;
    };
    const Case cases[] = {
        {[](CallDialogValues&) {}, SettingsGap::None, ""},
        {[](CallDialogValues& v) { v.userId.clear(); }, SettingsGap::UserInfo, "user"},
        {[](CallDialogValues& v) { v.password.clear(); }, SettingsGap::UserInfo, "user"},
        {[](CallDialogValues& v) { v.phoneNumber.clear(); }, SettingsGap::UserInfo, "user"},
        {[](CallDialogValues& v) { v.exchangeAddress = "0.0.0.0"; }, SettingsGap::SysInfo, "sys"},
        {[](CallDialogValues& v) { v.exchangeAddress.clear(); }, SettingsGap::SysInfo, "sys"},
        {[](CallDialogValues& v) { v.exchangePort.clear(); }, SettingsGap::SysInfo, "sys"},
        {[](CallDialogValues& v) { v.exchangeAddress = "0.0.0.0", v.userId.clear(); }, SettingsGap::UserAndSysInfo,
         "both"},
    };
    for (const Case& c : cases) {
        CallDialogValues account = sampleAccount();
        c.change(account);
        const SettingsGap gap = missingSettings(account);
        EXPECT_EQ(gap, c.gap) << c.message;
        EXPECT_EQ(settingsGapMessage(gap, texts), c.message);
    }
}

TEST(CallPressTest, DestinationAppliesMarksThenTheNumberTest) {
    DialingRules rules;
    rules.equalDigits = "55";
    rules.minPopupLength = 5;  // not asked for when calling
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"12", "12"},
        {"12=34", "125534"},
        {"12p3", std::nullopt},  // marks make letters the number test refuses
        {"*#", std::nullopt},
        {"12a", std::nullopt},
        {"1\n2", "1 2"},
        {std::string(30, '1'), std::string(30, '1')},
        {std::string(31, '1'), std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(callDestination(text, rules), expected) << text;
}

TEST(CallPressTest, IncompleteOrUndialableStartsNothing) {
    CallPress press;
    DialingRules rules;
    int completions = 0;
    auto count = [&](const CallOutcome&) { ++completions; };
    CallDialogValues account = sampleAccount();
    EXPECT_EQ(press.press(CallKind::Call, account, "12a", rules, count).state, CallPress::PressState::NotDialable);
    // A hang-up never looks at the number box.
    account.password.clear();
    const auto pressed = press.press(CallKind::Hangup, account, "12a", rules, count);
    EXPECT_EQ(pressed.state, CallPress::PressState::IncompleteSettings);
    EXPECT_EQ(pressed.gap, SettingsGap::UserInfo);
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(press.isRunning());
}

TEST(CallPressTest, UnusableAddressCompletesOnThePressingThreadAsAConnectFailure) {
    CallPress press;
    DialingRules rules;
    CallDialogValues account = sampleAccount();
    account.exchangePort = "no-such-service";  // refused by the resolver without any lookup
    std::thread::id where;
    CallOutcome seen;
    int completions = 0;
    const auto pressed = press.press(CallKind::Hangup, account, "", rules, [&](const CallOutcome& outcome) {
        ++completions;
        where = std::this_thread::get_id();
        seen = outcome;
    });
    EXPECT_EQ(pressed.state, CallPress::PressState::Started);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_EQ(seen.result.step, -kStepConnect);
    EXPECT_TRUE(seen.hangup);
    EXPECT_FALSE(press.isRunning());

    ResultTexts texts;
    texts.noAnswer = "Check $n   the address.";
    EXPECT_EQ(seen.message(texts), "Check \nthe address.\nRS CODE : RECEIVE FAIL");
}

TEST(CallPressTest, OutcomeJudgesTheCode) {
    ResultTexts texts;
    texts.callFail = "Call failed.";
    texts.hangupFail = "Hang-up failed.";
    texts.callerBusy = "Busy.";
    texts.authFail = "Auth.";
    texts.noAnswer = "No answer.";
    struct Case {
        ServiceResult result;
        bool hangup;
        bool completed, succeeded;
        std::string message;
    };
    const Case cases[] = {
        {{kStepCompleted, "100"}, false, true, true, ""},
        {{kStepCompleted, "100abc"}, true, true, true, ""},
        {{kStepCompleted, "110"}, true, true, false, "Hang-up failed. Busy.\nRS CODE : CALLER BUSY"},
        {{kStepCompleted, "101"}, false, true, false, "Auth.\nRS CODE : AUTH FAIL"},
        {{-kStepCheckAnswer, "100"}, false, false, false, "No answer.\nRS CODE : RECEIVE FAIL"},
    };
    for (const Case& c : cases) {
        const CallOutcome outcome{c.result, c.hangup, {}, {}};
        EXPECT_EQ(outcome.completed(), c.completed) << c.result.text;
        EXPECT_EQ(outcome.succeeded(), c.succeeded) << c.result.text;
        EXPECT_EQ(outcome.message(texts), c.message);
    }
}

TEST(CallOutcomeTest, AnUntrustedExchangeNamesTheChangeInsteadOfTheStepText) {
    const ResultTexts texts{};
    PeerCheck changed{TrustVerdict::KeyChanged, "NE:W0", "OL:D0", false, ""};
    const CallOutcome outcome{{-kStepConnect, "whatever"}, false, changed, "10.0.0.5:443"};
    const std::string message = outcome.message(texts);
    EXPECT_EQ(message.rfind("The exchange's identity has changed: 10.0.0.5:443 showed another key", 0), 0u) << message;
    EXPECT_NE(message.find("Trusted key: OL:D0\nNew key: NE:W0\n"), std::string::npos) << message;
    EXPECT_NE(message.find("pellandor config pin accept NE:W0"), std::string::npos) << message;

    changed.provisioned = true;
    EXPECT_NE(CallOutcome({{-3, ""}, false, changed, "h:1"}).message(texts).find("administrator"), std::string::npos);
    const PeerCheck rejected{TrustVerdict::ChainRejected, "NE:W0", "", false, "unable to get local issuer certificate"};
    EXPECT_NE(CallOutcome({{-3, ""}, false, rejected, "h:1"}).message(texts).find("not trusted: unable to get local"),
              std::string::npos);
}

}  // namespace
}  // namespace pellandor

namespace pellandor {
namespace {

TEST(RequestFailureTest, SaysInWordsWhatFailed) {
    const struct {
        int step;
        const char* text;
        const char* said;
    } cases[] = {
        {-kStepConnect, "Connect SSL fail COpenSSLInterface::ConnectSSLClient: connect fail error[111]\n",
         "connection refused by 127.0.0.1:1"},
        {-kStepConnect, "connect: Connection refused", "connection refused by 127.0.0.1:1"},
        {-kStepConnect,
         "Connect SSL fail COpenSSLInterface::ConnectSSLClient: connect fail error[110] (no connection within 5000 ms, "
         "time-out)\n",
         "no connection to 127.0.0.1:1 within 5000 ms (time-out)"},
        {-kStepConnect, "Connect SSL fail COpenSSLInterface::ConnectSSLClient: connect fail error[113]\n",
         "could not connect to 127.0.0.1:1: no route to host"},
        {-kStepConnect,
         "Connect SSL fail COpenSSLInterface::ConnectSSLClient_SSL: ssl problem! res[-1], ecode[1], errno[0]!!\n",
         "the secure connection (TLS 1.2) with 127.0.0.1:1 could not be set up"},
        {-kStepConnect,
         "Connect SSL fail TlsConnection::useTrustAnchors: cannot read the certificate authorities in /etc/ca.pem\n",
         "cannot read the certificate authorities in /etc/ca.pem (CA_FILE in the settings' [SECURITY] section)"},
        {-kStepConnect, "getaddrinfo: Name or service not known\n",
         "the exchange address \"127.0.0.1\" could not be resolved: Name or service not known"},
        {-kStepReceiveAnswer, "no complete answer within 10000 ms (time-out)",
         "no complete answer from 127.0.0.1:1 within 10000 ms (time-out)"},
        {-kStepCheckAnswer, "CHttpXmlRequest::Run: HTTP status 500",
         "the answer from 127.0.0.1:1 is not usable: HTTP status 500"},
        {-kStepCheckAnswer, "CODE_EMPTY", "the answer from 127.0.0.1:1 holds no result code"},
    };
    for (const auto& c : cases) {
        const CallOutcome outcome{{c.step, c.text}, false, {}, {}};
        EXPECT_EQ(describeRequestFailure(outcome, "127.0.0.1", "1"), c.said) << c.text;
    }
    const CallOutcome refused{{-kStepConnect, "connect fail error[111]"}, false, {}, {}};
    EXPECT_EQ(describeRequestFailure(refused, "::1", "5060"), "connection refused by [::1]:5060");
}

TEST(RequestFailureTest, NamesEachMissingSetting) {
    CallDialogValues account;
    EXPECT_EQ(missingSettingsText(account), "user ID, password, phone number, exchange address and port");
    account.userId = "u";
    account.phoneNumber = "1";
    account.exchangeAddress = "0.0.0.0";
    account.exchangePort = "5060";
    EXPECT_EQ(missingSettingsText(account), "password and exchange address");
    account.password = "p";
    account.exchangeAddress = "10.0.0.1";
    EXPECT_EQ(missingSettingsText(account), "");
}

}  // namespace
}  // namespace pellandor

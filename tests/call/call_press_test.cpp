#include "call/call_press.h"

#include <gtest/gtest.h>

#include <thread>

namespace pellandor {
namespace {

CallDialogValues Account()
{
    CallDialogValues v;
    v.userId = "alice";
    v.password = "secret";
    v.phoneNumber = "2001";
    v.exchangeAddress = "127.0.0.1";
    v.exchangePort = "443";
    return v;
}

TEST(CallPressTest, MissingSettingsPickTheirMessage)
{
    ResultTexts texts;
    texts.RS_NOT_USER_INFO = "user";
    texts.RS_NOT_SYS_INFO = "sys";
    texts.RS_NOT_USER_SYS_INFO = "both";
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
        CallDialogValues account = Account();
        c.change(account);
        const SettingsGap gap = MissingSettings(account);
        EXPECT_EQ(gap, c.gap) << c.message;
        EXPECT_EQ(SettingsGapMessage(gap, texts), c.message);
    }
}

TEST(CallPressTest, DestinationAppliesMarksThenTheNumberTest)
{
    DialingRules rules;
    rules.NUM_ADD_EQUAL = "55";
    rules.MIN_POPUP_LENGTH = 5;  // not asked for when calling
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
    for (const auto& [text, expected] : cases) EXPECT_EQ(CallDestination(text, rules), expected) << text;
}

TEST(CallPressTest, IncompleteOrUndialableStartsNothing)
{
    CCallPress press;
    DialingRules rules;
    int completions = 0;
    auto count = [&](const CallOutcome&) { ++completions; };
    CallDialogValues account = Account();
    EXPECT_EQ(press.Press(CallKind::Call, account, "12a", rules, count).status, CCallPress::Status::NotDialable);
    // A hang-up never looks at the number box.
    account.password.clear();
    const auto begin = press.Press(CallKind::Hangup, account, "12a", rules, count);
    EXPECT_EQ(begin.status, CCallPress::Status::IncompleteSettings);
    EXPECT_EQ(begin.gap, SettingsGap::UserInfo);
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(press.IsRunning());
}

TEST(CallPressTest, UnusableAddressCompletesOnThePressingThreadAsAConnectFailure)
{
    CCallPress press;
    DialingRules rules;
    CallDialogValues account = Account();
    account.exchangePort = "no-such-service";  // refused by the resolver without any lookup
    std::thread::id where;
    CallOutcome seen;
    int completions = 0;
    const auto begin = press.Press(CallKind::Hangup, account, "", rules, [&](const CallOutcome& outcome) {
        ++completions;
        where = std::this_thread::get_id();
        seen = outcome;
    });
    EXPECT_EQ(begin.status, CCallPress::Status::Started);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_EQ(seen.result.step, -XML_STEP_CONNECT_SERV);
    EXPECT_TRUE(seen.hangup);
    EXPECT_FALSE(press.IsRunning());

    ResultTexts texts;
    texts.RS_DONOT_RECEIVE = "Check $n   the address.";
    EXPECT_EQ(seen.Message(texts), "Check \nthe address.\nRS CODE : RECEIVE FAIL");
}

TEST(CallPressTest, OutcomeJudgesTheCode)
{
    ResultTexts texts;
    texts.RS_CALL_FAIL = "Call failed.";
    texts.RS_HANGUP_FAIL = "Hang-up failed.";
    texts.RS_CALLER_BUSY = "Busy.";
    texts.RS_AUTH_FAIL = "Auth.";
    texts.RS_DONOT_RECEIVE = "No answer.";
    struct Case {
        ServiceResult result;
        bool hangup;
        bool completed, succeeded;
        std::string message;
    };
    const Case cases[] = {
        {{XML_STEP_COMPLETED, "100"}, false, true, true, ""},
        {{XML_STEP_COMPLETED, "100abc"}, true, true, true, ""},
        {{XML_STEP_COMPLETED, "110"}, true, true, false, "Hang-up failed. Busy.\nRS CODE : CALLER BUSY"},
        {{XML_STEP_COMPLETED, "101"}, false, true, false, "Auth.\nRS CODE : AUTH FAIL"},
        {{-XML_STEP_CHECK_CALL_REPONSE, "100"}, false, false, false, "No answer.\nRS CODE : RECEIVE FAIL"},
    };
    for (const Case& c : cases) {
        const CallOutcome outcome{c.result, c.hangup, {}, {}};
        EXPECT_EQ(outcome.Completed(), c.completed) << c.result.text;
        EXPECT_EQ(outcome.Succeeded(), c.succeeded) << c.result.text;
        EXPECT_EQ(outcome.Message(texts), c.message);
    }
}

TEST(CallOutcomeTest, AnUntrustedExchangeNamesTheChangeInsteadOfTheStepText) {
    const ResultTexts texts{};
    PeerCheck changed{TrustVerdict::KeyChanged, "NE:W0", "OL:D0", false, ""};
    const CallOutcome outcome{{-XML_STEP_CONNECT_SERV, "whatever"}, false, changed, "10.0.0.5:443"};
    const std::string message = outcome.Message(texts);
    EXPECT_EQ(message.rfind("The exchange's identity has changed: 10.0.0.5:443 showed another key", 0), 0u) << message;
    EXPECT_NE(message.find("Trusted key: OL:D0\nNew key: NE:W0\n"), std::string::npos) << message;
    EXPECT_NE(message.find("pellandor config pin accept NE:W0"), std::string::npos) << message;

    changed.provisioned = true;
    EXPECT_NE(CallOutcome({{-3, ""}, false, changed, "h:1"}).Message(texts).find("administrator"), std::string::npos);
    const PeerCheck rejected{TrustVerdict::ChainRejected, "NE:W0", "", false, "unable to get local issuer certificate"};
    EXPECT_NE(CallOutcome({{-3, ""}, false, rejected, "h:1"}).Message(texts).find("not trusted: unable to get local"),
              std::string::npos);
}

}  // namespace
}  // namespace pellandor

#include "service/result_message.h"

#include <gtest/gtest.h>

namespace pellandor {
namespace {

ResultTexts texts() {
    ResultTexts t;
    t.callFail = "[call]";
    t.hangupFail = "[hangup]";
    t.authFail = "[auth]";
    t.accessDenied = "[denied]";
    t.callRestricted = "[restricted]";
    t.callNok = "[nok]";
    t.callerBusy = "[busy]";
    t.unknownError = "[unknown]";
    t.codeEmpty = "[empty]";
    t.noAnswer = "[receive]";
    return t;
}

TEST(ResultMessage, CompletedRequestByCode) {
    struct Case {
        const char* code;
        bool hangup;
        const char* expected;
    } cases[] = {
        {"100", false, ""},
        {"100abc", true, ""},
        {"101", false, "[auth]\nRS CODE : AUTH FAIL"},
        {"101", true, "[auth]\nRS CODE : AUTH FAIL"},
        {"102", false, "[call][denied]\nRS CODE : ACCESS DENIED"},
        {"103", true, "[hangup][restricted]\nRS CODE : CALL RESTRICTED"},
        {"104", false, "[call][nok]\nRS CODE : NOK ETC"},
        {"110", false, "[call] [busy]\nRS CODE : CALLER BUSY"},
        {"199", true, "[hangup][unknown]\nRS CODE : UNKNOWN ERROR"},
        {"105", false, "[call][empty]\nRS CODE : EMPTY CODE"},
        {"0", false, "[call][empty]\nRS CODE : EMPTY CODE"},
        {"200", false, "[call][empty]\nRS CODE : EMPTY CODE"},
        {"", false, "[call][empty]\nRS CODE : EMPTY CODE"},
        {" 100", false, "[call][empty]\nRS CODE : EMPTY CODE"},
        {"99999999999999999999", false, "[call][empty]\nRS CODE : EMPTY CODE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(callResultMessage({15, c.code}, c.hangup, texts()), c.expected) << '"' << c.code << '"';
    }
}

TEST(ResultMessage, FailedRequestIsReceiveFailureWhateverItsText) {
    for (int step : {-2, -3, -13, -14}) {
        EXPECT_EQ(callResultMessage({step, "100"}, false, texts()), "[receive]\nRS CODE : RECEIVE FAIL");
    }
}

TEST(ResultMessage, FormatSplitsAtDollarNAndTrimsLeadingBlanks) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain", "plain"},       {"one$n two$n\t\r\nthree ", "one\ntwo\nthree "},
        {"a$n  $nb", "a\n  \nb"}, {"$n", "\n"},
        {"a$$nb", "a$\nb"},       {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(formatResultMessage(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace pellandor

#include "service/result_message.h"

#include <climits>

namespace pellandor {

int leadingCodeNumber(std::string_view text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return INT_MAX;  // no real code; shown as an unknown one
    }
    return static_cast<int>(value);
}

std::string callResultMessage(const ServiceResult& result, bool hangup, const ResultTexts& texts) {
    if (result.step != kStepCompleted) return texts.noAnswer + "\nRS CODE : RECEIVE FAIL";

    const std::string& base = hangup ? texts.hangupFail : texts.callFail;
    switch (leadingCodeNumber(result.text)) {
        case 100:
            return {};
        case 101:
            return texts.authFail + "\nRS CODE : AUTH FAIL";
        case 102:
            return base + texts.accessDenied + "\nRS CODE : ACCESS DENIED";
        case 103:
            return base + texts.callRestricted + "\nRS CODE : CALL RESTRICTED";
        case 104:
            return base + texts.callNok + "\nRS CODE : NOK ETC";
        case 110:
            return base + " " + texts.callerBusy + "\nRS CODE : CALLER BUSY";
        case 199:
            return base + texts.unknownError + "\nRS CODE : UNKNOWN ERROR";
        default:
            return base + texts.codeEmpty + "\nRS CODE : EMPTY CODE";
    }
}

std::string formatResultMessage(std::string_view text) {
    constexpr std::string_view kBreak = "$n";
    constexpr std::string_view kBlanks = " \t\r\n";
    std::string out;
    for (bool first = true;; first = false) {
        const auto cut = text.find(kBreak);
        std::string_view piece = text.substr(0, cut);
        const auto start = piece.find_first_not_of(kBlanks);
        if (start != std::string_view::npos) piece.remove_prefix(start);
        if (!first) out += '\n';
        out += piece;
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + kBreak.size());
    }
    return out;
}

}  // namespace pellandor

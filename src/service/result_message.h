#pragma once
// The message the user sees after a request, built from the language texts.

#include <string>
#include <string_view>

#include "service/service_types.h"

namespace pellandor {

// Copies of the language table's result texts.
struct ResultTexts {
    std::string caption;  // the message box caption
    std::string callFail;
    std::string hangupFail;
    std::string authFail;
    std::string accessDenied;
    std::string callRestricted;
    std::string callNok;
    std::string callerBusy;
    std::string unknownError;
    std::string codeEmpty;
    std::string noAnswer;
    std::string notUserInfo;
    std::string notSysInfo;
    std::string notUserSysInfo;
};

// The exchange's result code: the decimal digits the text starts with,
// 0 when it does not start with a digit.
int leadingCodeNumber(std::string_view text);

// Empty for a completed request with code 100 (nothing to show); otherwise
// the text for the message box, before formatResultMessage.
std::string callResultMessage(const ServiceResult& result, bool hangup, const ResultTexts& texts);

// Language texts mark line breaks with "$n": each piece loses its leading
// blanks (unless it is all blanks) and the pieces are joined with "\n".
std::string formatResultMessage(std::string_view text);

}  // namespace pellandor

#pragma once
// The message the user sees after a request, built from the language texts.

#include <string>
#include <string_view>

#include "service/service_types.h"

namespace pellandor {

// Copies of the language table's result texts.
struct ResultTexts {
    std::string RS_RESULT;  // the message box caption
    std::string RS_CALL_FAIL;
    std::string RS_HANGUP_FAIL;
    std::string RS_AUTH_FAIL;
    std::string RS_ACCESS_DENIED;
    std::string RS_CALL_RESTRICTED;
    std::string RS_CALL_NOK;
    std::string RS_CALLER_BUSY;
    std::string RS_UNKNOWN_ERROR;
    std::string RS_CODE_EMPTY;
    std::string RS_DONOT_RECEIVE;
    std::string RS_NOT_USER_INFO;
    std::string RS_NOT_SYS_INFO;
    std::string RS_NOT_USER_SYS_INFO;
};

// The exchange's result code: the decimal digits the text starts with,
// 0 when it does not start with a digit.
int LeadingCodeNumber(std::string_view text);

// Empty for a completed request with code 100 (nothing to show); otherwise
// the text for the message box, before FormatResultMessage.
std::string CallResultMessage(const ServiceResult& result, bool hangup, const ResultTexts& texts);

// Language texts mark line breaks with "$n": each piece loses its leading
// blanks (unless it is all blanks) and the pieces are joined with "\n".
std::string FormatResultMessage(std::string_view text);

}  // namespace pellandor

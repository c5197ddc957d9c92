// The exchange's XML answer: any bytes parse or fail cleanly, and a code
// found is reported with the number it starts with.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "service/exchange_request.h"
#include "service/answer_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    pellandor::AnswerParser parser;
    if (parser.parse(body) && parser.root() == nullptr) std::abort();
    if (parser.root() != nullptr) (void)parser.root()->findValue("code");

    const pellandor::CallUserInfo user{"2001", "alice", "secret", "123"};
    std::string codeText, error;
    int codeNumber = -1;
    if (pellandor::ExchangeRequest::parseAnswerCode(body, codeText, pellandor::kCallTypeCall, &user, codeNumber,
                                                    error)) {
        if (!error.empty() && error.rfind("Error at Parsing", 0) == 0) std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}

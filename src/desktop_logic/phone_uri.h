#pragma once
// tel: and callto: links as a dialler needs them.

#include <cstddef>
#include <string>
#include <string_view>

namespace pellandor {

// Links longer than this are refused before any decoding.
inline constexpr std::size_t kMaxPhoneUriLength = 2048;

// Whether `text` starts with "tel:" or "callto:" (any case).
bool isPhoneUri(std::string_view text);

struct PhoneUriResult {
    bool ok = false;
    std::string number;  // the number as a person would have copied it
    std::string error;   // why there is nothing to dial
};

// percent-decodes the number part, keeps the visual separators ("." becomes
// "-"), drops the parameters (";ext=", ";phone-context=", ...) and any query.
// The result must be a dialable text of at most 30 characters.
PhoneUriResult parsePhoneUri(std::string_view uri);

}  // namespace pellandor

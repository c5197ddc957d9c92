#pragma once
// tel: and callto: links as a dialler needs them.

#include "base/result.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pellandor {

// Links longer than this are refused before any decoding.
inline constexpr std::size_t kMaxPhoneUriLength = 2048;

// Whether `text` starts with "tel:" or "callto:" (any case).
bool isPhoneUri(std::string_view text);

// The number as a person would have copied it, or why there is nothing to
// dial. percent-decodes the number part, keeps the visual separators ("."
// becomes "-"), drops the parameters (";ext=", ";phone-context=", ...) and
// any query. The number must be a dialable text of at most 30 characters.
Result<std::string> parsePhoneUri(std::string_view uri);

}  // namespace pellandor

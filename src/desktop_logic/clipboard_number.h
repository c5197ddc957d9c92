#pragma once
// Whether a copied text is a phone number, and the text the call dialog gets.

#include <cstddef>
#include <optional>
#include <string>

namespace pellandor {

class DialingRules;

// Longer copies are never numbers; callers check this before converting a
// possibly huge clipboard text.
inline constexpr std::size_t kMaxClipboardNumberLength = 30;

// `text` as read from the clipboard (UTF-16). The result is UTF-8 with the
// blank marks turned into spaces; it is neither trimmed nor reduced to digits
// (the call dialog builds the dial string). nullopt: not a number.
std::optional<std::string> clipboardNumber(std::u16string text, const DialingRules& rules);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace pellandor

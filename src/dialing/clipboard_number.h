#pragma once
// Whether a copied text is a phone number, and the text the call dialog gets.
// The clipboard pop-up and `pellandor dial-string` both go through here, so
// the command line prints what the dialog dials.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

class DialingRules;

// Longer copies are never numbers; callers check this before converting a
// possibly huge clipboard text.
inline constexpr std::size_t kMaxClipboardNumberLength = 30;

// `text` as read from the clipboard (UTF-16). The result is UTF-8 with the
// blank marks turned into spaces; it is neither trimmed nor reduced to digits
// (the call dialog builds the dial string). nullopt: not a number, or the
// text holds bidirectional controls.
std::optional<std::string> clipboardNumber(std::u16string text, const DialingRules& rules);

// Direction overrides, embeddings, isolates and marks (U+061C, U+200E/F,
// U+202A-U+202E, U+2066-U+2069) make a text display in another order than
// it is dialled: "U+202E 4321-555 U+202C" shows as 555-1234. A number holding
// one is never taken, whichever way it comes in.
bool hasBidiControl(std::u16string_view text);
bool hasBidiControl(std::string_view utf8);

// Says why such a text is refused, for the fronts' messages.
inline constexpr const char* kBidiControlRefusal =
    "the text holds invisible direction controls (U+202E and the like), which can make a number show in another "
    "order than it would be dialled";

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace pellandor

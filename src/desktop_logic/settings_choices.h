#pragma once
// What the settings dialogs offer and check, the same in every front.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

// The hotkey's modifier and key lists as offered, before a list sorts them.
std::vector<std::string> hotkeyModifierNames();
std::vector<std::string> hotkeyKeyNames();
// Sorted as a sorted list shows them: case-insensitively, a shorter prefix first.
std::vector<std::string> sortedForList(std::vector<std::string> items);
// The list entry a stored value selects: the exact text, else the first
// entry it begins (ignoring case); empty when none.
std::optional<std::size_t> listIndexFor(const std::vector<std::string>& items, std::string_view value);

// A port box's text is fine when empty or 1..65535 (blanks around it aside).
bool isPortAccepted(std::string_view text);

// The minimum pop-up length the advanced dialling dialog accepts.
bool isMinPopupLengthAccepted(std::string_view text);

// The transparency track bar's range, in percent.
inline constexpr int kMaxTransparency = 70;

}  // namespace pellandor

namespace pellandor {

// Each text with an access letter ("&"), distinct where the letters allow:
// the first letter of a word first, then any letter or digit. When the
// letters run out, a text after the first `exclusive` ones (the push
// buttons) shares one with another; a literal "&" is doubled. UTF-16, as
// both toolkits hold their texts.
std::vector<std::u16string> withMnemonics(const std::vector<std::u16string>& texts, int exclusive = -1);

}  // namespace pellandor

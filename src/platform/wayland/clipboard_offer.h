#pragma once
// Which of a clipboard offer's formats to read, and what the bytes mean;
// no Wayland calls, so it is tested on its own.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

// Password managers mark the secrets they copy with this format.
inline constexpr std::string_view kPasswordHintType = "x-kde-passwordManagerHint";

// The text format to ask for, best first (UTF-8 before Latin-1); nullopt when
// the offer has no text.
std::optional<std::string> pickTextType(const std::vector<std::string>& types);

bool offersType(const std::vector<std::string>& types, std::string_view type);

// The hint's value marks a secret ("secret", blanks around it allowed).
bool isSecretHint(std::string_view value);

// Bytes a text of `maxChars` UTF-16 units can take in `type` (UTF-8: three
// bytes a unit at most; Latin-1: one).
std::size_t maxTextBytes(std::string_view type, int maxChars);

// Latin-1 for the X11 names "STRING" and "TEXT", else UTF-8.
bool isLatin1Type(std::string_view type);

}  // namespace pellandor

#pragma once
// Small text operations shared by the dialling rules and the settings code.
// texts are 8-bit; lengths and positions count bytes.

#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

// Space, tab, CR and LF removed at both ends. A text made only of those
// characters comes back unchanged (callers rely on this, it is not emptied).
std::string trimBlanks(std::string_view text);

// "0"-"9", "*" and "#": what a phone's keypad can send.
inline bool isDialCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

// Only the dial characters, in their order.
std::string extractDialCharacters(std::string_view text);

// Cuts at every character found in `separators`; empty pieces are kept, so s
// separators always give s + 1 pieces.
std::vector<std::string> splitAtAny(std::string_view text, std::string_view separators);

// One pass from the front; text that a replacement inserts is not scanned again.
std::string replaceCharacter(std::string_view text, char marker, std::string_view replacement);

}  // namespace pellandor

#include "dialing/text_utils.h"

namespace pellandor {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

}  // namespace

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        // Callers expect an all-blank text back as it was, not emptied.
        return std::string(text);
    }
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string extractDialCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (isDialCharacter(c)) out.push_back(c);
    }
    return out;
}

std::vector<std::string> splitAtAny(std::string_view text, std::string_view separators) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto pos = separators.empty() ? std::string_view::npos : text.find_first_of(separators, start);
        if (pos == std::string_view::npos) break;
        pieces.emplace_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

std::string replaceCharacter(std::string_view text, char marker, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == marker) {
            out.append(replacement);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace pellandor

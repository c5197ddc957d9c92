#include "platform/wayland/clipboard_offer.h"

#include <algorithm>
#include <array>

namespace pellandor {

std::optional<std::string> pickTextType(const std::vector<std::string>& types) {
    static constexpr std::array<std::string_view, 5> kPreferred = {"text/plain;charset=utf-8", "UTF8_STRING",
                                                                   "text/plain", "STRING", "TEXT"};
    for (std::string_view wanted : kPreferred)
        if (offersType(types, wanted)) return std::string(wanted);
    // "text/plain;charset=UTF-8" and the like.
    for (const std::string& type : types) {
        std::string lower(type);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        if (lower == "text/plain;charset=utf-8" || lower == "text/plain; charset=utf-8") return type;
    }
    return std::nullopt;
}

bool offersType(const std::vector<std::string>& types, std::string_view type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool isSecretHint(std::string_view value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0'; };
    while (!value.empty() && blank(value.front())) value.remove_prefix(1);
    while (!value.empty() && blank(value.back())) value.remove_suffix(1);
    return value == "secret";
}

bool isLatin1Type(std::string_view type) {
    return type == "STRING" || type == "TEXT";
}

std::size_t maxTextBytes(std::string_view type, int maxChars) {
    const std::size_t chars = maxChars > 0 ? static_cast<std::size_t>(maxChars) : 0;
    return isLatin1Type(type) ? chars : chars * 3;
}

}  // namespace pellandor

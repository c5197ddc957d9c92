#include "desktop_logic/settings_choices.h"

#include "config/ini_file.h"

#include <algorithm>
#include <cctype>

namespace pellandor {

namespace {

bool startsWithIgnoringCase(std::string_view item, std::string_view prefix) {
    if (prefix.size() > item.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(item[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::vector<std::string> hotkeyModifierNames() {
    return {"WIN", "SHIFT", "CTRL", "ALT"};
}

std::vector<std::string> hotkeyKeyNames() {
    std::vector<std::string> names;
    for (int f = 12; f >= 1; --f) {
        std::string name(1, 'f');
        name += std::to_string(f);
        names.push_back(std::move(name));
    }
    for (char c = '9'; c >= '1'; --c) names.emplace_back(1, c);
    for (char c = 'Z'; c >= 'A'; --c) names.emplace_back(1, c);
    return names;
}

std::vector<std::string> sortedForList(std::vector<std::string> items) {
    std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    return items;
}

std::optional<std::size_t> listIndexFor(const std::vector<std::string>& items, std::string_view value) {
    const auto exact = std::find(items.begin(), items.end(), value);
    if (exact != items.end()) return static_cast<std::size_t>(exact - items.begin());
    if (value.empty()) return std::nullopt;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (startsWithIgnoringCase(items[i], value)) return i;
    }
    return std::nullopt;
}

bool isPortAccepted(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return true;
    if (text.size() > 5) return false;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

bool isMinPopupLengthAccepted(std::string_view text) {
    const std::int32_t length = leadingDecimal(text);
    return length >= 1 && length <= 30;
}

}  // namespace pellandor

namespace pellandor {

namespace {

// Letters and digits as far as access keys go: ASCII and the letters of
// the Latin-1 range and beyond (the delivered languages' own).
bool isLetterOrDigit(char16_t c) {
    if (c < 0x80) return std::isalnum(static_cast<unsigned char>(c)) != 0;
    return c >= 0xc0 && c != 0xd7 && c != 0xf7;
}

char16_t lowered(char16_t c) {
    if (c < 0x80) return static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 0xc0 && c <= 0xde && c != 0xd7) return static_cast<char16_t>(c + 0x20);
    return c;
}

}  // namespace

std::vector<std::u16string> withMnemonics(const std::vector<std::u16string>& texts, int exclusive) {
    if (exclusive < 0) exclusive = static_cast<int>(texts.size());
    std::vector<char16_t> used, reserved;
    const auto has = [](const std::vector<char16_t>& set, char16_t c) {
        return std::find(set.begin(), set.end(), c) != set.end();
    };
    std::vector<std::u16string> result;
    for (const std::u16string& text : texts) {
        const bool mayShare = static_cast<int>(result.size()) >= exclusive;
        std::ptrdiff_t chosen = -1;
        // Word starts first, then any letter or digit; shared ones last.
        for (int pass = 0; pass < 4 && chosen < 0; ++pass) {
            if (pass >= 2 && !mayShare) break;
            for (std::size_t i = 0; i < text.size(); ++i) {
                const char16_t c = text[i];
                if (!isLetterOrDigit(c) || has(reserved, lowered(c))) continue;
                if (pass < 2 && has(used, lowered(c))) continue;
                const bool wordStart = i == 0 || !isLetterOrDigit(text[i - 1]);
                if (pass % 2 == 0 && !wordStart) continue;
                chosen = static_cast<std::ptrdiff_t>(i);
                break;
            }
        }
        std::u16string marked;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (static_cast<std::ptrdiff_t>(i) == chosen) {
                marked += u'&';
                used.push_back(lowered(text[i]));
                if (!mayShare) reserved.push_back(lowered(text[i]));
            }
            marked += text[i];
            if (text[i] == u'&') marked += u'&';
        }
        result.push_back(std::move(marked));
    }
    return result;
}

}  // namespace pellandor

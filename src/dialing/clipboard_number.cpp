#include "dialing/clipboard_number.h"

#include "dialing/dialing_rules.h"

namespace pellandor {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t lowest = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            c = lead & 0x1F;
            lowest = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            c = lead & 0x0F;
            lowest = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            c = lead & 0x07;
            lowest = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        valid = valid && c >= lowest && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        if (!valid) {
            out += char16_t(0xFFFD);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

bool hasBidiControl(std::u16string_view text) {
    for (const char16_t c : text) {
        if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
            return true;
    }
    return false;
}

bool hasBidiControl(std::string_view utf8) {
    return hasBidiControl(utf8ToUtf16(utf8));
}

std::optional<std::string> clipboardNumber(std::u16string text, const DialingRules& rules) {
    if (text.size() > kMaxClipboardNumberLength) return std::nullopt;
    // Checked before the filter, which would delete the controls and keep
    // the digits in the order they would be dialled, not the one shown.
    if (hasBidiControl(text)) return std::nullopt;
    rules.stripToPopupCharacters(text);
    std::string number = utf16ToUtf8(text);
    if (!rules.isDialableText(number, true)) return std::nullopt;
    return number;
}

}  // namespace pellandor

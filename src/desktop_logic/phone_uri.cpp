#include "desktop_logic/phone_uri.h"

#include "dialing/clipboard_number.h"
#include "dialing/dialing_rules.h"
#include "dialing/text_utils.h"

#include <algorithm>

namespace pellandor {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::string_view head) {
    if (text.size() < head.size()) return false;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (lower(text[i]) != head[i]) return false;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool percentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

}  // namespace

bool isPhoneUri(std::string_view text) {
    return startsWithNoCase(text, "tel:") || startsWithNoCase(text, "callto:");
}

Result<std::string> parsePhoneUri(std::string_view uri) {
    if (uri.size() > kMaxPhoneUriLength) {
        return failure("the link is longer than " + std::to_string(kMaxPhoneUriLength) + " characters");
    }
    if (!isPhoneUri(uri)) {
        return failure("not a tel: or callto: link");
    }
    std::string_view rest = uri.substr(uri.find(':') + 1);
    // Some pages write "tel://" or "callto://".
    if (rest.substr(0, 2) == "//") rest.remove_prefix(2);
    rest = rest.substr(0, rest.find('?'));
    rest = rest.substr(0, rest.find(';'));

    std::string decoded;
    if (!percentDecode(rest, decoded)) {
        return failure("the link holds a malformed %-escape");
    }
    if (hasBidiControl(decoded)) {
        return failure(std::string("the link's number: ") + kBidiControlRefusal);
    }
    std::replace(decoded.begin(), decoded.end(), '.', '-');
    std::string number = trimBlanks(decoded);
    const DialingRules plain;
    if (!plain.isDialableText(number, false)) {
        return failure(
            "the link holds no number to dial (at most 30 characters of 0-9 * # + ( ) - / and "
            "space, with at least one digit)");
    }
    return trimBlanks(number);
}

}  // namespace pellandor

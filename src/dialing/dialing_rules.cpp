#include "dialing/dialing_rules.h"

#include "dialing/text_utils.h"

#include <algorithm>
#include <vector>

namespace pellandor {

namespace {

constexpr std::string_view kPartSeparators = "[/-() ]";

// Both the call dialog and the clipboard pop-up refuse anything longer.
constexpr std::size_t kMaxDialableLength = 30;
constexpr std::size_t kMaxPopupLength = 30;

// plain numbers of at least this length get the CO access code unless
// USE_CO_EXTENSION_LENGTH says otherwise.
constexpr std::size_t kFixedCoLength = 7;

// Only longer plain numbers are restructured into country/area/local parts.
constexpr std::size_t kStructureMinLength = 9;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDialCharacters(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isDialCharacter);
}

bool beginsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

template <typename Char>
bool isBlankMark(Char c) {
    return c == Char('\n') || c == Char('\r') || c == Char('?') || c == Char('\v');
}

template <typename Char>
bool inDialableSet(Char c) {
    if (c >= Char('0') && c <= Char('9')) return true;
    switch (c) {
        case Char(')'):
        case Char('('):
        case Char('-'):
        case Char(' '):
        case Char('+'):
        case Char('*'):
        case Char('#'):
        case Char('/'):
            return true;
        default:
            return isBlankMark(c);
    }
}

// Length compared as the system does it: an unsigned comparison, so a
// negative setting acts as a huge length.
bool lengthAtLeast(std::size_t length, std::int32_t minimum) {
    return length >= static_cast<std::uint32_t>(minimum);
}

}  // namespace

std::string DialingRules::buildDialString(std::string_view text) const {
    const std::string co = trimBlanks(coAccessCode);
    const std::string pbx = trimBlanks(pbxCode);
    const std::string nat = trimBlanks(myCountryCode);
    const std::string area = trimBlanks(myAreaCode);
    const std::string inter = trimBlanks(internationalCode);
    const std::string longCode = trimBlanks(longDistanceCode);

    std::string n = trimBlanks(text);

    // Step 1: give long plain numbers a country/area structure step 3 can read.
    {
        const std::string_view body = beginsWith(n, "+") ? std::string_view(n).substr(1) : std::string_view(n);
        if (allDialCharacters(body) && n.size() >= kStructureMinLength) {
            std::string_view rest = n;
            std::string countryPart;
            std::string areaPart;
            if (beginsWith(rest, "+")) {
                rest.remove_prefix(1);
                if (!nat.empty() && beginsWith(rest, nat)) {
                    countryPart = "+" + nat;
                    rest.remove_prefix(nat.size());
                }
            }
            if (!area.empty() && beginsWith(rest, area)) {
                areaPart = area;
                rest.remove_prefix(area.size());
            }
            std::string rebuilt;
            if (!countryPart.empty() && !areaPart.empty()) {
                rebuilt = countryPart + "-" + areaPart + "-" + std::string(rest);
            } else if (!countryPart.empty()) {
                rebuilt = countryPart + "-" + std::string(rest);
            } else if (!areaPart.empty()) {
                rebuilt = areaPart + "-" + std::string(rest);
            }
            if (!rebuilt.empty()) n = std::move(rebuilt);
        }
    }

    // Step 2: plain numbers are extensions unless a CO rule claims them.
    if (allDialCharacters(n)) {
        const std::string outside = co + pbx + n;
        if (useNonStandard) {
            if (usePrefix) {
                for (const std::string* prefix : {&prefix1, &prefix2, &prefix3, &prefix4, &prefix5}) {
                    const std::string p = trimBlanks(*prefix);
                    if (!p.empty() && beginsWith(n, p)) return outside;
                }
            }
            if (useCoExtensionLength && lengthAtLeast(n.size(), coExtensionLength)) {
                return outside;
            }
        }
        if (!useCoExtensionLength && n.size() >= kFixedCoLength) return outside;
        return n;
    }

    // Step 3: numbers written with separators.
    std::vector<std::string> parts = splitAtAny(n, kPartSeparators);
    std::erase_if(parts, [](const std::string& piece) { return piece.empty(); });
    const std::size_t count = parts.size();
    if (count == 0) {
        // Only separators: nothing to dial. Callers never pass such text; hand
        // it back rather than invent a dial string (e.g. a bare CO code).
        return n;
    }

    std::string cp;
    std::string ap;
    std::size_t k = 0;
    if (beginsWith(parts[0], "+")) {
        cp = parts[0].substr(1);
        if (count > 2) {
            ap = parts[1];
            k = 2;
        } else {
            k = 1;
        }
    } else if (useInternationalRule) {
        if (count >= 2) {
            ap = parts[0];
            k = 1;
        } else {
            k = 0;
        }
    } else if (count > 3) {
        cp = parts[0];
        ap = parts[1];
        k = 2;
    } else {
        ap = parts[0];
        k = 1;
    }

    std::string lp;
    for (std::size_t i = k; i < count; ++i) lp += parts[i];

    std::string r;
    if (!cp.empty() || !ap.empty()) r = co + pbx;

    const bool foreignCountry = !cp.empty() && cp != nat;
    if (foreignCountry) {
        r += inter + cp;
    } else if (!cp.empty() && addZero && !beginsWith(ap, "0")) {
        ap = "0" + ap;
    }

    if (!ap.empty()) {
        bool ownArea = false;
        if (foreignCountry && ap == area) {
            r += longCode + ap;
        } else if (addZero) {
            if (!beginsWith(ap, area)) {
                r += longCode + ap;
            } else {
                lp = ap.substr(area.size()) + lp;
                ap = area;
                ownArea = true;
            }
        } else if (ap != area) {
            r += longCode + ap;
        } else {
            ownArea = true;
        }
        if (ownArea && (useAreaCode || foreignCountry)) r += ap;
    }

    r += lp;
    if (!co.empty() && !beginsWith(r, co)) r = co + r;
    return r;
}

std::string DialingRules::applyDialMarks(std::string_view text, std::string_view equalDigits) {
    if (text.empty()) return {};
    std::string out = replaceCharacter(text, 'p', "P");
    out = replaceCharacter(out, ',', "P");
    out = replaceCharacter(out, 'f', "F");
    return replaceCharacter(out, '=', equalDigits);
}

bool DialingRules::isDialableText(std::string& text, bool checkMinimumLength) const {
    if (text.size() > kMaxDialableLength) return false;

    bool hasDigit = false;
    for (char& c : text) {
        if (!inDialableSet(c)) return false;
        if (isBlankMark(c)) c = ' ';
        if (isDigit(c)) hasDigit = true;
    }

    if (checkMinimumLength) {
        const std::size_t dialCount =
            static_cast<std::size_t>(std::count_if(text.begin(), text.end(), isDialCharacter));
        if (!lengthAtLeast(dialCount, minPopupLength)) return false;
    }
    return hasDigit;
}

void DialingRules::stripToPopupCharacters(std::u16string& text) const {
    if (text.size() > kMaxPopupLength || !usePopupForChar) return;
    std::erase_if(text, [](char16_t c) { return !inDialableSet(c); });
    for (char16_t& c : text) {
        if (isBlankMark(c)) c = u' ';
    }
}

}  // namespace pellandor

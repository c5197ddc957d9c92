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

// The dialling plan's codes, trimmed once per number.
struct PlanCodes {
    std::string co, pbx, nat, area, inter, longCode;
};

// A number written with separators, read as country, area and local part.
struct NumberParts {
    std::string country, area, local;
};

namespace {

// Step 1: gives a long plain number a country/area structure that step 3 can
// read, when it begins with the user's own country or area code.
std::string structureLongNumber(std::string n, const PlanCodes& plan) {
    const std::string_view body = beginsWith(n, "+") ? std::string_view(n).substr(1) : std::string_view(n);
    if (!allDialCharacters(body) || n.size() < kStructureMinLength) return n;
    std::string_view rest = n;
    std::string countryPart;
    std::string areaPart;
    if (beginsWith(rest, "+")) {
        rest.remove_prefix(1);
        if (!plan.nat.empty() && beginsWith(rest, plan.nat)) {
            countryPart = "+" + plan.nat;
            rest.remove_prefix(plan.nat.size());
        }
    }
    if (!plan.area.empty() && beginsWith(rest, plan.area)) {
        areaPart = plan.area;
        rest.remove_prefix(plan.area.size());
    }
    if (!countryPart.empty() && !areaPart.empty()) return countryPart + "-" + areaPart + "-" + std::string(rest);
    if (!countryPart.empty()) return countryPart + "-" + std::string(rest);
    if (!areaPart.empty()) return areaPart + "-" + std::string(rest);
    return n;
}

// Step 3a: which parts are the country and the area code, and the rest joined.
NumberParts readParts(const std::vector<std::string>& parts, bool internationalRule) {
    const std::size_t count = parts.size();
    NumberParts read;
    std::size_t k = 0;
    if (beginsWith(parts[0], "+")) {
        read.country = parts[0].substr(1);
        if (count > 2) {
            read.area = parts[1];
            k = 2;
        } else {
            k = 1;
        }
    } else if (internationalRule) {
        if (count >= 2) {
            read.area = parts[0];
            k = 1;
        }
    } else if (count > 3) {
        read.country = parts[0];
        read.area = parts[1];
        k = 2;
    } else {
        read.area = parts[0];
        k = 1;
    }
    for (std::size_t i = k; i < count; ++i) read.local += parts[i];
    return read;
}

}  // namespace

std::string DialingRules::buildDialString(std::string_view text) const {
    const PlanCodes plan{trimBlanks(coAccessCode), trimBlanks(pbxCode),           trimBlanks(myCountryCode),
                         trimBlanks(myAreaCode),   trimBlanks(internationalCode), trimBlanks(longDistanceCode)};
    const std::string n = structureLongNumber(trimBlanks(text), plan);
    if (allDialCharacters(n)) return plainNumber(n, plan.co + plan.pbx);

    // Step 3: numbers written with separators.
    std::vector<std::string> parts = splitAtAny(n, kPartSeparators);
    std::erase_if(parts, [](const std::string& piece) { return piece.empty(); });
    if (parts.empty()) {
        // Only separators: nothing to dial. Callers never pass such text; hand
        // it back rather than invent a dial string (e.g. a bare CO code).
        return n;
    }
    return composeDialString(readParts(parts, useInternationalRule), plan);
}

// Step 2: plain numbers are extensions unless a CO rule claims them.
std::string DialingRules::plainNumber(const std::string& n, const std::string& outsidePrefix) const {
    const std::string outside = outsidePrefix + n;
    if (useNonStandard) {
        if (usePrefix) {
            for (const std::string* prefix : {&prefix1, &prefix2, &prefix3, &prefix4, &prefix5}) {
                const std::string p = trimBlanks(*prefix);
                if (!p.empty() && beginsWith(n, p)) return outside;
            }
        }
        if (useCoExtensionLength && lengthAtLeast(n.size(), coExtensionLength)) return outside;
    }
    if (!useCoExtensionLength && n.size() >= kFixedCoLength) return outside;
    return n;
}

// Step 3b: the codes to dial before the local part: outside line, then the
// international or long-distance code where the number is not the user's own
// country or area.
std::string DialingRules::composeDialString(NumberParts parts, const PlanCodes& plan) const {
    const std::string& cp = parts.country;
    std::string& ap = parts.area;
    std::string& lp = parts.local;
    std::string r;
    if (!cp.empty() || !ap.empty()) r = plan.co + plan.pbx;

    const bool foreignCountry = !cp.empty() && cp != plan.nat;
    if (foreignCountry) {
        r += plan.inter + cp;
    } else if (!cp.empty() && addZero && !beginsWith(ap, "0")) {
        ap = "0" + ap;
    }

    if (!ap.empty()) {
        bool ownArea = false;
        if (foreignCountry && ap == plan.area) {
            r += plan.longCode + ap;
        } else if (addZero) {
            if (!beginsWith(ap, plan.area)) {
                r += plan.longCode + ap;
            } else {
                lp = ap.substr(plan.area.size()) + lp;
                ap = plan.area;
                ownArea = true;
            }
        } else if (ap != plan.area) {
            r += plan.longCode + ap;
        } else {
            ownArea = true;
        }
        if (ownArea && (useAreaCode || foreignCountry)) r += ap;
    }

    r += lp;
    if (!plan.co.empty() && !beginsWith(r, plan.co)) r = plan.co + r;
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

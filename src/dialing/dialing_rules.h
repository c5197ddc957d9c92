#pragma once
// The user's dialling plan and the pure text operations that turn copied or
// typed numbers into the digits the exchange dials.

#include <cstdint>
#include <string>
#include <string_view>

namespace pellandor {

struct PlanCodes;
struct NumberParts;

class DialingRules final {
public:
    virtual ~DialingRules() = default;

    // Field names follow the settings keys they are copied from.
    std::string coAccessCode;
    std::string pbxCode;
    std::string myCountryCode;
    std::string myAreaCode;
    std::string internationalCode;
    std::string longDistanceCode;
    bool addZero = false;

    std::string equalDigits;
    bool useAreaCode = false;
    bool useInternationalRule = false;
    bool usePopupForChar = false;

    bool useNonStandard = false;
    bool usePrefix = false;
    std::string prefix1, prefix2, prefix3, prefix4, prefix5;
    bool useCoExtensionLength = false;
    std::int32_t coExtensionLength = 0;
    std::int32_t minPopupLength = 1;

    // Text as copied -> dial string. Never fails. A text with nothing to dial
    // but separators comes back trimmed, not turned into a bare CO code.
    std::string buildDialString(std::string_view text) const;

    // "p" and "," -> "P", "f" -> "F", "=" -> equalDigits (deleted when empty).
    static std::string applyDialMarks(std::string_view text, std::string_view equalDigits);

    // Whether `text` is acceptable as a number: at most 30 bytes, only
    // dialable characters, at least one digit and, when asked, at least
    // MIN_POPUP_LENGTH dial characters. Blank marks (LF, CR, "?", VT) met
    // before the verdict are turned into spaces in `text`.
    bool isDialableText(std::string& text, bool checkMinimumLength) const;

    // Clipboard filter: drops characters outside the dialable set and turns
    // blank marks into spaces, when enabled and the text is at most 30 UTF-16
    // units long (a character outside the BMP counts twice).
    void stripToPopupCharacters(std::u16string& text) const;

    bool operator==(const DialingRules&) const = default;

private:
    // The steps of buildDialString.
    std::string plainNumber(const std::string& n, const std::string& outsidePrefix) const;
    std::string composeDialString(NumberParts parts, const PlanCodes& plan) const;
};

}  // namespace pellandor

#pragma once
// The user's dialling plan and the pure text operations that turn copied or
// typed numbers into the digits the exchange dials.

#include <cstdint>
#include <string>
#include <string_view>

namespace pellandor {

class DialingRules {
public:
    virtual ~DialingRules() = default;

    // Field names follow the settings keys they are copied from.
    std::string CO_ACCESS_CODE;
    std::string PBX_CODE;
    std::string MYCOUNTRY_CODE;
    std::string MYAREA_CODE;
    std::string INTER_CODE;
    std::string LONG_CODE;
    bool USE_ADDZERO = false;

    std::string NUM_ADD_EQUAL;
    bool USE_AREA_CODE = false;
    bool USE_INTERNATIONAL_RULE = false;
    bool USE_POPUP_FOR_CHAR = false;

    bool USE_NON_STD = false;
    bool USE_PREFIX = false;
    std::string PREFIX1, PREFIX2, PREFIX3, PREFIX4, PREFIX5;
    bool USE_CO_EXTENSION_LENGTH = false;
    std::int32_t LENGTH_CO_EXTENSION = 0;
    std::int32_t MIN_POPUP_LENGTH = 1;

    // Text as copied -> dial string. Never fails. A text with nothing to dial
    // but separators comes back trimmed, not turned into a bare CO code.
    std::string BuildDialString(std::string_view text) const;

    // "p" and "," -> "P", "f" -> "F", "=" -> equalDigits (deleted when empty).
    static std::string ApplyDialMarks(std::string_view text, std::string_view equalDigits);

    // Whether `text` is acceptable as a number: at most 30 bytes, only
    // dialable characters, at least one digit and, when asked, at least
    // MIN_POPUP_LENGTH dial characters. Blank marks (LF, CR, "?", VT) met
    // before the verdict are turned into spaces in `text`.
    bool IsDialableText(std::string& text, bool checkMinimumLength) const;

    // Clipboard filter: drops characters outside the dialable set and turns
    // blank marks into spaces, when enabled and the text is at most 30 UTF-16
    // units long (a character outside the BMP counts twice).
    void StripToPopupCharacters(std::u16string& text) const;
};

}  // namespace pellandor

#pragma once
// User-interface texts from the language file's LOCAL or ENG section, or the
// built-in English.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

struct LanguageKey {
    const char* key;
    const char* english;  // built-in text
};

// Settings dialog, tray menu and call results.
std::span<const LanguageKey> mainLanguageKeys();
// The advanced and the special dialing dialogs.
std::span<const LanguageKey> dialingAdvLanguageKeys();
std::span<const LanguageKey> dialingAdvAdvLanguageKeys();

class LanguageTable final {
public:
    // The main table reads into 200-byte buffers, the dialing dialogs' into 100.
    explicit LanguageTable(std::span<const LanguageKey> keys = mainLanguageKeys(), std::size_t textBuffer = 200);
    virtual ~LanguageTable() = default;

    // "LOCAL" or "ENG" (exact) picks that section when the file has it; a key
    // the section lacks is then empty. Anything else gives the built-in
    // English and sets `language` to "ENG".
    void loadLanguage(const std::string& languagePath, std::string& language);

    // Empty for a key not in the table.
    const std::string& text(std::string_view key) const;
    // For the program's own messages (keys AL_...), which must never come up
    // blank: the built-in English when the chosen section lacks the text.
    std::string message(std::string_view key) const;
    std::span<const LanguageKey> keys() const { return keys_; }

    static constexpr std::string_view VersionText = "Version 2.0Ad";

private:
    std::span<const LanguageKey> keys_;
    std::size_t textBuffer_;
    std::vector<std::string> texts_;  // parallel to keys_
};

}  // namespace pellandor

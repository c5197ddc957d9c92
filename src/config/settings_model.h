#pragma once
// The running program's one copy of the settings. Dialogs edit a copy and
// hand it back through save(); a change made to the file from outside is
// taken in with reload(). Either way every observer hears what changed, so no
// part of the program pushes values into another.

#include "config/app_settings.h"
#include "config/language_table.h"
#include "dialing/dialing_rules.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>

namespace pellandor {

// What a change touches, so an observer can skip what it does not use.
enum SettingsAspect : unsigned {
    kAspectCallDialog = 1u << 0,    // account, address, call dialog behaviour
    kAspectHotkey = 1u << 1,        // USE_HOTKEY, MOD_KEY, VIRTUAL_KEY
    kAspectLanguage = 1u << 2,      // LAN (and so every text)
    kAspectDialingRules = 1u << 3,  // access codes and both dialling-rule sections
    kAspectStartAtLogin = 1u << 4,  // USE_AUTOSTART
    kAspectOther = 1u << 5,         // anything else the file holds for the program
};

struct SettingsChange {
    unsigned aspects = 0;
    bool fromOutside = false;  // read from the file, not saved by this program
    const AppSettings* previous = nullptr;
    bool has(SettingsAspect aspect) const { return (aspects & aspect) != 0; }
};

class SettingsModel final {
public:
    SettingsModel(std::string settingsPath, std::string languagePath);
    virtual ~SettingsModel() = default;
    SettingsModel(const SettingsModel&) = delete;
    SettingsModel& operator=(const SettingsModel&) = delete;

    // Reads the settings and the texts; tells nobody. Fails when the
    // settings file could not be read (the values are then the defaults); a
    // missing file is no failure.
    Status load();

    const AppSettings& settings() const { return settings_; }
    // Derived from settings(); the objects stay the same for the model's life.
    const DialingRules& rules() const { return rules_; }
    const CallDialogValues& callDialogValues() const { return callDialog_; }
    // The settings dialog's, tray's and call results' texts, and the two
    // dialling-rule dialogs' own, all in the one language.
    const LanguageTable& texts() const { return texts_; }
    const LanguageTable& advancedTexts() const { return advancedTexts_; }
    const LanguageTable& specialTexts() const { return specialTexts_; }

    const std::string& settingsPath() const { return settingsPath_; }
    const std::string& languagePath() const { return languagePath_; }

    // Writes the sections of `part` from `edited` and, once the file holds
    // them, takes that part's values in and tells the observers. Values of
    // other parts in `edited` are ignored. Nothing changes when the save
    // fails; a Partial one (the password kept its old value) takes in the rest.
    Status save(const AppSettings& edited, SettingsPart part);

    // Takes in what the file holds now, after a change from outside. A file
    // that is missing or cannot be read leaves everything as it is (fails).
    Status reload();

    using Observer = std::function<void(const SettingsChange&)>;
    // Observers are called in the order they subscribed.
    std::size_t subscribe(Observer observer);
    void unsubscribe(std::size_t id);

private:
    // Puts `next` in place, brings the derived values along and tells the
    // observers what differs.
    void adopt(AppSettings next, bool fromOutside);
    void loadTexts(AppSettings& settings);

    std::string settingsPath_;
    std::string languagePath_;
    AppSettings settings_;
    DialingRules rules_;
    CallDialogValues callDialog_;
    LanguageTable texts_{mainLanguageKeys(), kSettingsTextBuffer};
    LanguageTable advancedTexts_{dialingAdvLanguageKeys(), kDialingTextBuffer};
    LanguageTable specialTexts_{dialingAdvAdvLanguageKeys(), kDialingTextBuffer};
    std::map<std::size_t, Observer> observers_;
    std::size_t nextObserver_ = 1;
};

}  // namespace pellandor

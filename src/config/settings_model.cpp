#include "config/settings_model.h"

#include "config/ini_file.h"
#include "platform/atomic_file.h"

#include <utility>
#include <vector>

namespace pellandor {

namespace {

void copyPart(SettingsPart part, const AppSettings& from, AppSettings& to) {
    for (const auto& field : settingsFields(part)) {
        switch (field.kind) {
            case IniFieldKind::Flag:
                to.*field.flag = from.*field.flag;
                break;
            case IniFieldKind::Number:
                to.*field.number = from.*field.number;
                break;
            case IniFieldKind::Text:
            case IniFieldKind::Password:
                to.*field.text = from.*field.text;
                break;
        }
    }
}

bool sameHotkey(const AppSettings& a, const AppSettings& b) {
    return a.hotkeyEnabled == b.hotkeyEnabled && a.hotkeyModifier == b.hotkeyModifier && a.hotkeyKey == b.hotkeyKey;
}

}  // namespace

SettingsModel::SettingsModel(std::string settingsPath, std::string languagePath)
    : settingsPath_(std::move(settingsPath)), languagePath_(std::move(languagePath)) {
}

Status SettingsModel::load() {
    Status readable = checkReadableFile(settingsPath_);
    AppSettings loaded;
    loadSettings(IniFile::snapshot(settingsPath_), loaded);
    trimAccount(loaded);
    loadTexts(loaded);
    settings_ = std::move(loaded);
    updateCallDialogValues(settings_, callDialog_);
    updateDialingRules(settings_, rules_);
    return readable;
}

void SettingsModel::loadTexts(AppSettings& settings) {
    // Each table picks its section from the choice as stored: "LOCAL"
    // without a LOCAL section gives the dialling dialogs built-in English,
    // not the file's ENG texts. The program then holds "ENG".
    std::string advanced = settings.language;
    std::string special = settings.language;
    texts_.loadLanguage(languagePath_, settings.language);
    advancedTexts_.loadLanguage(languagePath_, advanced);
    specialTexts_.loadLanguage(languagePath_, special);
}

Status SettingsModel::save(const AppSettings& edited, SettingsPart part) {
    AppSettings next = settings_;
    copyPart(part, edited, next);
    Status saved = saveSettings(settingsPath_, next, part);
    if (!saved && saved.code() != ErrorCode::Partial) return saved;
    // The file kept its old password; so does the program.
    if (!saved) next.password = settings_.password;
    adopt(std::move(next), false);
    return saved;
}

Status SettingsModel::reload() {
    const Result<IniFile> ini = IniFile::readableSnapshot(settingsPath_);
    if (!ini) return ini.status();
    AppSettings loaded;
    loadSettings(*ini, loaded);
    adopt(std::move(loaded), true);
    return {};
}

void SettingsModel::adopt(AppSettings next, bool fromOutside) {
    trimAccount(next);
    // Our own save read back gives the values held already: no change, no echo.
    const bool languageChanged = next.language != settings_.language;
    if (next == settings_ && !languageChanged) return;
    loadTexts(next);

    AppSettings previous = std::exchange(settings_, std::move(next));
    CallDialogValues callDialog = callDialog_;
    updateCallDialogValues(settings_, callDialog);
    DialingRules rules = rules_;
    updateDialingRules(settings_, rules);

    SettingsChange change;
    change.fromOutside = fromOutside;
    change.previous = &previous;
    if (!(callDialog == callDialog_)) change.aspects |= kAspectCallDialog;
    if (!sameHotkey(previous, settings_)) change.aspects |= kAspectHotkey;
    if (previous.language != settings_.language) change.aspects |= kAspectLanguage;
    if (!(rules == rules_)) change.aspects |= kAspectDialingRules;
    if (previous.autoStart != settings_.autoStart) change.aspects |= kAspectStartAtLogin;
    if (change.aspects == 0 && !(previous == settings_)) change.aspects = kAspectOther;
    callDialog_ = std::move(callDialog);
    rules_ = std::move(rules);
    if (change.aspects == 0) return;

    // A copy: an observer may subscribe or unsubscribe while it is told.
    std::vector<Observer> observers;
    for (const auto& [id, observer] : observers_) observers.push_back(observer);
    for (const Observer& observer : observers) observer(change);
}

std::size_t SettingsModel::subscribe(Observer observer) {
    const std::size_t id = nextObserver_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void SettingsModel::unsubscribe(std::size_t id) {
    observers_.erase(id);
}

}  // namespace pellandor

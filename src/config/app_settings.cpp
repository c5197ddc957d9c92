#include "config/app_settings.h"

#include "dialing/dialing_rules.h"
#include "dialing/text_utils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace pellandor {

namespace {

using S = AppSettings;

constexpr std::array kFields{
    textField<S>("USER_INFO", "ID", &S::userId),
    passwordField<S>("USER_INFO", "PW", &S::password),
    textField<S>("USER_INFO", "PN", &S::phoneNumber),
    textField<S>("SYS_INFO", "IP", &S::exchangeAddress),
    textField<S>("SYS_INFO", "PORT", &S::exchangePort),
    flagField<S>("DISAPPEARANCE", "USE_DISAPPEARANCE", &S::autoHide),
    numberField<S>("DISAPPEARANCE", "TIME_DISAPPARANCE", &S::autoHideSeconds),
    flagField<S>("DISAPPERANCE_AFTER_SUCCESS", "USE_DISAPPERANANCE_AFTER_SUCCESS", &S::hideAfterSuccess),
    flagField<S>("TRANSPARENCY", "USE_TRANSPARENCY", &S::transparent),
    numberField<S>("TRANSPARENCY", "RATE_TRANSPARENCY", &S::transparencyPercent),
    flagField<S>("ENTERKEY", "USE_ENTERKEY", &S::callOnEnter),
    flagField<S>("TOPMOST", "USE_TOPMOST", &S::topMost),
    flagField<S>("HANGUP", "USE_HANGUP", &S::showHangup),
    flagField<S>("FIXEDPOS", "USE_FIXEDPOS", &S::fixedPosition),
    flagField<S>("AUTOSTART", "USE_AUTOSTART", &S::autoStart),
    flagField<S>("AUTOCALL", "USE_AUTOCALL", &S::autoCall),
    flagField<S>("HOTKEY", "USE_HOTKEY", &S::hotkeyEnabled),
    textField<S>("HOTKEY", "MOD_KEY", &S::hotkeyModifier),
    textField<S>("HOTKEY", "VIRTUAL_KEY", &S::hotkeyKey),
    flagField<S>("OUTLOOK_ADDRESSES", "USE_OUTLOOK_ADDRESSES", &S::useOutlook),
    textField<S>("LANGUAGE", "LAN", &S::language),
    textField<S>("ACCESSCODE", "CO_ACCESS_CODE", &S::coAccessCode),
    textField<S>("ACCESSCODE", "MYCOUNTRY_CODE", &S::myCountryCode),
    textField<S>("ACCESSCODE", "MYAREA_CODE", &S::myAreaCode),
    textField<S>("ACCESSCODE", "INTER_CODE", &S::internationalCode),
    textField<S>("ACCESSCODE", "PBX_CODE", &S::pbxCode),
    textField<S>("ACCESSCODE", "LONG_CODE", &S::longDistanceCode),
    flagField<S>("ACCESSCODE", "USE_ADDZERO", &S::addZero),
};

constexpr std::array kAdvancedFields{
    textField<S>("DIALING_RULE_ADV", "NUM_ADD_EQUAL", &S::equalDigits),
    flagField<S>("DIALING_RULE_ADV", "USE_AREA_CODE", &S::useAreaCode),
    flagField<S>("DIALING_RULE_ADV", "USE_INTERNATIONAL_RULE", &S::useInternationalRule),
    flagField<S>("DIALING_RULE_ADV", "USE_POPUP_FOR_CHAR", &S::usePopupForChar),
    textField<S>("DIALING_RULE_ADV", "MIN_POPUP_LENGTH", &S::minPopupLength),
};

constexpr std::array kSpecialFields{
    flagField<S>("DIALING_RULE_ADV_ADV", "USE_NON_STD", &S::useNonStandard),
    flagField<S>("DIALING_RULE_ADV_ADV", "USE_PREFIX", &S::usePrefix),
    textField<S>("DIALING_RULE_ADV_ADV", "PREFIX1", &S::prefix1),
    textField<S>("DIALING_RULE_ADV_ADV", "PREFIX2", &S::prefix2),
    textField<S>("DIALING_RULE_ADV_ADV", "PREFIX3", &S::prefix3),
    textField<S>("DIALING_RULE_ADV_ADV", "PREFIX4", &S::prefix4),
    textField<S>("DIALING_RULE_ADV_ADV", "PREFIX5", &S::prefix5),
    flagField<S>("DIALING_RULE_ADV_ADV", "USE_CO_EXTENSION_LENGTH", &S::useCoExtensionLength),
    textField<S>("DIALING_RULE_ADV_ADV", "LENGTH_CO_EXTENSION", &S::coExtensionLength),
};

}  // namespace

std::span<const IniField<AppSettings>> settingsFields(SettingsPart part) {
    switch (part) {
        case SettingsPart::AdvancedDialing:
            return kAdvancedFields;
        case SettingsPart::SpecialDialing:
            return kSpecialFields;
        case SettingsPart::General:
            break;
    }
    return kFields;
}

std::size_t settingsTextBuffer(SettingsPart part) {
    return part == SettingsPart::General ? kSettingsTextBuffer : kDialingTextBuffer;
}

bool loadSettings(const std::string& path, AppSettings& settings) {
    return loadSettings(IniFile::snapshot(path), settings);
}

bool loadSettings(const IniFile& ini, AppSettings& settings) {
    for (SettingsPart part : kSettingsParts) {
        loadFields(ini, settingsFields(part), settings, settingsTextBuffer(part));
    }
    return true;
}

Status saveSettings(const std::string& path, AppSettings& settings, SettingsPart part) {
    settings.password = trimBlanks(settings.password);
    IniWriteBatch batch(path);
    const bool passwordStored = queueFields(batch, settingsFields(part), settings);
    if (const Status committed = batch.commit(); !committed) return committed;
    if (!passwordStored) {
        return failure("save settings: the password is too long to be stored; the previous one was kept",
                       ErrorCode::Partial);
    }
    return {};
}

std::uint8_t windowAlpha(bool transparent, std::int32_t percent) {
    if (!transparent) return 255;
    // In double and clamped: a hand-edited rate must not overflow or wrap.
    const double alpha = 255.0 - std::trunc(static_cast<double>(percent) * 255.0 / 100.0);
    if (alpha <= 0.0) return 0;
    if (alpha >= 255.0) return 255;
    return static_cast<std::uint8_t>(alpha);
}

void trimAccount(AppSettings& settings) {
    settings.userId = trimBlanks(settings.userId);
    settings.password = trimBlanks(settings.password);
    settings.phoneNumber = trimBlanks(settings.phoneNumber);
    settings.exchangePort = trimBlanks(settings.exchangePort);
}

void updateCallDialogValues(const AppSettings& settings, CallDialogValues& dialog) {
    dialog.userId = trimBlanks(settings.userId);
    dialog.password = trimBlanks(settings.password);
    dialog.phoneNumber = trimBlanks(settings.phoneNumber);
    dialog.exchangeAddress = settings.exchangeAddress;
    dialog.exchangePort = trimBlanks(settings.exchangePort);
    dialog.callOnEnter = settings.callOnEnter;
    dialog.topMost = settings.topMost;
    dialog.showHangup = settings.showHangup;
    dialog.fixedPosition = settings.fixedPosition;
    dialog.autoCall = settings.autoCall;
    dialog.autoHide = settings.autoHide;
    dialog.hideAfterSuccess = settings.hideAfterSuccess;
    if (settings.autoHide) {
        const std::int64_t ms = std::int64_t{settings.autoHideSeconds} * 1000;
        dialog.hideDelayMs = static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, 0, INT32_MAX));
    }
    dialog.alpha = windowAlpha(settings.transparent, settings.transparencyPercent);
}

void updateDialingRules(const AppSettings& settings, DialingRules& rules) {
    rules.coAccessCode = settings.coAccessCode;
    rules.pbxCode = settings.pbxCode;
    rules.myCountryCode = settings.myCountryCode;
    rules.myAreaCode = settings.myAreaCode;
    rules.internationalCode = settings.internationalCode;
    rules.longDistanceCode = settings.longDistanceCode;
    rules.addZero = settings.addZero;
    rules.equalDigits = settings.equalDigits;
    rules.useAreaCode = settings.useAreaCode;
    rules.useInternationalRule = settings.useInternationalRule;
    rules.usePopupForChar = settings.usePopupForChar;
    rules.minPopupLength = leadingDecimal(settings.minPopupLength);
    rules.useNonStandard = settings.useNonStandard;
    rules.usePrefix = settings.usePrefix;
    rules.prefix1 = settings.prefix1;
    rules.prefix2 = settings.prefix2;
    rules.prefix3 = settings.prefix3;
    rules.prefix4 = settings.prefix4;
    rules.prefix5 = settings.prefix5;
    rules.useCoExtensionLength = settings.useCoExtensionLength;
    if (!settings.coExtensionLength.empty()) rules.coExtensionLength = leadingDecimal(settings.coExtensionLength);
}

}  // namespace pellandor

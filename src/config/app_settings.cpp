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

}  // namespace

std::span<const IniField<AppSettings>> appSettingsFields() {
    return kFields;
}

bool loadSettings(const std::string& path, AppSettings& settings) {
    return loadSettings(IniFile::snapshot(path), settings);
}

bool loadSettings(const IniFile& ini, AppSettings& settings) {
    loadFields(ini, appSettingsFields(), settings, kSettingsTextBuffer);
    return true;
}

SettingsSaveResult saveSettings(const std::string& path, AppSettings& settings) {
    settings.password = trimBlanks(settings.password);
    IniWriteBatch batch(path);
    SettingsSaveResult result;
    result.passwordStored = queueFields(batch, appSettingsFields(), settings);
    const Status committed = batch.commit();
    result.written = committed.ok();
    if (!committed) {
        result.error = committed.error();
    } else if (!result.passwordStored) {
        result.error = "save settings: the password is too long to be stored; the previous one was kept";
    }
    return result;
}

std::uint8_t windowAlpha(bool transparent, std::int32_t percent) {
    if (!transparent) return 255;
    // In double and clamped: a hand-edited rate must not overflow or wrap.
    const double alpha = 255.0 - std::trunc(static_cast<double>(percent) * 255.0 / 100.0);
    if (alpha <= 0.0) return 0;
    if (alpha >= 255.0) return 255;
    return static_cast<std::uint8_t>(alpha);
}

void pushToCallDialog(AppSettings& settings, CallDialogValues& dialog) {
    settings.userId = trimBlanks(settings.userId);
    settings.password = trimBlanks(settings.password);
    settings.phoneNumber = trimBlanks(settings.phoneNumber);
    settings.exchangePort = trimBlanks(settings.exchangePort);
    dialog.userId = settings.userId;
    dialog.password = settings.password;
    dialog.phoneNumber = settings.phoneNumber;
    dialog.exchangeAddress = settings.exchangeAddress;
    dialog.exchangePort = settings.exchangePort;
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

void pushDialingCodes(const AppSettings& settings, DialingRules& rules) {
    rules.coAccessCode = settings.coAccessCode;
    rules.pbxCode = settings.pbxCode;
    rules.myCountryCode = settings.myCountryCode;
    rules.myAreaCode = settings.myAreaCode;
    rules.internationalCode = settings.internationalCode;
    rules.longDistanceCode = settings.longDistanceCode;
    rules.addZero = settings.addZero;
}

}  // namespace pellandor

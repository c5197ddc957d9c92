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
    TextField<S>("USER_INFO", "ID", &S::userId),
    PasswordField<S>("USER_INFO", "PW", &S::password),
    TextField<S>("USER_INFO", "PN", &S::phoneNumber),
    TextField<S>("SYS_INFO", "IP", &S::exchangeAddress),
    TextField<S>("SYS_INFO", "PORT", &S::exchangePort),
    FlagField<S>("DISAPPEARANCE", "USE_DISAPPEARANCE", &S::autoHide),
    NumberField<S>("DISAPPEARANCE", "TIME_DISAPPARANCE", &S::autoHideSeconds),
    FlagField<S>("DISAPPERANCE_AFTER_SUCCESS", "USE_DISAPPERANANCE_AFTER_SUCCESS", &S::hideAfterSuccess),
    FlagField<S>("TRANSPARENCY", "USE_TRANSPARENCY", &S::transparent),
    NumberField<S>("TRANSPARENCY", "RATE_TRANSPARENCY", &S::transparencyPercent),
    FlagField<S>("ENTERKEY", "USE_ENTERKEY", &S::callOnEnter),
    FlagField<S>("TOPMOST", "USE_TOPMOST", &S::topMost),
    FlagField<S>("HANGUP", "USE_HANGUP", &S::showHangup),
    FlagField<S>("FIXEDPOS", "USE_FIXEDPOS", &S::fixedPosition),
    FlagField<S>("AUTOSTART", "USE_AUTOSTART", &S::autoStart),
    FlagField<S>("AUTOCALL", "USE_AUTOCALL", &S::autoCall),
    FlagField<S>("HOTKEY", "USE_HOTKEY", &S::hotkeyEnabled),
    TextField<S>("HOTKEY", "MOD_KEY", &S::hotkeyModifier),
    TextField<S>("HOTKEY", "VIRTUAL_KEY", &S::hotkeyKey),
    FlagField<S>("OUTLOOK_ADDRESSES", "USE_OUTLOOK_ADDRESSES", &S::useOutlook),
    TextField<S>("LANGUAGE", "LAN", &S::language),
    TextField<S>("ACCESSCODE", "CO_ACCESS_CODE", &S::coAccessCode),
    TextField<S>("ACCESSCODE", "MYCOUNTRY_CODE", &S::myCountryCode),
    TextField<S>("ACCESSCODE", "MYAREA_CODE", &S::myAreaCode),
    TextField<S>("ACCESSCODE", "INTER_CODE", &S::internationalCode),
    TextField<S>("ACCESSCODE", "PBX_CODE", &S::pbxCode),
    TextField<S>("ACCESSCODE", "LONG_CODE", &S::longDistanceCode),
    FlagField<S>("ACCESSCODE", "USE_ADDZERO", &S::addZero),
};

}  // namespace

std::span<const IniField<AppSettings>> AppSettingsFields() {
    return kFields;
}

bool LoadSettings(const std::string& path, AppSettings& settings) {
    return LoadSettings(CIni::Snapshot(path), settings);
}

bool LoadSettings(const CIni& ini, AppSettings& settings) {
    LoadFields(ini, AppSettingsFields(), settings, kSettingsTextBuffer);
    return true;
}

SettingsSaveResult SaveSettings(const std::string& path, AppSettings& settings) {
    settings.password = TrimBlanks(settings.password);
    CIniWriteBatch batch(path);
    SettingsSaveResult result;
    result.passwordStored = QueueFields(batch, AppSettingsFields(), settings);
    result.written = batch.Commit();
    if (!result.written) {
        result.error = batch.LastError();
    } else if (!result.passwordStored) {
        result.error = "SaveSettings: the password is too long to be stored; the previous one was kept";
    }
    return result;
}

std::uint8_t WindowAlpha(bool transparent, std::int32_t percent) {
    if (!transparent) return 255;
    // In double and clamped: a hand-edited rate must not overflow or wrap.
    const double alpha = 255.0 - std::trunc(static_cast<double>(percent) * 255.0 / 100.0);
    if (alpha <= 0.0) return 0;
    if (alpha >= 255.0) return 255;
    return static_cast<std::uint8_t>(alpha);
}

void PushToCallDialog(AppSettings& settings, CallDialogValues& dialog) {
    settings.userId = TrimBlanks(settings.userId);
    settings.password = TrimBlanks(settings.password);
    settings.phoneNumber = TrimBlanks(settings.phoneNumber);
    settings.exchangePort = TrimBlanks(settings.exchangePort);
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
    dialog.alpha = WindowAlpha(settings.transparent, settings.transparencyPercent);
}

void PushDialingCodes(const AppSettings& settings, DialingRules& rules) {
    rules.CO_ACCESS_CODE = settings.coAccessCode;
    rules.PBX_CODE = settings.pbxCode;
    rules.MYCOUNTRY_CODE = settings.myCountryCode;
    rules.MYAREA_CODE = settings.myAreaCode;
    rules.INTER_CODE = settings.internationalCode;
    rules.LONG_CODE = settings.longDistanceCode;
    rules.USE_ADDZERO = settings.addZero;
}

}  // namespace pellandor

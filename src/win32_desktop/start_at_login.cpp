#include "win32_desktop/start_at_login.h"

#include "config/settings_model.h"
#include "platform/paths.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/debug_log.h"

// The folder id defined here: from libuuid it brings 40 KB of other GUIDs.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwctype>

namespace pellandor {

namespace {

std::wstring plainStartSettingsPath() {
    wchar_t* folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder)) && folder)
        path = std::wstring(folder) + L"\\pellandor_settings.ini";
    CoTaskMemFree(folder);
    return path;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled.
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring runCommand(const std::wstring& programPath, const std::wstring& settingsPath,
                        const std::wstring& plainStartSettingsPath) {
    // A program path holds no quote; it is quoted whole, spaces or not.
    std::wstring command = L"\"" + programPath + L"\"";
    if (!settingsPath.empty() && !samePath(settingsPath, plainStartSettingsPath))
        command += L" --settings " + quoteArgument(settingsPath);
    return command;
}

Status setStartAtLogin(bool enabled, const std::wstring& command) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return failure(win32::errorText(static_cast<DWORD>(status)), ErrorCode::NoStore);
    if (enabled) {
        status = RegSetValueExW(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        status = RegDeleteValueW(key, kRunValueName);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return failure(win32::errorText(static_cast<DWORD>(status)));
    return {};
}

std::wstring startAtLoginCommand() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size < sizeof(wchar_t))
        return {};
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
        ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::wstring startAtLoginFailureText(bool registering, const Status& failed) {
    const bool noKey = failed.code() == ErrorCode::NoStore;
    if (registering) {
        return noKey ? L"Failed to register(RegCreateKey) to startup program lists"
                     : L"Failed to register(RegSetValueEx) to startup program lists";
    }
    return noKey ? L"Failed to register(RegCreateKey) from startup program lists"
                 : L"Failed to register(RegDeleteValue) from startup program lists";
}

StartAtLoginFollower::StartAtLoginFollower(SettingsModel& model, std::function<HWND()> owner)
    : model_(model), owner_(std::move(owner)) {
    subscription_ = model_.subscribe([this](const SettingsChange& change) {
        if (change.has(kAspectStartAtLogin)) apply(model_.settings().autoStart);
    });
}

StartAtLoginFollower::~StartAtLoginFollower() {
    model_.unsubscribe(subscription_);
}

std::wstring StartAtLoginFollower::command() const {
    return runCommand(win32::widen(programPath()), win32::widen(model_.settingsPath()), plainStartSettingsPath());
}

void StartAtLoginFollower::restoreIfMissing() {
    if (model_.settings().autoStart && startAtLoginCommand() != command()) apply(true);
}

void StartAtLoginFollower::apply(bool enabled) {
    const Status applied = setStartAtLogin(enabled, command());
    debugLog(std::string("start at login: ") + (enabled ? "on" : "off") +
             (applied ? "" : " failed: " + applied.error()));
    if (applied) return;
    const std::wstring text = startAtLoginFailureText(enabled, applied) + L"\n\n" + win32::widen(applied.error());
    MessageBoxW(owner_ ? owner_() : nullptr, text.c_str(), L"", MB_OK | MB_ICONWARNING);
}

}  // namespace pellandor

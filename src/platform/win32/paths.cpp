#include "platform/paths.h"

#include "platform/win32/wide_text.h"

#include <windows.h>
// The folder ids defined here: from libuuid they bring 40 KB of other GUIDs.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>

namespace pellandor {

namespace {

constexpr const char* kSettingsFileName = "pellandor_settings.ini";
constexpr const char* kLanguageFileName = "language.ini";

std::string env(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? win32::narrow(value) : std::string();
}

std::string knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path != nullptr) {
        folder = win32::narrow(path);
    }
    CoTaskMemFree(path);
    return folder;
}

std::string withoutTrailingSeparator(std::string folder) {
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

}  // namespace

std::string programPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::narrow(buffer);
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string moduleDirectory() {
    std::string path = programPath();
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return {};
    path.erase(slash);
    return path;
}

// Windows has no XDG folders; the nearest are the user's local application
// data (configuration) and its profile folder.
std::string xdgBaseFolder(const char* variable, const char* underHome) {
    const std::string value = env(win32::widen(variable).c_str());
    if (!value.empty() && value.size() > 2 && value[1] == ':') return withoutTrailingSeparator(value);
    std::string home = knownFolder(FOLDERID_Profile);
    if (home.empty()) home = env(L"USERPROFILE");
    if (home.empty()) return {};
    std::string sub = underHome;
    for (char& c : sub) {
        if (c == '/') c = '\\';
    }
    return withoutTrailingSeparator(home) + "\\" + sub;
}

// $PELLANDOR_SETTINGS, else <LocalAppData>\pellandor_settings.ini.
std::string defaultSettingsPath() {
    std::string path = env(L"PELLANDOR_SETTINGS");
    if (!path.empty()) return path;
    std::string folder = knownFolder(FOLDERID_LocalAppData);
    if (folder.empty()) folder = env(L"LOCALAPPDATA");
    if (folder.empty()) return kSettingsFileName;
    return withoutTrailingSeparator(folder) + "\\" + kSettingsFileName;
}

// Beside the program: a Windows installation keeps its files together.
std::string languageFilePath() {
    const std::string folder = moduleDirectory();
    if (folder.empty()) return kLanguageFileName;
    return folder + "\\" + kLanguageFileName;
}

}  // namespace pellandor

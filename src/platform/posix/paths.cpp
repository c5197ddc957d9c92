#include "platform/paths.h"

#include <cstdlib>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef PELLANDOR_DATADIR
#define PELLANDOR_DATADIR "/usr/local/share/pellandor"
#endif

namespace pellandor {

namespace {

constexpr const char* kSettingsFileName = "pellandor_settings.ini";
constexpr const char* kLanguageFileName = "language.ini";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeDirectory() {
    std::string home = env("HOME");
    if (!home.empty()) return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        home = found->pw_dir;
    }
    return home;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string programPath() {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string xdgBaseFolder(const char* variable, const char* underHome) {
    std::string folder = env(variable);
    if (folder.empty() || folder.front() != '/') {
        const std::string home = homeDirectory();
        if (home.empty()) return {};
        folder = home + "/" + underHome;
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string moduleDirectory() {
    std::string path = programPath();
    if (path.empty()) return {};
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.erase(slash == 0 ? 1 : slash);
    return path;
}

std::string defaultSettingsPath() {
    std::string path = env("PELLANDOR_SETTINGS");
    if (!path.empty()) return path;
    std::string config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty()) return kSettingsFileName;
    if (config.back() != '/') config += '/';
    return config + kSettingsFileName;
}

std::string languageFilePath() {
    std::string folder = moduleDirectory();
    if (!folder.empty()) {
        if (folder.back() == '/') folder.pop_back();
        // <prefix>/bin/../share/pellandor first, so an installed tree still
        // finds its own texts after it has been moved or unpacked elsewhere;
        // then beside the executable, which is where the build tree keeps them.
        const std::size_t slash = folder.rfind('/');
        const std::string prefix = slash == std::string::npos ? std::string() : folder.substr(0, slash);
        for (const std::string& candidate :
             {prefix + "/share/pellandor/" + kLanguageFileName, folder + "/" + kLanguageFileName}) {
            if (isRegularFile(candidate)) return candidate;
        }
    }
    return std::string(PELLANDOR_DATADIR) + "/" + kLanguageFileName;
}

}  // namespace pellandor

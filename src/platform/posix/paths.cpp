#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef PELLANDOR_DATADIR
#define PELLANDOR_DATADIR "/usr/local/share/pellandor"
#endif
#ifndef PELLANDOR_LIBEXECDIR
#define PELLANDOR_LIBEXECDIR "/usr/local/libexec/pellandor"
#endif
// The install layout, relative, so a moved tree still finds its programs.
#ifndef PELLANDOR_BIN_TO_LIBEXEC
#define PELLANDOR_BIN_TO_LIBEXEC "../libexec/pellandor"
#endif
#ifndef PELLANDOR_LIBEXEC_TO_BIN
#define PELLANDOR_LIBEXEC_TO_BIN "../../bin"
#endif

namespace pellandor {

namespace {

constexpr const char* kSettingsFileName = "pellandor_settings.ini";
constexpr const char* kLanguageFileName = "language.ini";
constexpr const char* kDesktopProgramName = "pellandor-desktop";
constexpr const char* kFrontDoorName = "pellandor";

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

bool isProgram(const std::string& path) {
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

// Without the "..", so an autostart entry shows the path a user would write.
std::string tidy(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
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

std::string desktopProgramPath() {
    const std::string folder = moduleDirectory();
    const std::string name = std::string("/") + kDesktopProgramName;
    std::vector<std::string> candidates;
    if (!folder.empty()) {
        candidates.push_back(folder + "/" + PELLANDOR_BIN_TO_LIBEXEC + name);
        candidates.push_back(folder + name);
    }
    candidates.push_back(PELLANDOR_LIBEXECDIR + name);
    for (const std::string& candidate : candidates) {
        if (isProgram(candidate)) return tidy(candidate);
    }
    return {};
}

std::string frontDoorPath() {
    const std::string folder = moduleDirectory();
    if (folder.empty()) return {};
    const std::string name = std::string("/") + kFrontDoorName;
    for (const std::string& candidate : {folder + name, folder + "/" + PELLANDOR_LIBEXEC_TO_BIN + name}) {
        if (isProgram(candidate)) return tidy(candidate);
    }
    return {};
}

}  // namespace pellandor

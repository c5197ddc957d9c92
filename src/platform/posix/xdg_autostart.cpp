#include "platform/autostart.h"

#include "platform/paths.h"

#include "base/result.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pellandor {

namespace {

bool isReserved(char c) {
    // Characters that force quoting of an Exec argument.
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    return kReserved.find(c) != std::string_view::npos;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string errnoText(const std::string& path, int code) {
    return path + ": " + std::strerror(code) + " (" + std::to_string(code) + ")";
}

Status makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return {};
        return failure(errnoText(folder, ENOTDIR));
    }
    const std::string parent = folderOf(folder);
    if (parent != folder) {
        if (Status made = makeFolders(parent); !made) return made;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return failure(errnoText(folder, errno));
    return {};
}

// A temporary file beside the entry, renamed over it: a session never reads
// half an entry. Writers need no lock: each writes the whole entry.
Status writeEntry(const std::string& entryPath, const std::string& text) {
    std::string temp = folderOf(entryPath) + "/.pellandor.desktop.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return failure(errnoText(folderOf(entryPath), errno));
    std::string_view rest = text;
    bool ok = ::fchmod(fd, 0644) == 0;
    while (ok && !rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ok = ok && ::fsync(fd) == 0;
    const int code = ok ? 0 : errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), entryPath.c_str()) != 0) {
        const int renameCode = errno;
        ::unlink(temp.c_str());
        return failure(errnoText(entryPath, renameCode));
    }
    if (!ok) {
        const std::string error = errnoText(temp, code != 0 ? code : errno);
        ::unlink(temp.c_str());
        return failure(error);
    }
    return {};
}

// The login session starts elsewhere: a relative settings path would not
// name the same file there.
std::string absolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::vector<char> cwd(PATH_MAX + 1, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
    return std::string(cwd.data()) + "/" + path;
}

}  // namespace

std::string autostartEntryPath() {
    std::string config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty()) return {};
    if (config.back() != '/') config += '/';
    return config + "autostart/pellandor.desktop";
}

std::string quoteExecArgument(std::string_view argument) {
    bool quote = argument.empty();
    for (char c : argument) quote = quote || isReserved(c);
    // Quoting level first: inside double quotes ", `, $ and \ take a backslash.
    std::string quoted;
    if (quote) quoted += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
        if (c == '%') quoted += '%';  // a lone % would start a field code
        quoted += c;
    }
    if (quote) quoted += '"';
    // Then the string escapes every desktop-entry value goes through.
    std::string escaped;
    for (char c : quoted) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

std::string autostartEntryText(std::string_view name, std::string_view programPath, std::string_view settingsFile) {
    std::string text = "[Desktop Entry]\nType=Application\nName=";
    text += name;
    text += "\nExec=";
    text += quoteExecArgument(programPath);
    if (!settingsFile.empty()) {
        text += " --settings ";
        text += quoteExecArgument(settingsFile);
    }
    text += "\nIcon=pellandor\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

Status registerAutostart(const std::string& entryPath, std::string_view name, const std::string& programPath,
                         const std::string& settingsFile) {
    if (entryPath.empty()) return failure("no home folder is known", ErrorCode::NoStore);
    if (programPath.empty()) return failure("the program's path is unknown");
    // Making the folder is the "open" step; anything after it is the write.
    if (const Status made = makeFolders(folderOf(entryPath)); !made) return failure(made.error(), ErrorCode::NoStore);
    return writeEntry(entryPath, autostartEntryText(name, programPath, absolutePath(settingsFile)));
}

bool autostartEntryExists(const std::string& entryPath) {
    struct stat st {};
    return !entryPath.empty() && ::lstat(entryPath.c_str(), &st) == 0;
}

Status unregisterAutostart(const std::string& entryPath) {
    if (entryPath.empty()) return failure("no home folder is known", ErrorCode::NoStore);
    if (::unlink(entryPath.c_str()) != 0 && errno != ENOENT) {
        const int code = errno;
        return failure(entryPath + ": " + std::strerror(code) + " (" + std::to_string(code) + ")",
                       code == ENOTDIR ? ErrorCode::NoStore : ErrorCode::Failed);
    }
    return {};
}

std::string autostartFailureText(bool registering, const Status& failed) {
    const bool noFolder = failed.code() == ErrorCode::NoStore;
    if (registering) {
        return noFolder ? "Failed to register(RegCreateKey) to startup program lists"
                        : "Failed to register(RegSetValueEx) to startup program lists";
    }
    return noFolder ? "Failed to register(RegCreateKey) from startup program lists"
                    : "Failed to register(RegDeleteValue) from startup program lists";
}

}  // namespace pellandor

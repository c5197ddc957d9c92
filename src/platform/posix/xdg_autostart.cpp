#include "platform/autostart.h"

#include "platform/atomic_file.h"
#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

std::string autostartEntryText(std::string_view name, std::string_view programPath) {
    std::string text = "[Desktop Entry]\nType=Application\nName=";
    text += name;
    text += "\nExec=";
    text += quoteExecArgument(programPath);
    text += "\nIcon=pellandor\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

AutostartResult registerAutostart(const std::string& entryPath, std::string_view name, const std::string& programPath) {
    AutostartResult result;
    if (entryPath.empty() || programPath.empty()) {
        result.failedStep = entryPath.empty() ? AutostartStep::OpenFolder : AutostartStep::WriteEntry;
        result.detail = entryPath.empty() ? "no home folder is known" : "the program's path is unknown";
        return result;
    }
    std::string error;
    if (!writeFileAtomically(entryPath, autostartEntryText(name, programPath), error)) {
        // A folder that cannot be made is the "open" step; anything after it the write.
        const std::string folder = folderOf(entryPath);
        result.failedStep = ::access(folder.c_str(), W_OK) != 0 ? AutostartStep::OpenFolder : AutostartStep::WriteEntry;
        result.detail = error;
    }
    return result;
}

AutostartResult unregisterAutostart(const std::string& entryPath) {
    AutostartResult result;
    if (entryPath.empty()) {
        result.failedStep = AutostartStep::OpenFolder;
        result.detail = "no home folder is known";
        return result;
    }
    if (::unlink(entryPath.c_str()) != 0 && errno != ENOENT) {
        const int code = errno;
        result.failedStep = code == ENOTDIR ? AutostartStep::OpenFolder : AutostartStep::RemoveEntry;
        result.detail = entryPath + ": " + std::strerror(code) + " (" + std::to_string(code) + ")";
    }
    return result;
}

std::string autostartFailureText(bool registering, AutostartStep step) {
    if (registering) {
        return step == AutostartStep::OpenFolder ? "Failed to register(RegCreateKey) to startup program lists"
                                                 : "Failed to register(RegSetValueEx) to startup program lists";
    }
    return step == AutostartStep::OpenFolder ? "Failed to register(RegCreateKey) from startup program lists"
                                             : "Failed to register(RegDeleteValue) from startup program lists";
}

}  // namespace pellandor

#include "json_log.h"

#include <cerrno>
#include <cstring>

namespace exsim {

void appendJsonString(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void appendJsonStringOrNull(std::string& out, const std::optional<std::string>& bytes) {
    if (bytes)
        appendJsonString(out, *bytes);
    else
        out += "null";
}

bool JsonLog::open(const std::string& path, std::string& error) {
    file_.reset(std::fopen(path.c_str(), "ae"));
    if (!file_) {
        error = "cannot open log file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void JsonLog::append(const std::string& line) {
    if (!file_) return;
    const std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fputc('\n', file_.get());
    std::fflush(file_.get());
}

}  // namespace exsim

// INI reader and writer: any file reads without harm, and a write of one key
// reads back as written while every other key keeps its value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_document.h"

namespace {

using pellandor::classifyIniLine;
using pellandor::IniDocument;
using pellandor::IniIndex;
using pellandor::IniLineInfo;
using pellandor::iniNamesEqual;

std::string_view trimmed(std::string_view v) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!v.empty() && blank(v.front())) v.remove_prefix(1);
    while (!v.empty() && blank(v.back())) v.remove_suffix(1);
    return v.substr(0, v.find('\0'));
}

// Every (section, key) in file order, independently of IniIndex.
std::vector<std::pair<std::string, std::string>> keys(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> keys;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string section;
    bool in = false;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const IniLineInfo info = classifyIniLine(bytes.substr(0, end));
        if (info.kind == IniLineInfo::Kind::Section) {
            section = std::string(info.name);
            in = true;
        } else if (info.kind == IniLineInfo::Kind::BrokenSection) {
            in = false;
        } else if (info.kind == IniLineInfo::Kind::Key && in) {
            keys.emplace_back(section, std::string(info.name));
        }
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(16);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(32);
    const std::string file = in.ConsumeRemainingBytesAsString();

    const IniIndex before(file);
    (void)before.sectionNames();
    (void)before.hasSection(section);

    IniDocument document(file);
    if (!document.set(section, key, value)) return 0;
    const std::string written = document.serialize();
    const IniIndex after(written);

    const std::string_view stored =
        std::string_view(value).substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    const auto readBack = after.find(section, key);
    if (!readBack || *readBack != trimmed(stored)) std::abort();

    for (const auto& [s, k] : keys(file)) {
        if (iniNamesEqual(s, section) && iniNamesEqual(k, key)) continue;
        if (before.find(s, k) != after.find(s, k)) std::abort();
    }
    return 0;
}

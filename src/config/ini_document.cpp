#include "config/ini_document.h"

#include <algorithm>
#include <cstring>

namespace pellandor {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimIniBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view WithoutBom(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    return bytes;
}

// Calls `visit(line)` for every line; stops early when it returns false.
template <typename Visit>
void ForEachLine(std::string_view bytes, Visit visit) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        if (!visit(line)) return;
        if (end == std::string_view::npos) return;
        bytes.remove_prefix(end + 1);
    }
}

std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

IniLineInfo ClassifyIniLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimIniBlanks(line);
    IniLineInfo info;
    if (line.empty() || line.front() == ';') return info;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) {
            // Keys below a damaged header must not be taken for the section above it.
            info.kind = IniLineInfo::Kind::BrokenSection;
            return info;
        }
        info.kind = IniLineInfo::Kind::Section;
        info.name = TrimIniBlanks(line.substr(1, close - 1));
        return info;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return info;
    const std::string_view name = TrimIniBlanks(line.substr(0, equals));
    if (name.empty()) return info;
    info.kind = IniLineInfo::Kind::Key;
    info.name = name;
    info.value = TrimIniBlanks(line.substr(equals + 1));
    return info;
}

bool IniNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool IsWritableIniName(std::string_view name) {
    if (name.empty() || name != TrimIniBlanks(name)) return false;
    if (name.front() == ';' || name.front() == '[') return false;
    return name.find_first_of(std::string_view("\r\n\0]=", 5)) == std::string_view::npos;
}

std::optional<std::string_view> FindIniValue(std::string_view bytes, std::string_view section,
                                             std::string_view key) {
    std::optional<std::string_view> found;
    bool inSection = false;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = ClassifyIniLine(line);
        switch (info.kind) {
            case IniLineInfo::Kind::Section:
                inSection = IniNamesEqual(info.name, section);
                break;
            case IniLineInfo::Kind::BrokenSection:
                inSection = false;
                break;
            case IniLineInfo::Kind::Key:
                if (inSection && IniNamesEqual(info.name, key)) {
                    found = UpToNul(info.value);
                    return false;
                }
                break;
            case IniLineInfo::Kind::Other:
                break;
        }
        return true;
    });
    return found;
}

bool IniHasSection(std::string_view bytes, std::string_view section) {
    bool found = false;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = ClassifyIniLine(line);
        found = info.kind == IniLineInfo::Kind::Section && IniNamesEqual(info.name, section);
        return !found;
    });
    return found;
}

std::vector<std::string> IniSectionNames(std::string_view bytes) {
    std::vector<std::string> names;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = ClassifyIniLine(line);
        if (info.kind == IniLineInfo::Kind::Section) names.emplace_back(info.name);
        return true;
    });
    return names;
}

IniDocument::IniDocument(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bom_ = kUtf8Bom;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    bool styleKnown = false;
    finalNewline_ = bytes.empty() || bytes.back() == '\n';
    ForEachLine(bytes, [&](std::string_view line) {
        Line stored;
        stored.crlf = !line.empty() && line.back() == '\r';
        if (stored.crlf) line.remove_suffix(1);
        stored.text = line;
        // Only a terminated line tells the file's style.
        const bool terminated = line.data() + line.size() + (stored.crlf ? 1 : 0) <
                                bytes.data() + bytes.size();
        if (!styleKnown && terminated) {
            crlfStyle_ = stored.crlf;
            styleKnown = true;
        }
        lines_.push_back(std::move(stored));
        return true;
    });
    // A file of one unterminated line keeps a lone "\r" as text, not as a line end.
    if (!finalNewline_ && !lines_.empty() && lines_.back().crlf) {
        lines_.back().text += '\r';
        lines_.back().crlf = false;
    }
}

void IniDocument::Append(std::string text) {
    InsertAt(lines_.size(), std::move(text));
}

void IniDocument::InsertAt(std::size_t index, std::string text) {
    if (index == lines_.size() && !finalNewline_) {
        // The old last line now needs an end of its own.
        if (!lines_.empty()) lines_.back().crlf = crlfStyle_;
        finalNewline_ = true;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), crlfStyle_});
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsWritableIniName(section) || !IsWritableIniName(key)) return false;
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));

    bool inSection = false;
    std::optional<std::size_t> firstSectionEnd;  // insertion point in the first matching section
    bool firstSectionOpen = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const IniLineInfo info = ClassifyIniLine(lines_[i].text);
        if (info.kind == IniLineInfo::Kind::Section || info.kind == IniLineInfo::Kind::BrokenSection) {
            inSection = info.kind == IniLineInfo::Kind::Section && IniNamesEqual(info.name, section);
            firstSectionOpen = inSection && !firstSectionEnd;
            if (firstSectionOpen) firstSectionEnd = i + 1;
            continue;
        }
        if (info.kind != IniLineInfo::Kind::Key || !inSection) continue;
        if (IniNamesEqual(info.name, key)) {
            std::string replaced(info.name);
            replaced += '=';
            replaced += value;
            lines_[i].text = std::move(replaced);
            return true;
        }
        if (firstSectionOpen) firstSectionEnd = i + 1;
    }

    std::string line(key);
    line += '=';
    line += value;
    if (firstSectionEnd) {
        InsertAt(*firstSectionEnd, std::move(line));
        return true;
    }
    if (!lines_.empty() && !TrimIniBlanks(lines_.back().text).empty()) Append(std::string());
    // Built piece by piece: GCC 12 warns falsely on "[" + std::string (its bug 105651).
    std::string header(1, '[');
    header += section;
    header += ']';
    Append(std::move(header));
    Append(std::move(line));
    return true;
}

std::string IniDocument::Serialize() const {
    std::string out = bom_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        if (i + 1 < lines_.size() || finalNewline_) out += lines_[i].crlf ? "\r\n" : "\n";
    }
    return out;
}

}  // namespace pellandor

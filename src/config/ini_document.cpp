#include "config/ini_document.h"

#include "platform/ini_style.h"

#include <algorithm>
#include <cstring>

namespace pellandor {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A stray CR counts as a blank: a value never keeps one from a mixed line end.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimIniBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view withoutBom(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    return bytes;
}

// Calls `visit(line)` for every line; stops early when it returns false.
template <typename Visit>
void forEachLine(std::string_view bytes, Visit visit) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        if (!visit(line)) return;
        if (end == std::string_view::npos) return;
        bytes.remove_prefix(end + 1);
    }
}

std::string_view upToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

IniLineInfo classifyIniLine(std::string_view line) {
    line = trimIniBlanks(line);
    IniLineInfo info;
    if (line.empty() || line.front() == ';') return info;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) {
            // keys below a damaged header must not be taken for the section above it.
            info.kind = IniLineInfo::Kind::BrokenSection;
            return info;
        }
        info.kind = IniLineInfo::Kind::Section;
        info.name = trimIniBlanks(line.substr(1, close - 1));
        return info;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return info;
    const std::string_view name = trimIniBlanks(line.substr(0, equals));
    if (name.empty()) return info;
    info.kind = IniLineInfo::Kind::Key;
    info.name = name;
    info.value = trimIniBlanks(line.substr(equals + 1));
    return info;
}

bool iniNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiUpper(x) == asciiUpper(y); });
}

bool isWritableIniName(std::string_view name) {
    if (name.empty() || name != trimIniBlanks(name)) return false;
    if (name.front() == ';' || name.front() == '[') return false;
    return name.find_first_of(std::string_view("\r\n\0]=", 5)) == std::string_view::npos;
}

std::optional<std::string_view> findIniValue(std::string_view bytes, std::string_view section, std::string_view key) {
    std::optional<std::string_view> found;
    bool inSection = false;
    forEachLine(withoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = classifyIniLine(line);
        switch (info.kind) {
            case IniLineInfo::Kind::Section:
                inSection = iniNamesEqual(info.name, section);
                break;
            case IniLineInfo::Kind::BrokenSection:
                inSection = false;
                break;
            case IniLineInfo::Kind::Key:
                if (inSection && iniNamesEqual(info.name, key)) {
                    found = upToNul(info.value);
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

bool iniHasSection(std::string_view bytes, std::string_view section) {
    bool found = false;
    forEachLine(withoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = classifyIniLine(line);
        found = info.kind == IniLineInfo::Kind::Section && iniNamesEqual(info.name, section);
        return !found;
    });
    return found;
}

std::vector<std::string> iniSectionNames(std::string_view bytes) {
    std::vector<std::string> names;
    forEachLine(withoutBom(bytes), [&](std::string_view line) {
        const IniLineInfo info = classifyIniLine(line);
        if (info.kind == IniLineInfo::Kind::Section) names.emplace_back(info.name);
        return true;
    });
    return names;
}

std::size_t IniNameHash::operator()(std::string_view name) const {
    // FNV-1a over the upper-cased bytes, matching iniNamesEqual.
    std::size_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(asciiUpper(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

IniIndex::IniIndex(std::string bytes) : bytes_(std::move(bytes)) {
    KeyMap* current = nullptr;
    forEachLine(withoutBom(bytes_), [&](std::string_view line) {
        const IniLineInfo info = classifyIniLine(line);
        switch (info.kind) {
            case IniLineInfo::Kind::Section:
                current = &sections_[info.name];
                break;
            case IniLineInfo::Kind::BrokenSection:
                current = nullptr;
                break;
            case IniLineInfo::Kind::Key:
                if (current != nullptr) current->try_emplace(info.name, upToNul(info.value));
                break;
            case IniLineInfo::Kind::Other:
                break;
        }
        return true;
    });
}

std::optional<std::string_view> IniIndex::find(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(section);
    if (s == sections_.end()) return std::nullopt;
    const auto k = s->second.find(key);
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

bool IniIndex::hasSection(std::string_view section) const {
    return sections_.find(section) != sections_.end();
}

IniDocument::IniDocument(std::string bytes) : bytes_(std::move(bytes)) {
    if (std::string_view(bytes_).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bom_ = kUtf8Bom;
        bytes_.erase(0, kUtf8Bom.size());
    }
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    if (!isWritableIniName(section) || !isWritableIniName(key)) return false;
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    writes_.push_back(IniWrite{std::string(section), std::string(key), std::string(value)});
    return true;
}

namespace {

template <class Value>
using NameMap = std::unordered_map<std::string_view, Value, IniNameHash, IniNameEqual>;

// Where the written keys and their sections are in the file, from one pass.
struct FoundKey {
    std::size_t begin = 0, end = 0;  // the line without its line end
    std::string_view name;           // as the file spells it
};
struct FoundSection {
    std::size_t insertAt = 0;  // after the last key line (or the header) of the first such section
    NameMap<FoundKey> keys;
};

// A key line added by a write: at an insertion point, or in an appended section.
struct AddedLine {
    std::string key, value;
};

// The line end of added lines: that of the file's first line.
std::string_view lineEndOf(std::string_view bytes) {
    const std::size_t firstLf = bytes.find('\n');
    // A file of one line ending in a lone CR gets CR LF there from the first
    // write, and that is then its first line's end: lines added in the same
    // batch take it too, as the next single write would. A new file takes the
    // system's own.
    if (firstLf != std::string_view::npos)
        return firstLf > 0 && bytes[firstLf - 1] == '\r' ? std::string_view("\r\n") : std::string_view("\n");
    if (!bytes.empty() && bytes.back() == '\r') return std::string_view("\r\n");
    return nativeIniStyle().newFileLineEnd;
}

// One pass: locates the written keys and where each written section ends.
NameMap<FoundSection> locateWrittenKeys(std::string_view bytes, const std::vector<IniWrite>& writes) {
    NameMap<NameMap<bool>> wanted;  // section -> keys written
    for (const IniWrite& w : writes) wanted[w.section][w.key] = true;

    NameMap<FoundSection> found;
    FoundSection* current = nullptr;
    const NameMap<bool>* currentKeys = nullptr;
    bool firstOccurrence = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t next = bytes.find('\n', pos);
        next = next == std::string_view::npos ? bytes.size() : next + 1;
        std::string_view line = bytes.substr(pos, next - pos);
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const IniLineInfo info = classifyIniLine(line);
        if (info.kind == IniLineInfo::Kind::Section || info.kind == IniLineInfo::Kind::BrokenSection) {
            current = nullptr;
            currentKeys = nullptr;
            if (info.kind == IniLineInfo::Kind::Section) {
                const auto w = wanted.find(info.name);
                if (w != wanted.end()) {
                    const auto [it, inserted] = found.try_emplace(w->first);
                    current = &it->second;
                    currentKeys = &w->second;
                    firstOccurrence = inserted;
                    if (firstOccurrence) current->insertAt = next;
                }
            }
        } else if (info.kind == IniLineInfo::Kind::Key && current != nullptr) {
            if (firstOccurrence) current->insertAt = next;
            const auto k = currentKeys->find(info.name);
            if (k != currentKeys->end()) {
                current->keys.try_emplace(k->first, FoundKey{pos, pos + line.size(), info.name});
            }
        }
        pos = next;
    }
    return found;
}

// What the writes do to the file, a later write of the same key winning:
// lines replaced, lines added at the end of a section, sections appended.
struct WritePlan {
    struct Replacement {
        const FoundKey* line;
        std::string value;
    };
    std::vector<Replacement> replacements;
    std::vector<std::pair<std::size_t, std::vector<AddedLine>>> inserts;   // insertion point, lines
    std::vector<std::pair<std::string, std::vector<AddedLine>>> appended;  // header name, lines
};

void setIn(std::vector<AddedLine>& lines, const IniWrite& w) {
    for (AddedLine& l : lines) {
        if (iniNamesEqual(l.key, w.key)) {
            l.value = w.value;
            return;
        }
    }
    lines.push_back(AddedLine{w.key, w.value});
}

WritePlan planWrites(const std::vector<IniWrite>& writes, const NameMap<FoundSection>& found) {
    WritePlan plan;
    NameMap<std::size_t> insertOf, appendedOf;
    for (const IniWrite& w : writes) {
        const auto s = found.find(w.section);
        if (s != found.end()) {
            const auto k = s->second.keys.find(w.key);
            if (k != s->second.keys.end()) {
                auto r = std::find_if(plan.replacements.begin(), plan.replacements.end(),
                                      [&](const WritePlan::Replacement& x) { return x.line == &k->second; });
                if (r == plan.replacements.end()) {
                    plan.replacements.push_back(WritePlan::Replacement{&k->second, w.value});
                } else {
                    r->value = w.value;
                }
                continue;
            }
            const auto [i, added] = insertOf.try_emplace(s->first, plan.inserts.size());
            if (added) plan.inserts.emplace_back(s->second.insertAt, std::vector<AddedLine>{});
            setIn(plan.inserts[i->second].second, w);
            continue;
        }
        auto a = appendedOf.find(w.section);
        if (a == appendedOf.end()) {
            plan.appended.emplace_back(w.section, std::vector<AddedLine>{});
            a = appendedOf.try_emplace(w.section, plan.appended.size() - 1).first;
        }
        setIn(plan.appended[a->second].second, w);
    }
    return plan;
}

// A stretch of the file replaced by new text (empty for an insertion).
struct Edit {
    std::size_t begin, end;
    std::string text;
};

// The replacements and insertions in file order: an insertion point never
// starts a replaced line.
std::vector<Edit> editsOf(const WritePlan& plan, std::string_view bytes, std::string_view eol) {
    std::vector<Edit> edits;
    for (const WritePlan::Replacement& r : plan.replacements) {
        std::string text(r.line->name);
        text += '=';
        text += r.value;
        edits.push_back(Edit{r.line->begin, r.line->end, std::move(text)});
    }
    for (const auto& [at, lines] : plan.inserts) {
        std::string text;
        if (at == bytes.size() && !bytes.empty() && bytes.back() != '\n') {
            // The old last line needs an end of its own; a lone CR becomes CR LF.
            text += bytes.back() == '\r' ? std::string_view("\n") : eol;
        }
        for (const AddedLine& l : lines) text.append(l.key).append("=").append(l.value).append(eol);
        edits.push_back(Edit{at, at, std::move(text)});
    }
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    return edits;
}

std::size_t sizeOfAppended(const WritePlan& plan) {
    std::size_t size = 0;
    for (const auto& [name, lines] : plan.appended) {
        size += name.size() + 8;
        for (const AddedLine& l : lines) size += l.key.size() + l.value.size() + 3;
    }
    return size;
}

// The new sections at the end of `out`, after a blank line unless the file
// ends in one (where the system's style has such lines); `body` is where the
// file's own text begins (after a BOM).
void appendSections(std::string& out, std::size_t body, const WritePlan& plan, std::string_view eol) {
    if (plan.appended.empty()) return;
    const IniStyle style = nativeIniStyle();
    const std::string_view text = std::string_view(out).substr(body);
    if (!text.empty()) {
        if (text.back() != '\n') out += text.back() == '\r' ? std::string_view("\n") : eol;
        const std::string_view now = std::string_view(out).substr(body);
        const std::string_view withoutEnd = now.substr(0, now.size() - 1);
        const std::size_t lastStart = withoutEnd.rfind('\n');
        const std::string_view lastLine =
            lastStart == std::string_view::npos ? withoutEnd : withoutEnd.substr(lastStart + 1);
        if (style.blankLineBeforeNewSection && !trimIniBlanks(lastLine).empty()) out += eol;
    }
    bool first = true;
    for (const auto& [name, lines] : plan.appended) {
        if (!first && style.blankLineBeforeNewSection) out += eol;
        first = false;
        out.append("[").append(name).append("]").append(eol);
        for (const AddedLine& l : lines) out.append(l.key).append("=").append(l.value).append(eol);
    }
}

}  // namespace

std::string IniDocument::serialize() const {
    if (writes_.empty()) return bom_ + bytes_;
    const std::string_view bytes = bytes_;
    const std::string_view eol = lineEndOf(bytes);
    const NameMap<FoundSection> found = locateWrittenKeys(bytes, writes_);
    const WritePlan plan = planWrites(writes_, found);
    const std::vector<Edit> edits = editsOf(plan, bytes, eol);

    std::string out = bom_;
    std::size_t extra = sizeOfAppended(plan);
    for (const Edit& e : edits) extra += e.text.size();
    out.reserve(bom_.size() + bytes.size() + extra + 4);
    std::size_t copied = 0;
    for (const Edit& e : edits) {
        out.append(bytes.substr(copied, e.begin - copied));
        out += e.text;
        copied = e.end;
    }
    out.append(bytes.substr(copied));
    appendSections(out, bom_.size(), plan, eol);
    return out;
}

}  // namespace pellandor

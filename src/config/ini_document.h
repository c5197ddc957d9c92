#pragma once
// One INI file held as its bytes, so that a write changes only the line it
// touches and keeps comments, unknown keys and line ends as they were. Added
// lines take the line end of the file's first line; a new file gets LF.
// Lines starting with ";" are comments; the first of duplicate keys wins;
// keys above the first section belong to none. A line ends at LF, CR LF, or
// a lone CR at the very end of the file.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pellandor {

// What a single line of an INI file means. Views point into the line.
struct IniLineInfo {
    enum class Kind { Other, Section, BrokenSection, Key };
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, blanks removed
    std::string_view value;  // key lines: text after the first "=", blanks and CRs removed
};

// `line` is without its "\n"; trailing "\r"s are ignored.
IniLineInfo classifyIniLine(std::string_view line);

// ASCII case-insensitive equality, as section and key names are compared.
bool iniNamesEqual(std::string_view a, std::string_view b);

// Whether `name` can be written as a section or key name and read back the same.
bool isWritableIniName(std::string_view name);

// Looks a value up in raw file bytes without copying the file. The first
// matching key of the first matching section wins; later sections of the same
// name are searched when the earlier ones lack the key.
std::optional<std::string_view> findIniValue(std::string_view bytes, std::string_view section, std::string_view key);
bool iniHasSection(std::string_view bytes, std::string_view section);
std::vector<std::string> iniSectionNames(std::string_view bytes);

// Hashing and equality of names for maps keyed by them in any case.
struct IniNameHash {
    std::size_t operator()(std::string_view name) const;
};
struct IniNameEqual {
    bool operator()(std::string_view a, std::string_view b) const { return iniNamesEqual(a, b); }
};

// Every section and first key value of a file, found in one pass, so a
// loader that asks for many keys reads the file once and not once per key.
class IniIndex final {
public:
    explicit IniIndex(std::string bytes);
    IniIndex(const IniIndex&) = delete;
    IniIndex& operator=(const IniIndex&) = delete;

    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;
    bool hasSection(std::string_view section) const;
    std::vector<std::string> sectionNames() const { return iniSectionNames(bytes_); }

private:
    using KeyMap = std::unordered_map<std::string_view, std::string_view, IniNameHash, IniNameEqual>;

    std::string bytes_;
    // keys per section name; a section listed without keys exists all the same.
    std::unordered_map<std::string_view, KeyMap, IniNameHash, IniNameEqual> sections_;
};

// One key written to an IniDocument, applied when it is serialized.
struct IniWrite {
    std::string section, key, value;
};

class IniDocument final {
public:
    IniDocument() = default;
    explicit IniDocument(std::string bytes);
    virtual ~IniDocument() = default;

    // Replaces the key in place, or appends it at the end of its section, or
    // appends the section at the end. A value is cut at its first line break
    // or NUL so it can never add lines. False for a name that cannot be stored.
    // The writes are applied in one pass over the file by serialize, so a
    // batch of them costs one read of a large file, not one per key.
    bool set(std::string_view section, std::string_view key, std::string_view value);

    std::string serialize() const;

private:
    std::string bom_;
    std::string bytes_;
    std::vector<IniWrite> writes_;
};

}  // namespace pellandor

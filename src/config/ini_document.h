#pragma once
// One INI file held as its lines, so that a write changes only the line it
// touches and keeps comments, unknown keys and line ends as they were. Added
// lines take the line end of the file's first line; a new file gets LF.
// Lines starting with ";" are comments; the first of duplicate keys wins;
// keys above the first section belong to none.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

// What a single line of an INI file means. Views point into the line.
struct IniLineInfo {
    enum class Kind { Other, Section, BrokenSection, Key };
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, blanks removed
    std::string_view value;  // key lines: text after the first "=", blanks removed
};

// `line` is without its "\n"; a trailing "\r" is ignored.
IniLineInfo ClassifyIniLine(std::string_view line);

// ASCII case-insensitive equality, as section and key names are compared.
bool IniNamesEqual(std::string_view a, std::string_view b);

// Whether `name` can be written as a section or key name and read back the same.
bool IsWritableIniName(std::string_view name);

// Looks a value up in raw file bytes without copying the file. The first
// matching key of the first matching section wins; later sections of the same
// name are searched when the earlier ones lack the key.
std::optional<std::string_view> FindIniValue(std::string_view bytes, std::string_view section,
                                             std::string_view key);
bool IniHasSection(std::string_view bytes, std::string_view section);
std::vector<std::string> IniSectionNames(std::string_view bytes);

class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view bytes);
    virtual ~IniDocument() = default;

    // Replaces the key in place, or appends it at the end of its section, or
    // appends the section at the end. A value is cut at its first line break
    // or NUL so it can never add lines. False for a name that cannot be stored.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Serialize() const;

private:
    struct Line {
        std::string text;  // without "\r\n" / "\n"
        bool crlf = false;
    };

    void Append(std::string text);
    void InsertAt(std::size_t index, std::string text);

    std::string bom_;
    std::vector<Line> lines_;
    bool finalNewline_ = true;
    bool crlfStyle_ = false;  // line end used for added lines
};

}  // namespace pellandor

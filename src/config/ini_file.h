#pragma once
// Typed reads of one INI file with the private-profile rules the settings
// files were written under. An IniFile caches nothing: every read opens the
// file, so a value written through any path is seen by the next read
// (IniSnapshotCache, at the end, keeps a snapshot while the file is unchanged).

#include "base/result.h"
#include "platform/atomic_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

class IniIndex;

// At most `bufferSize` - 1 bytes of `text` (room for the terminator of the
// buffers these values were sized for), never ending inside a UTF-8 sequence.
std::string truncateText(std::string_view text, std::size_t bufferSize);

// strtoul on a 32-bit system: blanks skipped, optional sign, digits up to the
// first non-digit; "-1" gives 4294967295, overflow gives 4294967295.
std::uint32_t parseUnsignedDecimal(std::string_view text);

// atoi-like: the leading signed decimal value, 0 when there is none,
// saturated to the 32-bit range.
std::int32_t leadingDecimal(std::string_view text);

class IniFile final {
public:
    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}
    virtual ~IniFile() = default;

    // A reader that reads and indexes the file once, for a loader that reads
    // many keys in a row (a settings section, a language table). Later writes
    // are seen by the next snapshot or plain reader.
    static IniFile snapshot(std::string path);
    // The same, or why not: the file is missing (ErrorCode::NotFound) or
    // cannot be read.
    static Result<IniFile> readableSnapshot(std::string path);

    void setPath(std::string_view path) {
        path_ = path;
        index_.reset();
    }
    const std::string& path() const { return path_; }

    // The whole value, or `defaultValue` when the file, section or key is missing.
    std::string getString(std::string_view section, std::string_view key, std::string_view defaultValue = {}) const;
    // The value as a `bufferSize`-byte buffer would hold it (truncateText).
    std::string getString(std::string_view section, std::string_view key, std::size_t bufferSize) const;

    // The first 64 bytes converted by parseUnsignedDecimal; missing or empty gives 0.
    std::uint32_t getUInt(std::string_view section, std::string_view key) const;

    // Empty or missing gives `defaultValue`; "true"/"yes" in any case give 1;
    // otherwise 1 when the leading signed decimal value is not 0.
    int getBool(std::string_view section, std::string_view key, int defaultValue) const;

    bool sectionExists(std::string_view section) const;
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    std::vector<std::string> sectionNames() const;

private:
    std::string load() const;
    template <class Read>
    auto withBytes(Read read) const;

    std::string path_;
    std::shared_ptr<const IniIndex> index_;  // set in a snapshot
};

// The last snapshot of one file, read again only when the file's stamp
// changed: for a reader that consults the file on every key press.
class IniSnapshotCache final {
public:
    const IniFile& snapshot(const std::string& path);

private:
    std::optional<FileStamp> stamp_;  // none: nothing kept
    IniFile snapshot_;
};

}  // namespace pellandor

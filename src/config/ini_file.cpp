#include "config/ini_file.h"

#include "platform/atomic_file.h"
#include "config/ini_document.h"

#include <limits>

namespace pellandor {

namespace {

// Numbers and flags are converted from a 64-byte scratch copy.
constexpr std::size_t kScratchBytes = 64;

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Digits {
    bool negative = false;
    bool overflow = false;  // beyond 32 bits
    std::uint64_t value = 0;
};

Digits scanDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    Digits d;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        d.value = d.value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (d.value > 0xFFFFFFFFull) {
            d.overflow = true;
            d.value = 0xFFFFFFFFull;  // keeps the product in range; the flag decides
        }
    }
    return d;
}

}  // namespace

std::string truncateText(std::string_view text, std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    const std::size_t limit = bufferSize - 1;
    if (text.size() <= limit) return std::string(text);
    std::size_t cut = limit;
    // Step back over continuation bytes to the start of the cut character;
    // at most three, so invalid UTF-8 cannot empty the text.
    for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back) {
        --cut;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut = limit;  // not UTF-8 at all
    return std::string(text.substr(0, cut));
}

std::uint32_t parseUnsignedDecimal(std::string_view text) {
    const Digits d = scanDecimal(text);
    if (d.overflow) return 0xFFFFFFFFu;
    const auto value = static_cast<std::uint32_t>(d.value);
    return d.negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::int32_t leadingDecimal(std::string_view text) {
    const Digits d = scanDecimal(text);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    if (d.negative) {
        if (d.overflow || d.value > kMax + 1) return std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(d.value));
    }
    if (d.overflow || d.value > kMax) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(d.value);
}

std::string IniFile::load() const {
    // Unreadable files read as missing ones: every value falls back to its default.
    if (path_.empty()) return {};
    Result<std::optional<std::string>> read = readWholeFile(path_);
    if (!read || !*read) return {};
    return std::move(**read);
}

template <class Read>
auto IniFile::withBytes(Read read) const {
    const std::string bytes = load();
    return read(std::string_view(bytes));
}

IniFile IniFile::snapshot(std::string path) {
    IniFile ini(std::move(path));
    ini.index_ = std::make_shared<const IniIndex>(ini.load());
    return ini;
}

const IniFile& IniSnapshotCache::snapshot(const std::string& path) {
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (stamp && stamp == stamp_ && snapshot_.path() == path) return snapshot_;
    // Stamped before reading: a change in between is read again next time.
    Result<IniFile> read = IniFile::readableSnapshot(path);
    // Missing or unreadable: a plain reader, which finds the defaults, and
    // nothing kept, so the next look tries again.
    stamp_ = read ? stamp : std::nullopt;
    snapshot_ = read ? std::move(read).value() : IniFile(path);
    return snapshot_;
}

Result<IniFile> IniFile::readableSnapshot(std::string path) {
    Result<std::optional<std::string>> read = readWholeFile(path);
    if (!read) return failure(read.error(), read.code());
    if (!*read) return failure("the file does not exist", ErrorCode::NotFound);
    IniFile ini(std::move(path));
    ini.index_ = std::make_shared<const IniIndex>(std::move(**read));
    return ini;
}

std::optional<std::string> IniFile::find(std::string_view section, std::string_view key) const {
    if (index_) {
        const auto value = index_->find(section, key);
        return value ? std::optional<std::string>(*value) : std::nullopt;
    }
    return withBytes([&](std::string_view bytes) -> std::optional<std::string> {
        const auto value = findIniValue(bytes, section, key);
        if (!value) return std::nullopt;
        return std::string(*value);
    });
}

std::string IniFile::getString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    auto value = find(section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

std::string IniFile::getString(std::string_view section, std::string_view key, std::size_t bufferSize) const {
    return truncateText(getString(section, key), bufferSize);
}

std::uint32_t IniFile::getUInt(std::string_view section, std::string_view key) const {
    const std::string value = getString(section, key);
    return parseUnsignedDecimal(std::string_view(value).substr(0, kScratchBytes));
}

int IniFile::getBool(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string value = getString(section, key);
    const std::string_view scratch = std::string_view(value).substr(0, kScratchBytes);
    if (scratch.empty()) return defaultValue;
    if (iniNamesEqual(scratch, "true") || iniNamesEqual(scratch, "yes")) return 1;
    return leadingDecimal(scratch) != 0 ? 1 : 0;
}

bool IniFile::sectionExists(std::string_view section) const {
    if (section.empty()) return false;
    if (index_) return index_->hasSection(section);
    return withBytes([&](std::string_view bytes) { return iniHasSection(bytes, section); });
}

std::vector<std::string> IniFile::sectionNames() const {
    if (index_) return index_->sectionNames();
    return withBytes([](std::string_view bytes) { return iniSectionNames(bytes); });
}

}  // namespace pellandor

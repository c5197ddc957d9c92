#pragma once
// Several key writes to one INI file applied as one: the file is read once,
// the writes are applied in order and the result replaces the file
// atomically. The bytes are the same as those of the single writes in turn.

#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

class IniWriteBatch final {
public:
    explicit IniWriteBatch(std::string path) : path_(std::move(path)) {}
    virtual ~IniWriteBatch() = default;

    void write(std::string_view section, std::string_view key, std::string_view value);

    // False, with the file untouched, when the file cannot be read or written
    // or a queued name cannot be stored. Nothing queued: nothing written.
    bool commit();

    const std::string& lastError() const { return lastError_; }

private:
    struct Entry {
        std::string section, key, value;
    };

    std::string path_;
    std::vector<Entry> entries_;
    std::string lastError_;
};

// One key, written at once.
bool writeIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value,
                    std::string& error);

}  // namespace pellandor

#pragma once
// Several key writes to one INI file applied as one: the file is read once,
// the writes are applied in order and the result replaces the file
// atomically. The bytes are the same as those of the single writes in turn.

#include "base/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

class IniWriteBatch final {
public:
    explicit IniWriteBatch(std::string path) : path_(std::move(path)) {}
    virtual ~IniWriteBatch() = default;

    void write(std::string_view section, std::string_view key, std::string_view value);

    // Fails, with the file untouched, when the file cannot be read or written
    // or a queued name cannot be stored. Nothing queued: nothing written.
    Status commit();

    // Waits at most this long for another writer's lock (negative: as long
    // as it takes, the default); a commit that gave up fails busy().
    void setLockWait(int ms) { lockWaitMs_ = ms; }

private:
    struct Entry {
        std::string section, key, value;
    };

    std::string path_;
    std::vector<Entry> entries_;
    int lockWaitMs_ = -1;
};

// One key, written at once.
Status writeIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace pellandor

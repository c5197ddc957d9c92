#include "config/ini_write_batch.h"

#include "platform/atomic_file.h"
#include "config/ini_document.h"

namespace pellandor {

void IniWriteBatch::write(std::string_view section, std::string_view key, std::string_view value) {
    entries_.push_back(Entry{std::string(section), std::string(key), std::string(value)});
}

Status IniWriteBatch::commit() {
    if (entries_.empty()) return {};
    for (const Entry& e : entries_) {
        if (!isWritableIniName(e.section) || !isWritableIniName(e.key)) {
            return failure("save settings: cannot store the name [" + e.section + "] " + e.key);
        }
    }
    const Status saved = updateFileWithin(
        path_,
        [this](std::string& bytes) -> Status {
            IniDocument document(std::move(bytes));
            for (const Entry& e : entries_) document.set(e.section, e.key, e.value);
            bytes = document.serialize();
            return {};
        },
        lockWaitMs_);
    if (!saved) return saved.within("save settings");
    entries_.clear();
    return {};
}

Status writeIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    IniWriteBatch batch(path);
    batch.write(section, key, value);
    return batch.commit();
}

}  // namespace pellandor

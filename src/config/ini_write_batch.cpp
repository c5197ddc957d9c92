#include "config/ini_write_batch.h"

#include "platform/atomic_file.h"
#include "config/ini_document.h"

namespace pellandor {

void IniWriteBatch::write(std::string_view section, std::string_view key, std::string_view value) {
    entries_.push_back(Entry{std::string(section), std::string(key), std::string(value)});
}

bool IniWriteBatch::commit() {
    lastError_.clear();
    lockBusy_ = false;
    if (entries_.empty()) return true;
    for (const Entry& e : entries_) {
        if (!isWritableIniName(e.section) || !isWritableIniName(e.key)) {
            lastError_ = "CIniWriteBatch::Commit: cannot store the name [" + e.section + "] " + e.key;
            return false;
        }
    }
    std::string error;
    const LockedUpdate update = updateFileWithin(
        path_,
        [this](std::string& bytes, std::string&) {
            IniDocument document(std::move(bytes));
            for (const Entry& e : entries_) document.set(e.section, e.key, e.value);
            bytes = document.serialize();
            return true;
        },
        lockWaitMs_, error);
    lockBusy_ = update == LockedUpdate::Busy;
    if (update != LockedUpdate::Done) {
        lastError_ = "CIniWriteBatch::Commit: " + error;
        return false;
    }
    entries_.clear();
    return true;
}

bool writeIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value,
                    std::string& error) {
    IniWriteBatch batch(path);
    batch.write(section, key, value);
    const bool ok = batch.commit();
    error = batch.lastError();
    return ok;
}

}  // namespace pellandor

#include "config/ini_write_batch.h"

#include "config/atomic_file.h"
#include "config/ini_document.h"

namespace pellandor {

void CIniWriteBatch::Write(std::string_view section, std::string_view key, std::string_view value) {
    entries_.push_back(Entry{std::string(section), std::string(key), std::string(value)});
}

bool CIniWriteBatch::Commit() {
    lastError_.clear();
    if (entries_.empty()) return true;
    for (const Entry& e : entries_) {
        if (!IsWritableIniName(e.section) || !IsWritableIniName(e.key)) {
            lastError_ = "CIniWriteBatch::Commit: cannot store the name [" + e.section + "] " + e.key;
            return false;
        }
    }
    std::string error;
    const bool ok = UpdateFileAtomically(
        path_,
        [this](std::string& bytes, std::string&) {
            IniDocument document(std::move(bytes));
            for (const Entry& e : entries_) document.Set(e.section, e.key, e.value);
            bytes = document.Serialize();
            return true;
        },
        error);
    if (!ok) {
        lastError_ = "CIniWriteBatch::Commit: " + error;
        return false;
    }
    entries_.clear();
    return true;
}

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value,
                    std::string& error) {
    CIniWriteBatch batch(path);
    batch.Write(section, key, value);
    const bool ok = batch.Commit();
    error = batch.LastError();
    return ok;
}

}  // namespace pellandor

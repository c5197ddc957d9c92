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
    std::string bytes;
    std::string error;
    // Writing over a file we could not read would throw its contents away.
    if (ReadWholeFile(path_, bytes, error) == FileReadStatus::Failed) {
        lastError_ = "CIniWriteBatch::Commit: " + error;
        return false;
    }
    IniDocument document(bytes);
    for (const Entry& e : entries_) {
        if (!document.Set(e.section, e.key, e.value)) {
            lastError_ = "CIniWriteBatch::Commit: cannot store the name [" + e.section + "] " + e.key;
            return false;
        }
    }
    if (!WriteFileAtomically(path_, document.Serialize(), error)) {
        lastError_ = "CIniWriteBatch::Commit: " + error;
        return false;
    }
    entries_.clear();
    return true;
}

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string& error) {
    CIniWriteBatch batch(path);
    batch.Write(section, key, value);
    const bool ok = batch.Commit();
    error = batch.LastError();
    return ok;
}

}  // namespace pellandor

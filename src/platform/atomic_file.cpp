#include "platform/atomic_file.h"

#include "platform/atomic_file_steps.h"

namespace pellandor {

using namespace save_steps;

Status checkReadableFile(const std::string& path) {
    return openForReading(path).status();
}

Result<std::optional<std::string>> readWholeFile(const std::string& path) {
    Result<OpenFileReader> opened = openForReading(path);
    if (!opened) return failure(opened.error(), opened.code());
    if (!*opened) return std::optional<std::string>();
    FileReader& reader = **opened;
    std::string bytes;
    // Read into a buffer of the file's size: no second copy of a large file.
    bytes.resize(openedSize(reader));
    std::size_t filled = 0;
    char chunk[4096];
    for (;;) {
        // Once the expected size is in, a small read tells whether the file grew.
        const bool full = filled == bytes.size();
        char* into = full ? chunk : bytes.data() + filled;
        const std::size_t room = full ? sizeof chunk : bytes.size() - filled;
        Result<std::size_t> n = readSome(reader, path, into, room);
        if (!n) return failure(n.error(), n.code());
        if (*n == 0) break;
        if (full) {
            if (filled + *n > kMaxIniFileSize) return failure("file too large: \"" + path + "\"");
            bytes.append(chunk, *n);
        }
        filled += *n;
    }
    bytes.resize(filled);
    return std::optional<std::string>(std::move(bytes));
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    Result<Target> target = prepareTarget(path);
    if (!target) return target.status();
    Result<HeldWriterLock> lock = lockWriters(*target, kWaitForLock);
    if (!lock) return lock.status();
    removeStaleTemporaries(*target);
    if (Status writable = refuseReadOnly(*target); !writable) return writable;
    return replace(*target, bytes);
}

Status updateFileAtomically(const std::string& path, const FileChange& change) {
    return updateFileWithin(path, change, kWaitForLock);
}

Status updateFileWithin(const std::string& path, const FileChange& change, int lockWaitMs) {
    Result<Target> target = prepareTarget(path);
    if (!target) return target.status();
    Result<HeldWriterLock> lock = lockWriters(*target, lockWaitMs);
    if (!lock) return lock.status();
    removeStaleTemporaries(*target);
    // Writing over a file we could not read would throw its contents away.
    Result<std::optional<std::string>> current = readWholeFile(target->path);
    if (!current) return current.status();
    std::string bytes = current->value_or(std::string());
    if (Status writable = refuseReadOnly(*target); !writable) return writable;
    if (Status changed = change(bytes); !changed) return changed;
    return replace(*target, bytes);
}

}  // namespace pellandor

#pragma once
// whole-file reads and crash-safe whole-file writes.

#include "base/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

// Larger files are not settings files; refusing them keeps a stray path from
// exhausting memory.
inline constexpr std::size_t kMaxIniFileSize = std::size_t{64} * 1024 * 1024;

// Reads a regular file; none when it does not exist. FIFOs, devices and
// folders are refused, so a read can never block.
Result<std::optional<std::string>> readWholeFile(const std::string& path);

// Tells one version of a file from the next without reading it. A
// crash-safe save replaces the file, so the new one also differs in its
// change time or identity where the system gives them.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // system-specific units, as is `changed`
    std::int64_t changed = 0;
    std::uint64_t identity = 0;
    bool operator==(const FileStamp&) const = default;
};

// None when the file does not exist or cannot be looked at.
std::optional<FileStamp> fileStamp(const std::string& path);

// Whether readWholeFile would succeed, without reading: a missing file is
// fine, a failure says why (not a regular file, too large, no permission).
Status checkReadableFile(const std::string& path);

// Writes a temporary file beside `path`, syncs it and renames it over `path`,
// so the file is always either the old or the new one. Creates missing
// folders. A symlink is followed and its target replaced. The file is left
// with mode 0600 whatever it had (it can hold a password). A file the user
// made read-only is refused, not replaced. Writers are serialised through an
// advisory lock on ".NAME.lock" beside the file, and temporary files left by
// killed saves are removed under that lock.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

// Read-change-write under the same lock, so concurrent writers of other keys
// (another process, the desktop program) never lose each other's changes.
// `change` gets the current bytes (empty for a missing file) and edits them
// in place; a failure from it aborts with its error and the file untouched.
// A file that exists but cannot be read is never replaced.
using FileChange = std::function<Status(std::string& bytes)>;
Status updateFileAtomically(const std::string& path, const FileChange& change);

// The same, waiting at most `lockWaitMs` for another writer's lock (a
// negative value: as long as it takes). A busy() failure, with the file
// untouched, when the wait runs out: a program with a window must not freeze
// because some other process holds the lock.
inline constexpr int kWaitForLock = -1;
Status updateFileWithin(const std::string& path, const FileChange& change, int lockWaitMs);

}  // namespace pellandor

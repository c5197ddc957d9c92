#pragma once
// whole-file reads and crash-safe whole-file writes.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace pellandor {

// Larger files are not settings files; refusing them keeps a stray path from
// exhausting memory.
inline constexpr std::size_t kMaxIniFileSize = std::size_t{64} * 1024 * 1024;

enum class FileReadStatus { Ok, Missing, Failed };

// Reads a regular file. FIFOs, devices and folders are refused, so a read can
// never block.
FileReadStatus readWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Whether readWholeFile would succeed, without reading: Ok, Missing, or
// Failed with the reason (not a regular file, too large, no permission).
FileReadStatus checkReadableFile(const std::string& path, std::string& error);

// Writes a temporary file beside `path`, syncs it and renames it over `path`,
// so the file is always either the old or the new one. Creates missing
// folders. A symlink is followed and its target replaced. The file is left
// with mode 0600 whatever it had (it can hold a password). A file the user
// made read-only is refused, not replaced. Writers are serialised through an
// advisory lock on ".NAME.lock" beside the file, and temporary files left by
// killed saves are removed under that lock.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// Read-change-write under the same lock, so concurrent writers of other keys
// (another process, the desktop program) never lose each other's changes.
// `change` gets the current bytes (empty for a missing file) and edits them
// in place; false from it aborts with its error and the file untouched. A
// file that exists but cannot be read is never replaced.
using FileChange = std::function<bool(std::string& bytes, std::string& error)>;
bool updateFileAtomically(const std::string& path, const FileChange& change, std::string& error);

// The same, waiting at most `lockWaitMs` for another writer's lock (a
// negative value: as long as it takes). Busy, with the file untouched, when
// the wait runs out: a program with a window must not freeze because some
// other process holds the lock.
enum class LockedUpdate { Done, Busy, Failed };
inline constexpr int kWaitForLock = -1;
LockedUpdate updateFileWithin(const std::string& path, const FileChange& change, int lockWaitMs, std::string& error);

}  // namespace pellandor

#pragma once
// Whole-file reads and crash-safe whole-file writes.

#include <cstddef>
#include <string>
#include <string_view>

namespace pellandor {

// Larger files are not settings files; refusing them keeps a stray path from
// exhausting memory.
inline constexpr std::size_t kMaxIniFileSize = std::size_t{64} * 1024 * 1024;

enum class FileReadStatus { Ok, Missing, Failed };

// Reads a regular file. FIFOs, devices and folders are refused, so a read can
// never block.
FileReadStatus ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Writes a temporary file beside `path`, syncs it and renames it over `path`,
// so the file is always either the old or the new one. Creates missing
// folders. A symlink is followed and its target replaced. A new file gets
// mode 0600 (it can hold a password); an existing file keeps its mode.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace pellandor

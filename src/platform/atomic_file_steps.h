#pragma once
// The system-specific steps of whole-file reads and crash-safe saves.
// atomic_file.cpp puts them in order once; each backend (posix/, win32/)
// provides them.
#include "base/result.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace pellandor::save_steps {

// A file open for one whole read; closed when destroyed.
class FileReader;
struct FileReaderClose {
    void operator()(FileReader* reader) const;
};
using OpenFileReader = std::unique_ptr<FileReader, FileReaderClose>;

// A regular file within kMaxIniFileSize, opened so that no read can block
// (FIFOs, devices and folders are refused); null when there is no such file.
Result<OpenFileReader> openForReading(const std::string& path);
// The size the file had when it was opened.
std::size_t openedSize(const FileReader& reader);
// Up to `room` bytes; 0 at the end of the file.
Result<std::size_t> readSome(FileReader& reader, const std::string& path, char* into, std::size_t room);

struct Target {
    std::string path;  // the file itself, symlinks followed where the system has them
    std::string folder;
    std::string base;
};

// Splits the path and creates missing folders.
Result<Target> prepareTarget(const std::string& path);

// Serialises the writers of one file across processes; held until destroyed.
class WriterLock;
struct WriterLockRelease {
    void operator()(WriterLock* lock) const;
};
using HeldWriterLock = std::unique_ptr<WriterLock, WriterLockRelease>;

// `waitMs` < 0 waits as long as it takes; otherwise busy() once it runs out.
Result<HeldWriterLock> lockWriters(const Target& target, int waitMs);

// Temporary files of this target that exist while we hold the lock belong to
// saves that died before their rename.
void removeStaleTemporaries(const Target& target);

// A file made read-only on purpose is not replaced.
Status refuseReadOnly(const Target& target);

// The temporary file, its flush and the move over the target; the caller
// holds the lock.
Status replace(const Target& target, std::string_view bytes);

}  // namespace pellandor::save_steps

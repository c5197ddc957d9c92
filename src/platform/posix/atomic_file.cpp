#include "platform/atomic_file.h"

#include "base/unique_fd.h"

#include <cerrno>
#include <dirent.h>
#include <sys/file.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace pellandor {

namespace {

std::string errnoText(const char* what, const std::string& path, int err) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

Status makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return {};
        return failure("not a folder: \"" + folder + "\"");
    }
    const std::string parent = parentOf(folder);
    if (parent != folder) {
        if (Status made = makeFolders(parent); !made) return made;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return failure(errnoText("cannot create folder", folder, errno));
    }
    return {};
}

std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(PATH_MAX + 1, '\0');
    if (::realpath(path.c_str(), target.data()) != nullptr) return target.data();
    // A dangling link: read where it points and create that file.
    const ssize_t n = ::readlink(path.c_str(), target.data(), PATH_MAX);
    if (n <= 0) return path;
    std::string link(target.data(), static_cast<std::size_t>(n));
    if (link.front() != '/') link = parentOf(path) + "/" + link;
    return link;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

namespace {

// Opens a file for reading and checks it may be read as a whole: a regular
// file within the size cap. A FIFO or device is never read, so nothing blocks.
// A missing file fails with ErrorCode::NotFound.
Status openForReading(const std::string& path, UniqueFd& fd, off_t& size) {
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.isOpen()) {
        const int code = errno;
        return failure(errnoText("cannot open", path, code),
                       code == ENOENT || code == ENOTDIR ? ErrorCode::NotFound : ErrorCode::Failed);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return failure(errnoText("cannot inspect", path, errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return failure("not a regular file: \"" + path + "\"");
    }
    if (static_cast<unsigned long long>(st.st_size) > kMaxIniFileSize) {
        return failure("file too large: \"" + path + "\" (" + std::to_string(st.st_size) + " bytes, at most " +
                       std::to_string(kMaxIniFileSize) + ")");
    }
    size = st.st_size;
    return {};
}

// Held for one read-change-write; released when the descriptor closes.
class WriterLock final {
public:
    // `waitMs` < 0 waits as long as it takes.
    Status acquire(const std::string& folder, const std::string& base, int waitMs) {
        const std::string path = folder + "/." + base + ".lock";
        fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
        if (!fd_.isOpen()) return failure(errnoText("cannot open the lock file", path, errno));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
        auto pause = std::chrono::milliseconds(1);
        while (::flock(fd_.get(), waitMs < 0 ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return failure(errnoText("cannot lock", path, errno));
            // flock has no timeout: short, growing pauses until the deadline.
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                return failure("another program holds the lock \"" + path + "\"", ErrorCode::Busy);
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, std::chrono::milliseconds(20));
        }
        return {};
    }

private:
    UniqueFd fd_;
};

// Temporary files of this target that exist while we hold the lock belong to
// saves that died before their rename.
void removeStaleTemporaries(const std::string& folder, const std::string& base) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = "." + base + ".";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) continue;
        const std::string_view suffix = name.substr(prefix.size());
        const bool fromMkstemp = std::all_of(suffix.begin(), suffix.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        });
        if (fromMkstemp) ::unlinkat(::dirfd(dir), std::string(name).c_str(), 0);
    }
    ::closedir(dir);
}

struct Target {
    std::string path;  // the file itself, symlinks followed
    std::string folder;
    std::string base;
};

Result<Target> prepareTarget(const std::string& path) {
    Target target;
    if (path.empty()) {
        return failure("no file name given");
    }
    target.path = resolveTarget(path);
    target.folder = parentOf(target.path);
    const std::size_t slash = target.path.rfind('/');
    target.base = slash == std::string::npos ? target.path : target.path.substr(slash + 1);
    if (Status made = makeFolders(target.folder); !made) return failure(made.error(), made.code());
    return target;
}

// A file without any write permission was made read-only on purpose.
Status refuseReadOnly(const Target& target) {
    struct stat st {};
    if (::stat(target.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    if ((st.st_mode & 0222) != 0 && ::access(target.path.c_str(), W_OK) == 0) return {};
    return failure("cannot replace \"" + target.path + "\": the file is read-only");
}

// The temporary file, its sync and the rename; the caller holds the lock.
Status replace(const Target& target, std::string_view bytes) {
    std::string error;
    std::string temp = target.folder + "/." + target.base + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.isOpen()) return failure(errnoText("cannot create a temporary file in", target.folder, errno));
    bool ok = ::fchmod(fd.get(), 0600) == 0;
    if (!ok) error = errnoText("cannot set the mode of", temp, errno);
    if (ok && !writeAll(fd.get(), bytes)) {
        error = errnoText("cannot write", temp, errno);
        ok = false;
    }
    if (ok && ::fsync(fd.get()) != 0) {
        error = errnoText("cannot flush", temp, errno);
        ok = false;
    }
    if (::close(fd.release()) != 0 && ok) {
        error = errnoText("cannot close", temp, errno);
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), target.path.c_str()) != 0) {
        error = errnoText("cannot replace", target.path, errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return failure(error);
    }
    // Makes the rename itself survive a power cut.
    UniqueFd dir(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isOpen()) ::fsync(dir.get());
    return {};
}

}  // namespace

Status checkReadableFile(const std::string& path) {
    UniqueFd fd;
    off_t size = 0;
    Status opened = openForReading(path, fd, size);
    if (!opened && opened.code() == ErrorCode::NotFound) return {};
    return opened;
}

Result<std::optional<std::string>> readWholeFile(const std::string& path) {
    UniqueFd fd;
    off_t size = 0;
    if (Status opened = openForReading(path, fd, size); !opened) {
        if (opened.code() == ErrorCode::NotFound) return std::optional<std::string>();
        return failure(opened.error());
    }
    std::string bytes;
    // Read into a buffer of the file's size: no second copy of a large file.
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t filled = 0;
    char chunk[4096];
    for (;;) {
        // once the expected size is in, a small read tells whether the file grew.
        const bool full = filled == bytes.size();
        char* into = full ? chunk : bytes.data() + filled;
        const std::size_t room = full ? sizeof chunk : bytes.size() - filled;
        const ssize_t n = ::read(fd.get(), into, room);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failure(errnoText("cannot read", path, errno));
        }
        if (n == 0) break;
        if (full) {
            if (filled + static_cast<std::size_t>(n) > kMaxIniFileSize) {
                return failure("file too large: \"" + path + "\"");
            }
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return std::optional<std::string>(std::move(bytes));
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    Result<Target> prepared = prepareTarget(path);
    if (!prepared) return prepared.status();
    const Target& target = *prepared;
    WriterLock lock;
    if (Status locked = lock.acquire(target.folder, target.base, kWaitForLock); !locked) return locked;
    removeStaleTemporaries(target.folder, target.base);
    if (Status writable = refuseReadOnly(target); !writable) return writable;
    return replace(target, bytes);
}

Status updateFileAtomically(const std::string& path, const FileChange& change) {
    return updateFileWithin(path, change, kWaitForLock);
}

Status updateFileWithin(const std::string& path, const FileChange& change, int lockWaitMs) {
    Result<Target> prepared = prepareTarget(path);
    if (!prepared) return prepared.status();
    const Target& target = *prepared;
    WriterLock lock;
    if (Status locked = lock.acquire(target.folder, target.base, lockWaitMs); !locked) return locked;
    removeStaleTemporaries(target.folder, target.base);
    // Writing over a file we could not read would throw its contents away.
    Result<std::optional<std::string>> current = readWholeFile(target.path);
    if (!current) return current.status();
    std::string bytes = current->value_or(std::string());
    if (Status writable = refuseReadOnly(target); !writable) return writable;
    if (Status changed = change(bytes); !changed) return changed;
    return replace(target, bytes);
}

}  // namespace pellandor

#include "platform/atomic_file.h"
#include "platform/atomic_file_steps.h"

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

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + static_cast<std::int64_t>(t.tv_nsec);
    };
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modified = nanoseconds(info.st_mtim);
    stamp.changed = nanoseconds(info.st_ctim);
    stamp.identity = static_cast<std::uint64_t>(info.st_ino) ^ (static_cast<std::uint64_t>(info.st_dev) << 40);
    return stamp;
}

namespace save_steps {

class FileReader final {
public:
    UniqueFd fd;
    std::size_t size = 0;
};

void FileReaderClose::operator()(FileReader* reader) const {
    delete reader;
}

Result<OpenFileReader> openForReading(const std::string& path) {
    OpenFileReader reader(new FileReader);
    reader->fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!reader->fd.isOpen()) {
        if (errno == ENOENT || errno == ENOTDIR) return OpenFileReader();
        return failure(errnoText("cannot open", path, errno));
    }
    struct stat st {};
    if (::fstat(reader->fd.get(), &st) != 0) return failure(errnoText("cannot inspect", path, errno));
    if (!S_ISREG(st.st_mode)) return failure("not a regular file: \"" + path + "\"");
    if (static_cast<unsigned long long>(st.st_size) > kMaxIniFileSize) {
        return failure("file too large: \"" + path + "\" (" + std::to_string(st.st_size) + " bytes, at most " +
                       std::to_string(kMaxIniFileSize) + ")");
    }
    reader->size = static_cast<std::size_t>(st.st_size);
    return reader;
}

std::size_t openedSize(const FileReader& reader) {
    return reader.size;
}

Result<std::size_t> readSome(FileReader& reader, const std::string& path, char* into, std::size_t room) {
    for (;;) {
        const ssize_t n = ::read(reader.fd.get(), into, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return failure(errnoText("cannot read", path, errno));
    }
}

// Held for one read-change-write; released when the descriptor closes.
class WriterLock final {
public:
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

void WriterLockRelease::operator()(WriterLock* lock) const {
    delete lock;
}

Result<HeldWriterLock> lockWriters(const Target& target, int waitMs) {
    HeldWriterLock lock(new WriterLock);
    if (Status locked = lock->acquire(target.folder, target.base, waitMs); !locked)
        return failure(locked.error(), locked.code());
    return lock;
}

void removeStaleTemporaries(const Target& target) {
    DIR* dir = ::opendir(target.folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = "." + target.base + ".";
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

Result<Target> prepareTarget(const std::string& path) {
    if (path.empty()) return failure("no file name given");
    Target target;
    target.path = resolveTarget(path);
    target.folder = parentOf(target.path);
    const std::size_t slash = target.path.rfind('/');
    target.base = slash == std::string::npos ? target.path : target.path.substr(slash + 1);
    if (Status made = makeFolders(target.folder); !made) return failure(made.error());
    return target;
}

// No write permission at all: the user made the file read-only.
Status refuseReadOnly(const Target& target) {
    struct stat st {};
    if (::stat(target.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    if ((st.st_mode & 0222) != 0 && ::access(target.path.c_str(), W_OK) == 0) return {};
    return failure("cannot replace \"" + target.path + "\": the file is read-only");
}

Status replace(const Target& target, std::string_view bytes) {
    std::string temp = target.folder + "/." + target.base + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.isOpen()) return failure(errnoText("cannot create a temporary file in", target.folder, errno));
    Status written;
    if (::fchmod(fd.get(), 0600) != 0) {
        written = failure(errnoText("cannot set the mode of", temp, errno));
    } else if (!writeAll(fd.get(), bytes)) {
        written = failure(errnoText("cannot write", temp, errno));
    } else if (::fsync(fd.get()) != 0) {
        written = failure(errnoText("cannot flush", temp, errno));
    }
    if (::close(fd.release()) != 0 && written) written = failure(errnoText("cannot close", temp, errno));
    if (written && ::rename(temp.c_str(), target.path.c_str()) != 0) {
        written = failure(errnoText("cannot replace", target.path, errno));
    }
    if (!written) {
        ::unlink(temp.c_str());
        return written;
    }
    // Makes the rename itself survive a power cut.
    UniqueFd dir(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isOpen()) ::fsync(dir.get());
    return {};
}

}  // namespace save_steps

}  // namespace pellandor

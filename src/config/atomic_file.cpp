#include "config/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pellandor {

namespace {

std::string ErrnoText(const char* what, const std::string& path, int err) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

class FdOwner {
public:
    explicit FdOwner(int fd) : fd_(fd) {}
    ~FdOwner() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdOwner(const FdOwner&) = delete;
    FdOwner& operator=(const FdOwner&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool MakeFolders(const std::string& folder, std::string& error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = "not a folder: \"" + folder + "\"";
        return false;
    }
    const std::string parent = ParentOf(folder);
    if (parent != folder && !MakeFolders(parent, error)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = ErrnoText("cannot create folder", folder, errno);
        return false;
    }
    return true;
}

std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(PATH_MAX + 1, '\0');
    if (::realpath(path.c_str(), target.data()) != nullptr) return target.data();
    // A dangling link: read where it points and create that file.
    const ssize_t n = ::readlink(path.c_str(), target.data(), PATH_MAX);
    if (n <= 0) return path;
    std::string link(target.data(), static_cast<std::size_t>(n));
    if (link.front() != '/') link = ParentOf(path) + "/" + link;
    return link;
}

bool WriteAll(int fd, std::string_view bytes) {
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

FileReadStatus ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    bytes.clear();
    FdOwner fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return FileReadStatus::Missing;
        error = ErrnoText("cannot open", path, errno);
        return FileReadStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = ErrnoText("cannot inspect", path, errno);
        return FileReadStatus::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file: \"" + path + "\"";
        return FileReadStatus::Failed;
    }
    if (static_cast<unsigned long long>(st.st_size) > kMaxIniFileSize) {
        error = "file too large: \"" + path + "\"";
        return FileReadStatus::Failed;
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = ErrnoText("cannot read", path, errno);
            bytes.clear();
            return FileReadStatus::Failed;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxIniFileSize) {
            error = "file too large: \"" + path + "\"";
            bytes.clear();
            return FileReadStatus::Failed;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return FileReadStatus::Ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    const std::string target = ResolveTarget(path);
    const std::string folder = ParentOf(target);
    if (!MakeFolders(folder, error)) return false;

    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    FdOwner fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        error = ErrnoText("cannot create a temporary file in", folder, errno);
        return false;
    }

    struct stat old {};
    const bool keepMode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    bool ok = !keepMode || ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    if (!ok) error = ErrnoText("cannot set the mode of", temp, errno);
    if (ok && !WriteAll(fd.get(), bytes)) {
        error = ErrnoText("cannot write", temp, errno);
        ok = false;
    }
    if (ok && ::fsync(fd.get()) != 0) {
        error = ErrnoText("cannot flush", temp, errno);
        ok = false;
    }
    if (::close(fd.release()) != 0 && ok) {
        error = ErrnoText("cannot close", temp, errno);
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = ErrnoText("cannot replace", target, errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself survive a power cut.
    FdOwner dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

}  // namespace pellandor

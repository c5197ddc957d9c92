#include "platform/atomic_file.h"
#include "platform/atomic_file_steps.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <utility>

namespace pellandor {

namespace {

using win32::errorText;
using win32::widen;

// Closed exactly once.
class Handle final {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    bool isOpen() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (isOpen()) CloseHandle(h_);
        h_ = h;
    }
    bool close() { return isOpen() && CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }

private:
    HANDLE h_;
};

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

// The folder of `path`; "C:\" stays a root, a bare name means the current folder.
std::string parentOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

bool isRoot(const std::string& folder) {
    if (folder.size() == 1 && isSeparator(folder[0])) return true;
    return folder.size() >= 2 && folder.size() <= 3 && folder[1] == ':';
}

Status makeFolders(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(widen(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
        return failure("not a folder: \"" + folder + "\"");
    }
    if (isRoot(folder)) return {};
    const std::string parent = parentOf(folder);
    if (parent != folder && parent != ".") {
        if (Status made = makeFolders(parent); !made) return made;
    }
    if (!CreateDirectoryW(widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return failure(errorText("cannot create folder", folder, GetLastError()));
    }
    return {};
}

constexpr std::size_t kTemporarySuffix = 6;

bool isTemporarySuffix(std::string_view suffix) {
    return suffix.size() == kTemporarySuffix && std::all_of(suffix.begin(), suffix.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

std::string randomSuffix() {
    static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(kTemporarySuffix, '0');
    for (char& c : suffix) c = kAlphabet[pick(generator)];
    return suffix;
}

}  // namespace

std::optional<FileStamp> fileStamp(const std::string& path) {
    // Attributes by name: no handle is opened.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    FileStamp stamp;
    stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modified = ticks(data.ftLastWriteTime);
    stamp.changed = ticks(data.ftCreationTime);
    return stamp;
}

namespace save_steps {

class FileReader final {
public:
    Handle file;
    std::size_t size = 0;
};

void FileReaderClose::operator()(FileReader* reader) const {
    delete reader;
}

Result<OpenFileReader> openForReading(const std::string& path) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return OpenFileReader();
        return failure(errorText("cannot open", path, code));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return failure("not a regular file: \"" + path + "\"");
    OpenFileReader reader(new FileReader);
    // Other programs may go on reading, writing or replacing it meanwhile.
    reader->file.reset(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!reader->file.isOpen()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return OpenFileReader();
        return failure(errorText("cannot open", path, code));
    }
    // A pipe or a device is never read, so nothing blocks.
    if (GetFileType(reader->file.get()) != FILE_TYPE_DISK) return failure("not a regular file: \"" + path + "\"");
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(reader->file.get(), &length)) return failure(errorText("cannot inspect", path, GetLastError()));
    if (static_cast<unsigned long long>(length.QuadPart) > kMaxIniFileSize) {
        return failure("file too large: \"" + path + "\" (" + std::to_string(length.QuadPart) + " bytes, at most " +
                       std::to_string(kMaxIniFileSize) + ")");
    }
    reader->size = static_cast<std::size_t>(length.QuadPart);
    return reader;
}

std::size_t openedSize(const FileReader& reader) {
    return reader.size;
}

Result<std::size_t> readSome(FileReader& reader, const std::string& path, char* into, std::size_t room) {
    DWORD n = 0;
    if (!ReadFile(reader.file.get(), into, static_cast<DWORD>(std::min<std::size_t>(room, 1u << 20)), &n, nullptr)) {
        return failure(errorText("cannot read", path, GetLastError()));
    }
    return static_cast<std::size_t>(n);
}

// Held for one read-change-write, across processes; released with the handle.
class WriterLock final {
public:
    Status acquire(const std::string& folder, const std::string& base, int lockWaitMs) {
        const std::string path = folder + "\\." + base + ".lock";
        file_.reset(CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!file_.isOpen()) return failure(errorText("cannot open the lock file", path, GetLastError()));
        const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (lockWaitMs < 0 ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(lockWaitMs < 0 ? 0 : lockWaitMs);
        for (;;) {
            OVERLAPPED whole{};
            if (LockFileEx(file_.get(), flags, 0, MAXDWORD, MAXDWORD, &whole)) return {};
            const DWORD code = GetLastError();
            if (lockWaitMs < 0 || code != ERROR_LOCK_VIOLATION) return failure(errorText("cannot lock", path, code));
            if (GetTickCount64() >= deadline) {
                return failure("another program is saving \"" + path + "\"", ErrorCode::Busy);
            }
            Sleep(10);
        }
    }

private:
    Handle file_;
};

void WriterLockRelease::operator()(WriterLock* lock) const {
    delete lock;
}

Result<HeldWriterLock> lockWriters(const Target& target, int waitMs) {
    HeldWriterLock lock(new WriterLock);
    if (Status locked = lock->acquire(target.folder, target.base, waitMs); !locked) {
        return failure(locked.error(), locked.code());
    }
    return lock;
}

void removeStaleTemporaries(const Target& target) {
    const std::string prefix = "." + target.base + ".";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(target.folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = win32::narrow(found.cFileName);
        if (name.size() == prefix.size() + kTemporarySuffix && name.compare(0, prefix.size(), prefix) == 0 &&
            isTemporarySuffix(std::string_view(name).substr(prefix.size()))) {
            DeleteFileW(widen(target.folder + "\\" + name).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

Result<Target> prepareTarget(const std::string& path) {
    if (path.empty()) return failure("no file name given");
    Target target;
    target.path = path;
    target.folder = parentOf(path);
    const std::size_t slash = lastSeparator(path);
    target.base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (Status made = makeFolders(target.folder); !made) return failure(made.error());
    return target;
}

// A file marked read-only was made so on purpose.
Status refuseReadOnly(const Target& target) {
    const DWORD attributes = GetFileAttributesW(widen(target.path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return {};
    return failure("cannot replace \"" + target.path + "\": the file is read-only");
}

Status replace(const Target& target, std::string_view bytes) {
    std::string temp;
    Handle file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        temp = target.folder + "\\." + target.base + "." + randomSuffix();
        file.reset(
            CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.isOpen() && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file.isOpen()) return failure(errorText("cannot create a temporary file in", target.folder, GetLastError()));
    Status written;
    while (written && !bytes.empty()) {
        DWORD count = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(file.get(), bytes.data(), chunk, &count, nullptr) || count == 0) {
            written = failure(errorText("cannot write", temp, GetLastError()));
        }
        bytes.remove_prefix(count);
    }
    if (written && !FlushFileBuffers(file.get())) written = failure(errorText("cannot flush", temp, GetLastError()));
    if (!file.close() && written) written = failure(errorText("cannot close", temp, GetLastError()));
    // C rename() refuses an existing target on Windows; this replaces it in
    // one step and returns only once the move is on disk.
    if (written && !MoveFileExW(widen(temp).c_str(), widen(target.path).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = failure(errorText("cannot replace", target.path, GetLastError()));
    }
    if (!written) DeleteFileW(widen(temp).c_str());
    return written;
}

}  // namespace save_steps

}  // namespace pellandor

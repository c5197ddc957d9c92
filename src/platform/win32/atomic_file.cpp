#include "platform/atomic_file.h"

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

Status openForReading(const std::string& path, Handle& file, unsigned long long& size) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return failure(
            errorText("cannot open", path, code),
            code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ErrorCode::NotFound : ErrorCode::Failed);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return failure("not a regular file: \"" + path + "\"");
    }
    // Other programs may go on reading, writing or replacing it meanwhile.
    file.reset(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen()) {
        const DWORD code = GetLastError();
        return failure(
            errorText("cannot open", path, code),
            code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ErrorCode::NotFound : ErrorCode::Failed);
    }
    // A pipe or a device is never read, so nothing blocks.
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return failure("not a regular file: \"" + path + "\"");
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length)) {
        return failure(errorText("cannot inspect", path, GetLastError()));
    }
    if (static_cast<unsigned long long>(length.QuadPart) > kMaxIniFileSize) {
        return failure("file too large: \"" + path + "\" (" + std::to_string(length.QuadPart) + " bytes, at most " +
                       std::to_string(kMaxIniFileSize) + ")");
    }
    size = static_cast<unsigned long long>(length.QuadPart);
    return {};
}

// Held for one read-change-write, across processes; released with the handle.
class WriterLock final {
public:
    // lockWaitMs < 0 waits as long as it takes; otherwise Busy once it runs out.
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

constexpr std::size_t kTemporarySuffix = 6;

bool isTemporarySuffix(std::string_view suffix) {
    return suffix.size() == kTemporarySuffix && std::all_of(suffix.begin(), suffix.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

// Temporary files of this target that exist while we hold the lock belong to
// saves that died before their rename.
void removeStaleTemporaries(const std::string& folder, const std::string& base) {
    const std::string prefix = "." + base + ".";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = win32::narrow(found.cFileName);
        if (name.size() == prefix.size() + kTemporarySuffix && name.compare(0, prefix.size(), prefix) == 0 &&
            isTemporarySuffix(std::string_view(name).substr(prefix.size()))) {
            DeleteFileW(widen(folder + "\\" + name).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

struct Target {
    std::string path;
    std::string folder;
    std::string base;
};

Result<Target> prepareTarget(const std::string& path) {
    Target target;
    if (path.empty()) {
        return failure("no file name given");
    }
    target.path = path;
    target.folder = parentOf(path);
    const std::size_t slash = lastSeparator(path);
    target.base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (Status made = makeFolders(target.folder); !made) return failure(made.error(), made.code());
    return target;
}

// A file marked read-only was made so on purpose.
Status refuseReadOnly(const Target& target) {
    const DWORD attributes = GetFileAttributesW(widen(target.path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return {};
    return failure("cannot replace \"" + target.path + "\": the file is read-only");
}

std::string randomSuffix() {
    static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(kTemporarySuffix, '0');
    for (char& c : suffix) c = kAlphabet[pick(generator)];
    return suffix;
}

// The temporary file, its flush and the move over the target; the caller
// holds the lock.
Status replace(const Target& target, std::string_view bytes) {
    std::string error;
    std::string temp;
    Handle file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        temp = target.folder + "\\." + target.base + "." + randomSuffix();
        file.reset(
            CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.isOpen() && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file.isOpen()) return failure(errorText("cannot create a temporary file in", target.folder, GetLastError()));
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            error = errorText("cannot write", temp, GetLastError());
            ok = false;
        }
        bytes.remove_prefix(written);
    }
    if (ok && !FlushFileBuffers(file.get())) {
        error = errorText("cannot flush", temp, GetLastError());
        ok = false;
    }
    if (!file.close() && ok) {
        error = errorText("cannot close", temp, GetLastError());
        ok = false;
    }
    // C rename() refuses an existing target on Windows; this replaces it in
    // one step and returns only once the move is on disk.
    if (ok && !MoveFileExW(widen(temp).c_str(), widen(target.path).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = errorText("cannot replace", target.path, GetLastError());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(widen(temp).c_str());
        return failure(error);
    }
    return {};
}

}  // namespace

Status checkReadableFile(const std::string& path) {
    Handle file;
    unsigned long long size = 0;
    Status opened = openForReading(path, file, size);
    if (!opened && opened.code() == ErrorCode::NotFound) return {};
    return opened;
}

Result<std::optional<std::string>> readWholeFile(const std::string& path) {
    Handle file;
    unsigned long long size = 0;
    if (Status opened = openForReading(path, file, size); !opened) {
        if (opened.code() == ErrorCode::NotFound) return std::optional<std::string>();
        return failure(opened.error());
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t filled = 0;
    char chunk[4096];
    for (;;) {
        // Once the expected size is in, a small read tells whether the file grew.
        const bool full = filled == bytes.size();
        char* into = full ? chunk : bytes.data() + filled;
        const DWORD room =
            static_cast<DWORD>(std::min<std::size_t>(full ? sizeof chunk : bytes.size() - filled, 1u << 20));
        DWORD n = 0;
        if (!ReadFile(file.get(), into, room, &n, nullptr))
            return failure(errorText("cannot read", path, GetLastError()));
        if (n == 0) break;
        if (full) {
            if (filled + n > kMaxIniFileSize) return failure("file too large: \"" + path + "\"");
            bytes.append(chunk, n);
        }
        filled += n;
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

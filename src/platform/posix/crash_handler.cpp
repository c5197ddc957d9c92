#include "platform/crash_handler.h"

#include "platform/paths.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pellandor {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t kPathCapacity = PATH_MAX + 256;
constexpr std::size_t kAltStackSize = 256 * 1024;

// Everything the handler needs, prepared before any crash.
struct HandlerState {
    char title[128] = {};
    char folder[kPathCapacity] = {};
    char fallbackFolder[kPathCapacity] = {};
    bool makeFolder = false;  // create `folder` (and its parents) at the crash
    char noticeProgram[kPathCapacity] = {};
    bool notice = false;
    char path[kPathCapacity] = {};  // filled by the handler
    posix_spawnattr_t spawnAttributes{};
    posix_spawn_file_actions_t spawnActions{};
};

HandlerState g_state;
std::atomic<long> g_utcOffset{0};
std::atomic<pid_t> g_handlingThread{0};
std::atomic<bool> g_installed{false};

// --- async-signal-safe text building ---

class Text final {
public:
    Text(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) { buffer_[0] = '\0'; }
    Text& add(const char* s) {
        while (*s != '\0' && length_ + 1 < capacity_) buffer_[length_++] = *s++;
        buffer_[length_] = '\0';
        return *this;
    }
    Text& number(unsigned long long value, int width = 0) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && n < 23);
        while (n < width && n < 23) digits[n++] = '0';
        while (n > 0 && length_ + 1 < capacity_) buffer_[length_++] = digits[--n];
        buffer_[length_] = '\0';
        return *this;
    }
    Text& signedNumber(long long value) {
        if (value < 0) {
            add("-");
            return number(static_cast<unsigned long long>(-(value + 1)) + 1);
        }
        return number(static_cast<unsigned long long>(value));
    }
    Text& hex(unsigned long long value) {
        static const char kDigits[] = "0123456789abcdef";
        char digits[20];
        int n = 0;
        do {
            digits[n++] = kDigits[value & 0xF];
            value >>= 4;
        } while (value != 0 && n < 19);
        add("0x");
        while (n > 0 && length_ + 1 < capacity_) buffer_[length_++] = digits[--n];
        buffer_[length_] = '\0';
        return *this;
    }
    bool full() const { return length_ + 1 >= capacity_; }
    const char* data() const { return buffer_; }
    std::size_t size() const { return length_; }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeText(int fd, const Text& text) {
    return writeAll(fd, text.data(), text.size());
}

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

// `sequence` above 1 tells apart crashes within the same second: " (2)", ...
void formatName(Text& out, const char* folder, const char* title, const CivilTime& t, unsigned sequence = 1) {
    out.add(folder).add("/").add(title).add("_Err_");
    out.number(static_cast<unsigned long long>(t.year), 4).add("-").number(t.month, 2).add("-").number(t.day, 2);
    out.add(" ").number(t.hour, 2).add("_").number(t.minute, 2).add("_").number(t.second, 2);
    if (sequence > 1) out.add(" (").number(sequence).add(")");
    out.add(".DMP");
}

// mkdir -p with async-signal-safe calls only.
void makeFoldersNow(const char* folder) {
    char path[kPathCapacity];
    std::size_t length = 0;
    while (folder[length] != '\0' && length + 1 < sizeof path) {
        path[length] = folder[length];
        ++length;
    }
    path[length] = '\0';
    for (std::size_t i = 1; i <= length; ++i) {
        if (path[i] != '/' && path[i] != '\0') continue;
        const char kept = path[i];
        path[i] = '\0';
        ::mkdir(path, 0700);
        path[i] = kept;
    }
}

// The sender of a signal that did not come from a fault: a kill, raise or
// abort. Its address field holds no address then.
bool isSentSignal(const siginfo_t* info) {
    return info != nullptr && info->si_code <= 0;
}

void addSender(Text& out, const siginfo_t* info) {
    out.add("\nSent by: ");
    if (info->si_pid == ::getpid()) {
        out.add("this process itself (abort, raise or kill)");
    } else {
        out.add("process ").number(static_cast<unsigned>(info->si_pid));
        // Its name, while it still runs.
        char commPath[64];
        Text name(commPath, sizeof commPath);
        name.add("/proc/").number(static_cast<unsigned>(info->si_pid)).add("/comm");
        const int fd = ::open(commPath, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            char comm[32];
            const ssize_t n = ::read(fd, comm, sizeof comm - 1);
            ::close(fd);
            if (n > 0) {
                comm[n] = '\0';
                if (comm[n - 1] == '\n') comm[n - 1] = '\0';
                out.add(" (").add(comm).add(")");
            }
        }
    }
    out.add(", user ").number(static_cast<unsigned>(info->si_uid)).add(", with kill() or a like call");
}

bool copyMaps(int fd) {
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) return false;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(maps, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (!writeAll(fd, buffer, static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(maps);
    return ok;
}

bool writeReport(int fd, int sig, const siginfo_t* info, pid_t tid, const CivilTime& t) {
    char line[768];
    Text head(line, sizeof line);
    head.add(g_state.title).add(" crashed\nSignal: ").number(static_cast<unsigned>(sig)).add(" (");
    head.add(signalName(sig)).add("), code ").signedNumber(info != nullptr ? info->si_code : 0);
    if (isSentSignal(info)) {
        addSender(head, info);
    } else {
        head.add("\nAddress: ").hex(info != nullptr ? reinterpret_cast<unsigned long long>(info->si_addr) : 0);
    }
    head.add("\nProcess: ")
        .number(static_cast<unsigned>(::getpid()))
        .add(", thread ")
        .number(static_cast<unsigned>(tid));
    head.add("\nLocal time: ").number(static_cast<unsigned>(t.year), 4).add("-").number(t.month, 2).add("-");
    head.add("").number(t.day, 2).add(" ").number(t.hour, 2).add(":").number(t.minute, 2).add(":").number(t.second, 2);
    head.add("\n\nBacktrace:\n");
    if (!writeText(fd, head)) return false;
    void* frames[128];
    const int count = ::backtrace(frames, 128);
    ::backtrace_symbols_fd(frames, count, fd);
    static const char kMaps[] = "\nMemory map:\n";
    if (!writeAll(fd, kMaps, sizeof kMaps - 1)) return false;
    return copyMaps(fd);
}

// Opens the crash file in the first folder that takes it; -1 when none does.
int openCrashFile(const CivilTime& t) {
    constexpr unsigned kMaxSequence = 1000;
    if (g_state.makeFolder) makeFoldersNow(g_state.folder);
    for (const char* folder : {g_state.folder, g_state.fallbackFolder}) {
        if (folder[0] == '\0') continue;
        // Never over an earlier report: crashes within one second (several
        // processes, or a crash loop) each get a file of their own.
        for (unsigned sequence = 1; sequence <= kMaxSequence; ++sequence) {
            Text path(g_state.path, sizeof g_state.path);
            formatName(path, folder, g_state.title, t, sequence);
            if (path.full()) break;
            const int fd = ::open(g_state.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd >= 0) return fd;
            if (errno != EEXIST) break;
        }
    }
    g_state.path[0] = '\0';
    return -1;
}

void spawnNotice(bool written) {
    if (!g_state.notice) return;
    char noticeFlag[] = "--crash-notice";
    char failedFlag[] = "--crash-notice-failed";
    char* argv[4] = {g_state.noticeProgram, written ? noticeFlag : failedFlag, written ? g_state.path : nullptr,
                     nullptr};
    pid_t child = 0;
    // posix_spawn runs no fork handlers, so a lock held by the failed thread
    // (malloc's, say) cannot block it; attributes were prepared at install.
    ::posix_spawn(&child, g_state.noticeProgram, &g_state.spawnActions, &g_state.spawnAttributes, argv, environ);
}

void tellStderr(int sig, bool written) {
    char line[kPathCapacity + 256];
    Text text(line, sizeof line);
    text.add(g_state.title).add(" crashed (").add(signalName(sig)).add("). ");
    if (written) {
        text.add("Crash file: ").add(g_state.path).add("\n");
    } else {
        text.add("No crash file could be written.\n");
    }
    writeText(STDERR_FILENO, text);
}

void endWithDefaultAction(int sig, pid_t tid) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    // Pending until the handler returns; the default action then ends the
    // process with this signal (and a core dump where the system makes one).
    ::syscall(SYS_tgkill, ::getpid(), tid, sig);
}

void onFatalSignal(int sig, siginfo_t* info, void*) {
    const int savedErrno = errno;
    const auto tid = static_cast<pid_t>(::syscall(SYS_gettid));
    pid_t expected = 0;
    if (!g_handlingThread.compare_exchange_strong(expected, tid)) {
        if (expected == tid) {
            // The report itself failed: give up on it.
            endWithDefaultAction(sig, tid);
            return;
        }
        // Another thread is reporting and will end the process.
        for (;;) ::pause();
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const CivilTime t = civilFromSeconds(static_cast<long long>(now.tv_sec) + g_utcOffset.load());
    bool written = false;
    const int fd = openCrashFile(t);
    if (fd >= 0) {
        written = writeReport(fd, sig, info, tid, t);
        ::close(fd);
        if (!written) {
            ::unlink(g_state.path);  // a torn file would only mislead
            g_state.path[0] = '\0';
        }
    }
    tellStderr(sig, written);
    spawnNotice(written);
    endWithDefaultAction(sig, tid);
    errno = savedErrno;
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string defaultStateFolder() {
    const std::string state = xdgBaseFolder("XDG_STATE_HOME", ".local/state");
    return state.empty() ? state : state + "/pellandor";
}

bool copyInto(char* target, std::size_t capacity, const std::string& text) {
    if (text.size() + 1 > capacity) {
        target[0] = '\0';
        return false;
    }
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

// One per thread that asked for it; switched off before its memory goes.
// Mapped rather than allocated: the pages cost nothing until a crash uses
// them, where zeroing 256 KiB up front showed in every short command's time.
class AltStack final {
public:
    ~AltStack() {
        if (memory_ == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        ::munmap(memory_, kAltStackSize);
    }
    bool install() {
        if (memory_ != nullptr) return true;
        void* memory = ::mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return false;
        stack_t stack{};
        stack.ss_sp = memory;
        stack.ss_size = kAltStackSize;
        if (::sigaltstack(&stack, nullptr) != 0) {
            ::munmap(memory, kAltStackSize);
            return false;
        }
        memory_ = memory;
        return true;
    }

private:
    void* memory_ = nullptr;
};

thread_local AltStack t_altStack;

bool installAltStack() {
    return t_altStack.install();
}

// Bounded by a limit the compiler cannot know, so it is no infinite recursion
// to it; each frame holds a page, so the stack runs out long before.
volatile std::size_t g_recursionLimit = static_cast<std::size_t>(-1);

[[gnu::noinline]] std::size_t useStack(std::size_t depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth >= g_recursionLimit) return frame[0];
    return useStack(depth + 1) + static_cast<std::size_t>(frame[0]);
}

[[noreturn]] void faultHere() {
    // Through a volatile pointer, so the compiler cannot turn the write into a trap.
    static int* volatile nowhere = nullptr;
    *nowhere = 1;
    std::abort();
}

}  // namespace

CivilTime civilFromSeconds(long long seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 1970-01-01 -> proleptic Gregorian date (era arithmetic).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    t.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    t.year = static_cast<int>(yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest % 3600 / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::string crashFileName(std::string_view title, const CivilTime& time, unsigned sequence) {
    std::string titleText(title);
    std::vector<char> buffer(titleText.size() + 80);
    Text text(buffer.data(), buffer.size());
    formatName(text, "", titleText.c_str(), time, sequence);
    return std::string(text.data() + 1);  // without the folder's "/"
}

void updateCrashTimeZone() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) != nullptr) g_utcOffset.store(local.tm_gmtoff);
}

bool installCrashStackForThisThread() {
    return installAltStack();
}

bool installCrashHandler(const CrashHandlerOptions& options) {
    if (g_installed.exchange(true)) return true;
    updateCrashTimeZone();

    const std::string program = options.programPath.empty() ? programPath() : options.programPath;
    std::string folder = options.folder;
    std::string fallback;
    if (folder.empty()) {
        // The user's state folder, also for a build tree; the program's
        // folder only when there is no home or the state folder fails.
        const std::string state = options.stateFolder.empty() ? defaultStateFolder() : options.stateFolder;
        const std::size_t slash = program.rfind('/');
        const std::string programFolder = slash == std::string::npos ? std::string() : program.substr(0, slash);
        const bool programFolderWritable = !programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0;
        if (!state.empty()) {
            folder = state;
            // Made by the crash itself: a run that never crashes leaves no empty folder behind.
            g_state.makeFolder = true;
            if (programFolderWritable) fallback = programFolder;
        } else if (programFolderWritable) {
            folder = programFolder;
        }
    }
    copyInto(g_state.title, sizeof g_state.title, options.productTitle);
    copyInto(g_state.folder, sizeof g_state.folder, folder);
    copyInto(g_state.fallbackFolder, sizeof g_state.fallbackFolder, fallback);

    const std::string noticeChoice = env("PELLANDOR_CRASH_NOTICE");
    const std::string noticeProgram = noticeChoice.empty() ? program : noticeChoice;
    g_state.notice = noticeChoice != "off" &&
                     copyInto(g_state.noticeProgram, sizeof g_state.noticeProgram, noticeProgram) &&
                     !noticeProgram.empty();
    if (g_state.notice) {
        ::posix_spawnattr_init(&g_state.spawnAttributes);
        // Its own session, default signal handling and an empty mask: the
        // notice must outlive the crashed process and behave normally.
        sigset_t all;
        sigfillset(&all);
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigdefault(&g_state.spawnAttributes, &all);
        ::posix_spawnattr_setsigmask(&g_state.spawnAttributes, &none);
        ::posix_spawnattr_setflags(&g_state.spawnAttributes,
                                   POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
        ::posix_spawn_file_actions_init(&g_state.spawnActions);
        ::posix_spawn_file_actions_addclosefrom_np(&g_state.spawnActions, 3);
    }

    // backtrace() loads its unwinder on first use, which allocates: do it now.
    void* warmUp[4];
    ::backtrace(warmUp, 4);

    const bool stack = installAltStack();
    bool handlers = true;
    for (int sig : kSignals) {
        struct sigaction action {};
        action.sa_sigaction = onFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        handlers = ::sigaction(sig, &action, nullptr) == 0 && handlers;
    }
    return stack && handlers;
}

std::string crashFolder() {
    return g_state.folder;
}

std::optional<std::string> crashTestSite(int argc, char** argv) {
    constexpr std::string_view kFlag = "--crash-test=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (arg.substr(0, kFlag.size()) == kFlag) return std::string(arg.substr(kFlag.size()));
    }
    return std::nullopt;
}

bool crashOnPurpose(std::string_view site) {
    if (site == "gui") faultHere();
    if (site == "stack") {
        useStack(0);
        std::abort();  // not reached
    }
    if (site == "worker") {
        std::thread worker([] { faultHere(); });
        worker.join();
        return true;  // not reached
    }
    return false;
}

}  // namespace pellandor

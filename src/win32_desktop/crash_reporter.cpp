#include "win32_desktop/crash_reporter.h"

#include "config/settings_model.h"
#include "platform/paths.h"
#include "platform/win32/wide_text.h"

#include <dbghelp.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <thread>

namespace pellandor {

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// How long a failed process waits for the dump to be written from outside.
constexpr DWORD kDumpWaitMs = 60000;

// Everything the filter uses, made before any crash: the heap may be broken then.
struct Prepared {
    wchar_t program[MAX_PATH * 4] = {};
    wchar_t commandLine[MAX_PATH * 10] = {};
    HANDLE dumped = nullptr;  // set by the writer once the file is closed
};
Prepared prepared;

void copyInto(wchar_t* target, std::size_t size, const std::wstring& text) {
    if (text.size() + 1 > size) return;
    std::wmemcpy(target, text.c_str(), text.size() + 1);
}

std::wstring localAppDataFolder() {
    const wchar_t* value = _wgetenv(L"LOCALAPPDATA");
    if (value == nullptr || *value == L'\0') return {};
    return std::wstring(value) + L"\\pellandor";
}

// Between the failed process and the one writing its dump.
std::wstring dumpedEventName(DWORD processId) {
    return L"Local\\Ulvex Pellandor crash dump " + std::to_wstring(processId);
}

// Creates a new file in `folder`, named for `when`; the folder is made when
// it is missing.
HANDLE createDumpFile(const std::wstring& folder, const SYSTEMTIME& when, std::wstring& path) {
    if (folder.empty()) return INVALID_HANDLE_VALUE;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (unsigned sequence = 1; sequence < 100; ++sequence) {
        path = folder + L"\\" + crashDumpFileName(kProductTitle, when, sequence);
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

// The dump of the failed process `processId`, written from this one:
// dbghelp is never loaded into the tray program, and a process whose heap may
// be broken writes no file. Returns the file, or nothing when none was written.
std::optional<std::wstring> writeDumpOf(DWORD processId, DWORD threadId, std::uintptr_t exception,
                                        const SYSTEMTIME& when) {
    // From the system folder only: a dbghelp.dll planted beside us is not loaded.
    const HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto writeDump = dbghelp == nullptr ? nullptr
                                              : reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(
                                                    GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, processId);
    std::optional<std::wstring> written;
    if (writeDump != nullptr && process != nullptr) {
        for (const std::wstring& folder : {win32::widen(moduleDirectory()), localAppDataFolder()}) {
            std::wstring path;
            const HANDLE file = createDumpFile(folder, when, path);
            if (file == INVALID_HANDLE_VALUE) continue;
            MINIDUMP_EXCEPTION_INFORMATION info{};
            info.ThreadId = threadId;
            info.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(exception);
            info.ClientPointers = TRUE;  // the pointers are the failed process's
            const bool ok = writeDump(process, processId, file, MiniDumpNormal, exception != 0 ? &info : nullptr,
                                      nullptr, nullptr) != FALSE;
            CloseHandle(file);
            if (ok) {
                written = path;
                break;
            }
            // A dump cut short claims nothing; the next folder may take it.
            DeleteFileW(path.c_str());
        }
    }
    if (process != nullptr) CloseHandle(process);
    return written;
}

void showNotice(const std::optional<std::wstring>& dumpFile) {
    std::wstring text;
    if (dumpFile) {
        text = L"Crash dump file is saved at " + *dumpFile + L"!!";
    } else {
        // In the language the user chose, like the program's other messages.
        SettingsModel model(defaultSettingsPath(), languageFilePath());
        (void)model.load();
        text = win32::widen(model.texts().message("AL_NO_CRASH_FILE"));
    }
    const std::wstring title = std::wstring(kProductTitle) + L" is Crashed!!";
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

bool noticeWanted() {
    const wchar_t* notice = _wgetenv(L"PELLANDOR_CRASH_NOTICE");
    return notice == nullptr || std::wcscmp(notice, L"off") != 0;
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* exception) {
    // One report, even when several threads fail at once.
    static volatile LONG entered = 0;
    if (InterlockedExchange(&entered, 1) != 0) {
        Sleep(INFINITE);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    // swprintf allocates nothing.
    std::swprintf(prepared.commandLine, sizeof prepared.commandLine / sizeof(wchar_t),
                  L"\"%ls\" --crash-dump %lu %lu %llx %04u-%02u-%02u-%02u-%02u-%02u", prepared.program,
                  GetCurrentProcessId(), GetCurrentThreadId(),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(exception)), now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION writer{};
    if (prepared.program[0] != L'\0' && CreateProcessW(prepared.program, prepared.commandLine, nullptr, nullptr, FALSE,
                                                       0, nullptr, nullptr, &startup, &writer)) {
        // This process must stay as it failed until its dump is written; the
        // writer then tells the user, after this process has ended.
        const HANDLE waits[] = {prepared.dumped, writer.hProcess};
        if (prepared.dumped != nullptr)
            WaitForMultipleObjects(2, waits, FALSE, kDumpWaitMs);
        else
            WaitForSingleObject(writer.hProcess, kDumpWaitMs);
        CloseHandle(writer.hThread);
        CloseHandle(writer.hProcess);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

// abort() and std::terminate end the process without an exception; turn
// them into one so they are reported too.
void abortHandler(int) {
    RaiseException(0xE0000001, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void failOnThisThread() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

template <typename Number>
bool wholeNumber(const wchar_t* text, int base, Number& value) {
    wchar_t* end = nullptr;
    value = static_cast<Number>(std::wcstoull(text, &end, base));
    return end != text && *end == L'\0';
}

// `--crash-dump PID TID EXCEPTION YYYY-MM-DD-hh-mm-ss`, as crashFilter writes it.
bool runDumpWriterIfAsked(int argc, wchar_t** argv) {
    if (argc < 2 || std::wstring_view(argv[1]) != L"--crash-dump") return false;
    unsigned long processId = 0, threadId = 0;
    unsigned long long exception = 0;
    SYSTEMTIME when{};
    unsigned long fields[6] = {};
    bool parsed = argc == 6 && wholeNumber(argv[2], 10, processId) && wholeNumber(argv[3], 10, threadId) &&
                  wholeNumber(argv[4], 16, exception);
    // YYYY-MM-DD-hh-mm-ss
    const wchar_t* at = parsed ? argv[5] : L"";
    for (int i = 0; parsed && i < 6; ++i) {
        wchar_t* end = nullptr;
        fields[i] = std::wcstoul(at, &end, 10);
        parsed = end != at && *end == (i < 5 ? L'-' : L'\0');
        at = end + (i < 5 ? 1 : 0);
    }
    std::optional<std::wstring> written;
    if (parsed) {
        when.wYear = static_cast<WORD>(fields[0]);
        when.wMonth = static_cast<WORD>(fields[1]);
        when.wDay = static_cast<WORD>(fields[2]);
        when.wHour = static_cast<WORD>(fields[3]);
        when.wMinute = static_cast<WORD>(fields[4]);
        when.wSecond = static_cast<WORD>(fields[5]);
        written = writeDumpOf(processId, threadId, static_cast<std::uintptr_t>(exception), when);
        if (const HANDLE dumped = OpenEventW(EVENT_MODIFY_STATE, FALSE, dumpedEventName(processId).c_str())) {
            SetEvent(dumped);
            CloseHandle(dumped);
        }
    }
    // Said only now, so the message tells the truth about the file.
    if (noticeWanted()) showNotice(written);
    return true;
}

}  // namespace

std::wstring crashDumpFileName(std::wstring_view title, const SYSTEMTIME& t, unsigned sequence) {
    wchar_t stamp[64];
    std::swprintf(stamp, 64, L"_Err_%04u-%02u-%02u %02u_%02u_%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    std::wstring name(title);
    name += stamp;
    if (sequence > 1) name += L" (" + std::to_wstring(sequence) + L")";
    return name + L".DMP";
}

void installCrashReporter() {
    copyInto(prepared.program, std::size(prepared.program), win32::widen(programPath()));
    prepared.dumped = CreateEventW(nullptr, TRUE, FALSE, dumpedEventName(GetCurrentProcessId()).c_str());
    SetUnhandledExceptionFilter(crashFilter);
    std::signal(SIGABRT, abortHandler);
    // No "program has stopped working" box of the system's on top of ours.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
}

bool runCrashNoticeIfAsked(int argc, wchar_t** argv) {
    if (runDumpWriterIfAsked(argc, argv)) return true;
    if (argc < 2) return false;
    const std::wstring what = argv[1];
    if (what != L"--crash-notice" && what != L"--crash-notice-failed") return false;
    showNotice(what == L"--crash-notice" && argc >= 3 ? std::optional<std::wstring>(argv[2]) : std::nullopt);
    return true;
}

std::optional<std::string> crashTestSite(int argc, wchar_t** argv) {
    constexpr std::wstring_view option = L"--crash-test=";
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg.substr(0, option.size()) == option) return win32::narrow(arg.substr(option.size()));
    }
    return std::nullopt;
}

bool failOnPurpose(std::string_view site) {
    if (site == "gui") {
        failOnThisThread();
        return true;
    }
    if (site == "worker") {
        std::thread(failOnThisThread).join();
        return true;
    }
    return false;
}

}  // namespace pellandor

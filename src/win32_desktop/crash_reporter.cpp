#include "win32_desktop/crash_reporter.h"

#include "config/settings_model.h"
#include "platform/paths.h"
#include "platform/win32/wide_text.h"

#include <dbghelp.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <thread>

namespace pellandor {

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Everything the filter uses, made before any crash: the heap may be broken then.
struct Prepared {
    MiniDumpWriteDumpFn writeDump = nullptr;
    wchar_t program[MAX_PATH * 4] = {};
    wchar_t folders[2][MAX_PATH * 4] = {};
    bool notice = true;
    wchar_t path[MAX_PATH * 4 + 64] = {};
    wchar_t commandLine[MAX_PATH * 10] = {};
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

// Creates a new file in `folder`; the folder is made when it is missing.
HANDLE createDumpFile(const wchar_t* folder, const SYSTEMTIME& now) {
    if (folder[0] == L'\0') return INVALID_HANDLE_VALUE;
    CreateDirectoryW(folder, nullptr);
    for (unsigned sequence = 1; sequence < 100; ++sequence) {
        // swprintf allocates nothing; the name's fields are those of crashDumpFileName.
        if (sequence == 1) {
            std::swprintf(prepared.path, sizeof prepared.path / sizeof(wchar_t),
                          L"%ls\\%ls_Err_%04u-%02u-%02u %02u_%02u_%02u.DMP", folder, kProductTitle, now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        } else {
            std::swprintf(prepared.path, sizeof prepared.path / sizeof(wchar_t),
                          L"%ls\\%ls_Err_%04u-%02u-%02u %02u_%02u_%02u (%u).DMP", folder, kProductTitle, now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, sequence);
        }
        const HANDLE file = CreateFileW(prepared.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

void startNotice(bool written) {
    if (!prepared.notice || prepared.program[0] == L'\0') return;
    if (written) {
        std::swprintf(prepared.commandLine, sizeof prepared.commandLine / sizeof(wchar_t),
                      L"\"%ls\" --crash-notice \"%ls\"", prepared.program, prepared.path);
    } else {
        std::swprintf(prepared.commandLine, sizeof prepared.commandLine / sizeof(wchar_t),
                      L"\"%ls\" --crash-notice-failed", prepared.program);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(prepared.program, prepared.commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* exception) {
    // One report, even when several threads fail at once.
    static volatile LONG entered = 0;
    if (InterlockedExchange(&entered, 1) != 0) {
        Sleep(INFINITE);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    bool written = false;
    if (prepared.writeDump != nullptr) {
        for (const wchar_t* folder : prepared.folders) {
            const HANDLE file = createDumpFile(folder, now);
            if (file == INVALID_HANDLE_VALUE) continue;
            MINIDUMP_EXCEPTION_INFORMATION info{};
            info.ThreadId = GetCurrentThreadId();
            info.ExceptionPointers = exception;
            info.ClientPointers = FALSE;
            written = prepared.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                         exception != nullptr ? &info : nullptr, nullptr, nullptr) != FALSE;
            CloseHandle(file);
            if (written) break;
            // A dump cut short claims nothing; the next folder may take it.
            DeleteFileW(prepared.path);
        }
    }
    // Said only now, so the message tells the truth about the file.
    startNotice(written);
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
    // From the system folder only: a dbghelp.dll planted beside us is not loaded.
    if (const HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        prepared.writeDump = reinterpret_cast<MiniDumpWriteDumpFn>(
            reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    }
    const std::wstring program = win32::widen(programPath());
    copyInto(prepared.program, std::size(prepared.program), program);
    copyInto(prepared.folders[0], std::size(prepared.folders[0]), win32::widen(moduleDirectory()));
    copyInto(prepared.folders[1], std::size(prepared.folders[1]), localAppDataFolder());
    const wchar_t* notice = _wgetenv(L"PELLANDOR_CRASH_NOTICE");
    prepared.notice = notice == nullptr || std::wcscmp(notice, L"off") != 0;
    SetUnhandledExceptionFilter(crashFilter);
    std::signal(SIGABRT, abortHandler);
    // No "program has stopped working" box of the system's on top of ours.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
}

bool runCrashNoticeIfAsked(int argc, wchar_t** argv) {
    if (argc < 2) return false;
    const std::wstring what = argv[1];
    if (what != L"--crash-notice" && what != L"--crash-notice-failed") return false;
    std::wstring text;
    if (what == L"--crash-notice" && argc >= 3) {
        text = L"Crash dump file is saved at " + std::wstring(argv[2]) + L"!!";
    } else {
        // In the language the user chose, like the program's other messages.
        SettingsModel model(defaultSettingsPath(), languageFilePath());
        (void)model.load();
        text = win32::widen(model.texts().message("AL_NO_CRASH_FILE"));
    }
    const std::wstring title = std::wstring(kProductTitle) + L" is Crashed!!";
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
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

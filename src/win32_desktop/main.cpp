// pellandor-desktop.exe: the tray program. A second start hands its request
// (show the dialog, a number, a tel: or callto: link) to the running one.
#include "config/settings_model.h"
#include "desktop_logic/desktop_args.h"
#include "platform/paths.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/crash_reporter.h"
#include "win32_desktop/debug_log.h"
#include "win32_desktop/hand_over.h"
#include "win32_desktop/shell_window.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using namespace pellandor;

// A second start waits this long for the first to take its request.
constexpr unsigned kHandOverTimeoutMs = 2000;
// Starts at the same moment take turns, so only one of them becomes the program.
constexpr DWORD kStartTurnWaitMs = 5000;

void showError(const std::string& text) {
    MessageBoxW(nullptr, win32::widen(text).c_str(), kProductTitle, MB_OK | MB_ICONWARNING);
}

class StartTurn {
public:
    StartTurn() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\Ulvex Pellandor start")) {
        if (mutex_ == nullptr) return;
        const DWORD waited = WaitForSingleObject(mutex_, kStartTurnWaitMs);
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~StartTurn() { release(); }
    StartTurn(const StartTurn&) = delete;
    StartTurn& operator=(const StartTurn&) = delete;
    void release() {
        if (held_) ReleaseMutex(mutex_);
        held_ = false;
        if (mutex_ != nullptr) CloseHandle(mutex_);
        mutex_ = nullptr;
    }

private:
    HANDLE mutex_;
    bool held_ = false;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 1;
    // Started by the crash reporter of a failed run; must not install one itself.
    if (runCrashNoticeIfAsked(argc, argv)) return 0;
    installCrashReporter();
    const std::optional<std::string> crashSite = crashTestSite(argc, argv);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg.rfind(L"--crash-test=", 0) == 0) continue;
        args.push_back(win32::narrow(arg));
    }
    LocalFree(argv);

    const DesktopRequest request = classifyCommandLine(args);
    switch (request.kind) {
        case DesktopRequest::Kind::Error:
            showError(request.error);
            return request.exitCode;
        case DesktopRequest::Kind::Cli:
        case DesktopRequest::Kind::Demo:
            showError(
                "pellandor-desktop runs the tray program: with no arguments, \"dial NUMBER\", \"popup\" or a "
                "tel: or callto: link. The other commands are pellandor.exe's.");
            return 1;
        case DesktopRequest::Kind::Desktop:
            break;
    }

    StartTurn turn;
    switch (handOverToRunningInstance(request.line, kHandOverTimeoutMs)) {
        case HandOver::Delivered:
            return 0;
        case HandOver::NoAnswer:
            showError("The running Ulvex Pellandor does not answer.");
            return 3;
        case HandOver::NoInstance:
            break;
    }

    SettingsModel model(request.settings ? *request.settings : defaultSettingsPath(), languageFilePath());
    if (const Status loaded = model.load(); !loaded) debugLog("settings: " + loaded.error());
    ShellWindow shell(instance, model);
    if (!shell.create()) {
        showError("The program's window could not be created: " + win32::errorText(GetLastError()));
        return 1;
    }
    // The window is there: a start that waited now finds it.
    turn.release();
    shell.queueLine(request.line);
    if (crashSite) {
        if (*crashSite != "gui" && *crashSite != "worker") {
            showError("--crash-test takes gui or worker");
            return 1;
        }
        shell.scheduleCrashTest(*crashSite);
    }
    return shell.run();
}

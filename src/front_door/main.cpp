// pellandor: the command line, and a second start handed to the running
// program, both without loading Qt; the desktop program (no command running
// yet, --demo, the crash notice) takes this process's place.
#include "cli/cli.h"
#include "desktop_logic/desktop_args.h"
#include "desktop_logic/instance_channel.h"
#include "platform/console.h"
#include "platform/crash_handler.h"
#include "platform/paths.h"
#include "platform/replace_process.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace pellandor;

// A second start hands its request over this fast, or says why not.
constexpr int kHandOverTimeoutMs = 2000;

// The crash handler starts the desktop program with these itself; they are
// passed on for a user or a test that gives them to `pellandor`.
bool isForDesktopProgram(int argc, char** argv) {
    if (crashTestSite(argc, argv)) return true;
    const std::string first = argc > 1 ? argv[1] : "";
    return first == "--crash-notice" || first == "--crash-notice-failed";
}

// argv[0] stays the user's: X11 names the windows' class after it, and the
// desktop entry and tray hosts know the program as "pellandor".
int startDesktopProgram(const char* name, const std::vector<std::string>& args) {
    const std::string program = desktopProgramPath();
    // A tree built without Qt: the command line explains what it can do.
    if (program.empty()) return runCli(args, std::cout, std::cerr);
    const std::string why = replaceProcess(program, name != nullptr ? name : "pellandor", args);
    std::cerr << "pellandor: cannot start " << program << ": " << why << std::endl;
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    prepareConsoleOutput();
    const std::vector<std::string> args = commandLineArguments(argc, argv);
    if (isForDesktopProgram(argc, argv)) return startDesktopProgram(argv[0], args);

    const DesktopRequest request = classifyCommandLine(args);
    switch (request.kind) {
        case DesktopRequest::Kind::Cli:
            return runCli(args, std::cout, std::cerr);
        case DesktopRequest::Kind::Error:
            if (request.exitCode == kExitUsage) return usageError(std::cerr, request.error);
            std::cerr << "pellandor: " << request.error << std::endl;
            return request.exitCode;
        case DesktopRequest::Kind::Demo:
            return startDesktopProgram(argv[0], args);
        case DesktopRequest::Kind::Desktop:
            break;
    }

    // Without a runtime folder the desktop program says what that means.
    std::string error;
    const std::string instanceDir = instanceRuntimeDir(error);
    if (!instanceDir.empty()) {
        switch (sendToRunningInstance(instanceSocketPath(instanceDir), request.line, kHandOverTimeoutMs)) {
            case InstanceSend::Delivered:
                return kExitOk;
            case InstanceSend::NoAnswer:
                std::cerr << "pellandor: the running Ulvex Pellandor does not answer" << std::endl;
                return kExitFailed;
            case InstanceSend::NoListener:
                break;
        }
    }
    return startDesktopProgram(argv[0], args);
}

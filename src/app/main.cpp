// pellandor-desktop: the tray program, the demo and the crash notice. The
// `pellandor` command (src/front_door) starts it in its own place; started
// directly, it behaves the same.
#include "app/demo.h"
#include "desktop_logic/desktop_args.h"
#include "desktop_logic/instance_channel.h"
#include "platform/crash_handler.h"
#include "platform/display_check.h"
#include "app/tray_program.h"
#include "cli/cli.h"
#include "platform/paths.h"
#include "ui/crash_notice.h"

#include <QApplication>

#include <iostream>

namespace {

// A second start hands its request over this fast, or says why not.
constexpr int kHandOverTimeoutMs = 2000;

// Hidden, for tests: --crash-test=gui|worker crashes once the event loop runs.
int runCrashTest(int argc, char** argv, const std::string& site) {
    using namespace pellandor;
    preferXWayland();
    std::string why;
    if (!displayAvailable(why)) {
        std::cerr << "pellandor: " << why << std::endl;
        return kExitUsage;
    }
    installCrashHandler();
    QApplication app(argc, argv);
    if (!scheduleCrashTest(site)) {
        std::cerr << "pellandor: --crash-test takes gui or worker" << std::endl;
        return kExitUsage;
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pellandor;
    // Started by the crash handler of a failed run; must not install one itself.
    if (isCrashNoticeCall(argc, argv)) return runCrashNotice(argc, argv);
    if (const auto site = crashTestSite(argc, argv)) return runCrashTest(argc, argv, *site);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const DesktopRequest request = classifyCommandLine(args);
    switch (request.kind) {
        case DesktopRequest::Kind::Cli:
            return runCli(args, std::cout, std::cerr);
        case DesktopRequest::Kind::Error:
            if (request.exitCode == kExitUsage) return usageError(std::cerr, request.error);
            std::cerr << "pellandor: " << request.error << std::endl;
            return request.exitCode;
        case DesktopRequest::Kind::Demo:
            installCrashHandler();
            return runDemo(argc, argv);
        case DesktopRequest::Kind::Desktop:
            break;
    }
    installCrashHandler();

    std::string error;
    const std::string instanceDir = instanceRuntimeDir(error);
    if (instanceDir.empty()) {
        std::cerr << "pellandor: " << error << "; a second start will not find this one" << std::endl;
    } else {
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

    preferXWayland();
    std::string why;
    if (!displayAvailable(why)) {
        if (request.line == "show") return usageError(std::cerr, why + "; the commands below work without one");
        std::cerr << "pellandor: " << why << std::endl;
        return kExitUsage;
    }

    QApplication app(argc, argv);
    prepareApplication(app);
    TrayProgramOptions options;
    options.settingsPath = request.settings ? *request.settings : defaultSettingsPath();
    options.instanceDir = QString::fromStdString(instanceDir);
    options.firstLine = request.line;
    return runTrayProgram(app, options);
}

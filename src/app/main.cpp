// pellandor: the desktop program (no command, "dial", a tel:/callto: link,
// --demo); every other command goes to the command line, without Qt.
#include "app/demo.h"
#include "app/desktop_args.h"
#include "app/instance_channel.h"
#include "platform/crash_handler.h"
#include "app/platform/display_check.h"
#include "app/tray_program.h"
#include "cli/cli.h"
#include "config/paths.h"
#include "ui/crash_notice.h"

#include <QApplication>

#include <iostream>

namespace {

// A second start hands its request over this fast, or says why not.
constexpr int kHandOverTimeoutMs = 2000;

// Hidden, for tests: --crash-test=gui|worker crashes once the event loop runs.
int RunCrashTest(int argc, char** argv, const std::string& site) {
    using namespace pellandor;
    PreferXWayland();
    std::string why;
    if (!DisplayAvailable(why)) {
        std::cerr << "pellandor: " << why << std::endl;
        return kExitUsage;
    }
    InstallCrashHandler();
    QApplication app(argc, argv);
    if (!ScheduleCrashTest(site)) {
        std::cerr << "pellandor: --crash-test takes gui or worker" << std::endl;
        return kExitUsage;
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace pellandor;
    // Started by the crash handler of a failed run; must not install one itself.
    if (IsCrashNoticeCall(argc, argv)) return RunCrashNotice(argc, argv);
    if (const auto site = CrashTestSite(argc, argv)) return RunCrashTest(argc, argv, *site);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const DesktopRequest request = ClassifyCommandLine(args);
    switch (request.kind) {
        case DesktopRequest::Kind::Cli:
            return RunCli(args, std::cout, std::cerr);
        case DesktopRequest::Kind::Error:
            if (request.exitCode == kExitUsage) return UsageError(std::cerr, request.error);
            std::cerr << "pellandor: " << request.error << std::endl;
            return request.exitCode;
        case DesktopRequest::Kind::Demo:
            InstallCrashHandler();
            return RunDemo(argc, argv);
        case DesktopRequest::Kind::Desktop:
            break;
    }
    InstallCrashHandler();

    std::string error;
    const std::string instanceDir = InstanceRuntimeDir(error);
    if (instanceDir.empty()) {
        std::cerr << "pellandor: " << error << "; a second start will not find this one" << std::endl;
    } else {
        switch (SendToRunningInstance(InstanceSocketPath(instanceDir), request.line, kHandOverTimeoutMs)) {
            case InstanceSend::Delivered:
                return kExitOk;
            case InstanceSend::NoAnswer:
                std::cerr << "pellandor: the running Ulvex Pellandor does not answer" << std::endl;
                return kExitFailed;
            case InstanceSend::NoListener:
                break;
        }
    }

    PreferXWayland();
    std::string why;
    if (!DisplayAvailable(why)) {
        if (request.line == "show") return UsageError(std::cerr, why + "; the commands below work without one");
        std::cerr << "pellandor: " << why << std::endl;
        return kExitUsage;
    }

    QApplication app(argc, argv);
    PrepareApplication(app);
    TrayProgramOptions options;
    options.settingsPath = request.settings ? *request.settings : DefaultSettingsPath();
    options.instanceDir = QString::fromStdString(instanceDir);
    options.firstLine = request.line;
    return RunTrayProgram(app, options);
}

// pellandor-desktop: the tray program, the demo and the crash notice. The
// `pellandor` command (src/front_door) starts it in its own place; started
// directly, it behaves the same.
#include "app/demo.h"
#include "app/logging.h"
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
#include <string>

namespace {

// A second start hands its request over this fast, or says why not.
constexpr int kHandOverTimeoutMs = 2000;

QString text(const std::string& message) {
    return QString::fromStdString(message);
}

// Hidden, for tests: --crash-test=gui|worker crashes once the event loop runs.
int runCrashTest(int argc, char** argv, const std::string& site) {
    using namespace pellandor;
    preferXWayland();
    if (const Status display = displayAvailable(); !display) {
        qCCritical(lcApp).noquote() << text(display.error());
        return kExitUsage;
    }
    installCrashHandler();
    QApplication app(argc, argv);
    if (!scheduleCrashTest(site)) {
        qCCritical(lcApp) << "--crash-test takes gui or worker";
        return kExitUsage;
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pellandor;
    installMessagePattern();
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
            qCCritical(lcApp).noquote() << text(request.error);
            return request.exitCode;
        case DesktopRequest::Kind::Demo:
            installCrashHandler();
            return runDemo(argc, argv);
        case DesktopRequest::Kind::Desktop:
            break;
    }
    installCrashHandler();

    const Result<std::string> instanceDir = instanceRuntimeDir();
    if (!instanceDir) {
        qCWarning(lcInstance).noquote() << text(instanceDir.error() + "; a second start will not find this one");
    } else {
        switch (sendToRunningInstance(instanceSocketPath(*instanceDir), request.line, kHandOverTimeoutMs)) {
            case InstanceSend::Delivered:
                return kExitOk;
            case InstanceSend::NoAnswer:
                qCCritical(lcInstance) << "the running Ulvex Pellandor does not answer";
                return kExitFailed;
            case InstanceSend::NoListener:
                break;
        }
    }

    preferXWayland();
    if (const Status display = displayAvailable(); !display) {
        if (request.line == "show")
            return usageError(std::cerr, display.error() + "; the commands below work without one");
        qCCritical(lcApp).noquote() << text(display.error());
        return kExitUsage;
    }

    QApplication app(argc, argv);
    prepareApplication(app);
    TrayProgramOptions options;
    options.settingsPath = request.settings ? *request.settings : defaultSettingsPath();
    if (instanceDir) options.instanceDir = QString::fromStdString(*instanceDir);
    options.firstLine = request.line;
    return runTrayProgram(app, options);
}

#include "app/tray_program.h"

#include "app/app_controller.h"
#include "app/app_icon.h"
#include "desktop_logic/instance_channel.h"
#include "app/logging.h"
#include "platform/clipboard_watcher.h"
#include "platform/global_hotkey.h"
#include "app/single_instance.h"
#include "platform/quit_signals.h"
#include "platform/paths.h"
#include "app/settings_file_watcher.h"
#include "config/settings_model.h"
#include "config/settings_access.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace pellandor {

namespace {

// A starting instance holds the lock a moment before it listens.
constexpr int kHandOverWaitMs = 3000;

bool handOverToRunningInstance(const TrayProgramOptions& options) {
    const std::string socket = instanceSocketPath(options.instanceDir.toStdString());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHandOverWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (sendToRunningInstance(socket, options.firstLine, 1000) == InstanceSend::Delivered) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

void prepareApplication(QApplication& app) {
    app.setApplicationName(QStringLiteral("pellandor"));
    app.setApplicationDisplayName(QStringLiteral("Ulvex Pellandor"));
    app.setDesktopFileName(QStringLiteral("pellandor"));
    app.setWindowIcon(appIcon());
    // Lives in the tray: closing the call dialog does not end it.
    app.setQuitOnLastWindowClosed(false);
}

int runTrayProgram(QApplication& app, const TrayProgramOptions& options) {
    installCoreLogSink();
    std::unique_ptr<SingleInstance> instance;
    const Status folder =
        options.instanceDir.isEmpty() ? Status() : makeInstanceRuntimeDir(options.instanceDir.toStdString());
    if (!folder) {
        qCWarning(lcInstance).noquote() << QString::fromStdString(folder.error() +
                                                                  "; a second start will not find this one");
    } else if (!options.instanceDir.isEmpty()) {
        instance = std::make_unique<SingleInstance>(options.instanceDir);
        const Result<SingleInstance::Claim> claimed = instance->claim();
        if (!claimed) {
            qCWarning(lcInstance).noquote()
                << QString::fromStdString(claimed.error() + "; a second start will not find this one");
            instance.reset();
        } else if (*claimed == SingleInstance::Claim::RunningElsewhere) {
            if (handOverToRunningInstance(options)) return 0;
            qCCritical(lcInstance).noquote()
                << "another Ulvex Pellandor holds" << options.instanceDir << "but does not answer";
            return 1;
        }
    }

    const std::string languagePath = languageFilePath();
    SettingsModel model(options.settingsPath, languagePath);
    (void)model.load();
    AppController controller(model, createSessionHotkey(), std::make_unique<DesktopInputs>());
    SettingsFileWatcher watcher(model);
    if (Result<std::unique_ptr<ClipboardWatcher>> wayland = createWaylandClipboardWatcher()) {
        qCInfo(lcClipboard) << "watching the Wayland clipboard (data-control)";
        controller.setClipboardWatcher(std::move(wayland).value());
    } else {
        if (inWaylandSession()) {
            qCWarning(lcClipboard).noquote() << QString::fromStdString(
                wayland.error() +
                "; a number copied in a Wayland program reaches this program only when one of its windows has the "
                "focus. Copy, then press a key bound to \"pellandor popup\".");
        }
        if (Result<std::unique_ptr<ClipboardWatcher>> x11 = createX11ClipboardWatcher())
            controller.setClipboardWatcher(std::move(x11).value());
        else
            qCDebug(lcClipboard) << "clipboard read through Qt:" << x11.error().c_str();
    }
    if (instance)
        QObject::connect(instance.get(), &SingleInstance::lineReceived, &controller,
                         &AppController::handleInstanceLine);
    QuitSignals unixSignals;
    // exit(), not quit(): quit() first asks every window to close, and the
    // call dialog refuses (it hides instead), which would cancel the quit.
    QObject::connect(&unixSignals, &QuitSignals::received, &app, [](int number) {
        qCInfo(lcApp) << "signal" << number << "received; ending";
        QCoreApplication::exit(0);
    });
    QObject::connect(&controller, &AppController::exitRequested, &app, [] { QCoreApplication::exit(0); });

    controller.start(true);
    if (options.onStarted) options.onStarted();
    if (options.firstLine.rfind("dial ", 0) == 0 || options.firstLine == "popup") {
        const QString line = QString::fromStdString(options.firstLine);
        QTimer::singleShot(0, &controller, [&controller, line] { controller.handleInstanceLine(line); });
    }
    const int status = app.exec();
    controller.shutdown();
    return status;
}

}  // namespace pellandor

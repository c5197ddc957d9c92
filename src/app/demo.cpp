#include "app/demo.h"

#include "desktop_logic/instance_channel.h"
#include "app/logging.h"
#include "platform/display_check.h"
#include "platform/global_hotkey.h"
#include "app/tray_program.h"
#include "cli/cli.h"
#include "platform/paths.h"
#include "config/settings_access.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <iostream>

namespace pellandor {

namespace {

constexpr const char* kDemoNumber = "+1 (415) 555-1234";
constexpr int kSimulatorStartMs = 20000;

// The simulator, its log and the demo's settings file, all in one
// temporary folder that goes away with the demo.
class DemoExchange final {
public:
    ~DemoExchange() { stop(); }

    Status start() {
        if (!folder_.isValid()) return failure("cannot create a temporary folder");
        // Installed beside the `pellandor` command, not beside this program.
        const std::string command = frontDoorPath();
        const std::string folder = command.empty() ? moduleDirectory() : command.substr(0, command.rfind('/'));
        const QString program = QString::fromStdString(folder) + QStringLiteral("/pellandor-exchange-sim");
        process_.setProgram(program);
        process_.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--bind"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("--log"), logPath()});
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setStandardErrorFile(folder_.filePath(QStringLiteral("exchange.err")));
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return failure("cannot start " + program.toStdString() + ": " + process_.errorString().toStdString());
        }
        QByteArray first;
        while (!first.contains('\n')) {
            if (!process_.waitForReadyRead(kSimulatorStartMs)) return failure("the exchange simulator did not start");
            first += process_.readAllStandardOutput();
        }
        const QByteArray line = first.left(first.indexOf('\n'));
        if (!line.startsWith("listening on ")) return failure("the exchange simulator said: " + line.toStdString());
        port_ = line.mid(line.lastIndexOf(':') + 1).trimmed().toStdString();
        return writeSettings();
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    std::string settingsPath() const {
        return folder_.filePath(QStringLiteral("pellandor_settings.ini")).toStdString();
    }
    QString instanceDir() const { return folder_.path(); }
    QString logPath() const { return folder_.filePath(QStringLiteral("exchange.jsonl")); }
    const std::string& port() const { return port_; }

    // Prints what the exchange was asked since the last call.
    void reportRequests() {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly)) return;
        log.seek(logOffset_);
        while (!log.atEnd()) {
            const qint64 start = log.pos();
            const QByteArray line = log.readLine();
            if (!line.endsWith('\n')) {  // still being written
                log.seek(start);
                break;
            }
            const QJsonObject r = QJsonDocument::fromJson(line).object();
            const QString station =
                r.value(QStringLiteral("fields")).toObject().value(QStringLiteral("stnnum")).toString();
            std::cout << "exchange: station " << station.toStdString() << " asked to "
                      << (r.value(QStringLiteral("call_type")).toString() == QLatin1String("hangup")
                              ? std::string("hang up")
                              : "dial " + r.value(QStringLiteral("destination")).toString().toStdString())
                      << "; answered code " << std::to_string(r.value(QStringLiteral("code")).toInt()) << std::endl;
        }
        logOffset_ = log.pos();
    }

private:
    Status writeSettings() {
        const std::string path = settingsPath();
        QFile plan(QStringLiteral(":/pellandor/sample_settings.ini"));
        if (!plan.open(QIODevice::ReadOnly) || !QFile::copy(plan.fileName(), QString::fromStdString(path)))
            return failure("cannot write the demo settings");
        QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::WriteOwner);
        const std::pair<const char*, const char*> keys[] = {
            {"USER_INFO", "ID"}, {"USER_INFO", "PW"}, {"USER_INFO", "PN"}, {"SYS_INFO", "IP"}, {"SYS_INFO", "PORT"}};
        const std::string values[] = {"alice", "secret", "2001", "127.0.0.1", port_};
        for (std::size_t i = 0; i < std::size(keys); ++i) {
            if (Status written = writeSettingAsProgram(path, keys[i].first, keys[i].second, values[i]); !written)
                return written;
        }
        return {};
    }

    QTemporaryDir folder_{QDir::tempPath() + QStringLiteral("/pellandor-demo-XXXXXX")};
    QProcess process_;
    std::string port_;
    qint64 logOffset_ = 0;
};

// The user's own program would react to the demo's copies and hotkey too.
bool userProgramRunning() {
    const Result<std::string> dir = instanceRuntimeDir();
    if (!dir) return false;
    QLockFile lock(QString::fromStdString(instanceLockPath(*dir)));
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

int commandLineDemo(int argc, char** argv, const std::string& why) {
    QCoreApplication app(argc, argv);
    std::cout << "pellandor: " << why << ", so the demo places one call from the command line instead." << std::endl;
    DemoExchange exchange;
    if (const Status started = exchange.start(); !started) {
        qCCritical(lcDemo).noquote() << QString::fromStdString(started.error());
        return 1;
    }
    std::cout << "Calling \"" << kDemoNumber << "\" through the demo exchange at 127.0.0.1:" << exchange.port()
              << std::endl;
    const int status = runCli({"call", "--settings", exchange.settingsPath(), "--", kDemoNumber}, std::cout, std::cerr);
    exchange.reportRequests();
    return status;
}

}  // namespace

int runDemo(int argc, char** argv) {
    preferXWayland();
    if (const Status display = displayAvailable(); !display) return commandLineDemo(argc, argv, display.error());

    QApplication app(argc, argv);
    prepareApplication(app);
    if (userProgramRunning()) {
        qCCritical(lcDemo) << "your own Ulvex Pellandor is running; quit it (tray menu) before trying the demo, so "
                              "that a number copied for the demo is not dialled for real.";
        return 1;
    }
    DemoExchange exchange;
    if (const Status started = exchange.start(); !started) {
        qCCritical(lcDemo).noquote() << QString::fromStdString(started.error());
        return 1;
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&exchange] { exchange.reportRequests(); });
    poll.start(300);

    TrayProgramOptions options;
    options.settingsPath = exchange.settingsPath();
    // Its own instance folder: the demo never talks to the user's own program.
    options.instanceDir = exchange.instanceDir();
    options.firstLine = "show";
    options.onStarted = [&exchange] {
        std::cout << "Ulvex Pellandor demo: a demo exchange runs at 127.0.0.1:" << exchange.port()
                  << " (station 2001, user alice).\n"
                  << "1. Copy a phone number in any program, for example " << kDemoNumber << ".\n"
                  << (inWaylandSession()
                          ? "2. Press Alt+Q where the desktop lets programs have it (else the copy alone does it): "
                            "the call dialog pops up and the demo exchange places the call.\n"
                          : "2. Press Alt+Q: the call dialog pops up at the pointer and the demo exchange places the "
                            "call.\n")
                  << "3. Click the tray icon for the call dialog; right-click it for the menu (Quit ends the demo)."
                  << std::endl;
    };
    const int status = runTrayProgram(app, options);
    exchange.reportRequests();
    exchange.stop();
    return status;
}

}  // namespace pellandor

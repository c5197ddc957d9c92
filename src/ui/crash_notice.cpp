#include "ui/crash_notice.h"

#include "config/settings_access.h"
#include "config/settings_model.h"
#include "platform/crash_handler.h"
#include "platform/paths.h"
#include "service/exchange_request.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <cstring>

Q_LOGGING_CATEGORY(lcCrash, "pellandor.crash", QtWarningMsg)

namespace pellandor {

namespace {

constexpr const char* kProductTitle = "Ulvex Pellandor";

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

bool isCrashNoticeCall(int argc, char** argv) {
    return argc >= 2 && argv[1] != nullptr &&
           (std::strcmp(argv[1], "--crash-notice") == 0 || std::strcmp(argv[1], "--crash-notice-failed") == 0);
}

std::string crashNoticeTitle() {
    return std::string(kProductTitle) + " is Crashed!!";
}

std::string crashNoticeText(const std::string& crashFile, const LanguageTable& texts) {
    if (crashFile.empty()) return texts.message("AL_NO_CRASH_FILE");
    return "Crash dump file is saved at " + crashFile + "!!";
}

int runCrashNotice(int argc, char** argv) {
    const bool written = argc >= 3 && std::strcmp(argv[1], "--crash-notice") == 0 && argv[2] != nullptr;
    // In the language the user chose, like the program's other messages.
    SettingsModel model(defaultSettingsPath(), languageFilePath());
    (void)model.load();
    const std::string text = crashNoticeText(written ? argv[2] : "", model.texts());
    // Also for a session without a display, where the box cannot show.
    qCCritical(lcCrash).noquote() << QString::fromStdString(crashNoticeTitle() + ": " + text);
    if (!haveDisplay()) return 0;
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(crashNoticeTitle()), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
    return 0;
}

bool scheduleCrashTest(const std::string& site) {
    if (site == "gui") {
        QTimer::singleShot(0, [] { crashOnPurpose("gui"); });
        return true;
    }
    if (site == "worker") {
        // The request worker itself, as a press of Call starts it.
        QTimer::singleShot(0, [] {
            static ExchangeRequest request;
            if (const Status started = request.crashWorkerOnPurpose(); !started)
                qCWarning(lcCrash) << "the crash test could not start:" << started.error().c_str();
        });
        return true;
    }
    return false;
}

}  // namespace pellandor

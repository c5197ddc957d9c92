#include "ui/crash_notice.h"

#include "platform/crash_handler.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

std::string crashNoticeText(const std::string& crashFile) {
    if (crashFile.empty()) return std::string(kProductTitle) + " crashed. No crash dump file could be written.";
    return "Crash dump file is saved at " + crashFile + "!!";
}

int runCrashNotice(int argc, char** argv) {
    const bool written = argc >= 3 && std::strcmp(argv[1], "--crash-notice") == 0 && argv[2] != nullptr;
    const std::string text = crashNoticeText(written ? argv[2] : "");
    std::fprintf(stderr, "%s: %s\n", crashNoticeTitle().c_str(), text.c_str());
    if (!haveDisplay()) return 0;
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(crashNoticeTitle()), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
    return 0;
}

bool scheduleCrashTest(const std::string& site) {
    if (site != "gui" && site != "worker") return false;
    QTimer::singleShot(0, [site] { crashOnPurpose(site); });
    return true;
}

}  // namespace pellandor

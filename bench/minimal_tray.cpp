// The smallest Qt Widgets tray program: one frameless window and a tray
// icon. desktop_bench.py holds pellandor's idle memory and wake-ups against
// it. Lines on stdin: "show" and "hide" (the window), nothing else.
// With --text the window holds a text box, so text drawing (fonts, shaping)
// is loaded once it is shown, as in any dialog with a text box.
#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QWidget>

#include <unistd.h>

#include <cstring>
#include <string>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    // The same kind of window as the call dialog, at its size.
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("Minimal Tray"));
    window.resize(282, 94);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        window.setWindowTitle(QStringLiteral("Minimal Tray Text"));
        auto* box = new QLineEdit(QStringLiteral("2125550199"), &window);
        box->setGeometry(10, 10, 200, 26);
    }

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setToolTip(QStringLiteral("Minimal Tray"));
    tray.show();

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // End of input: stop watching, or a closed pipe would wake us forever.
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line == "show") window.show();
            if (line == "hide") window.hide();
        }
    });
    return app.exec();
}

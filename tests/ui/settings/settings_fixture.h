#pragma once
// A scratch settings file and language file, the settings model loaded from
// them, and a recording stand-in for the desktop shell.

#include "config/ini_file.h"
#include "config/settings_access.h"
#include "config/settings_model.h"
#include "ui/settings_targets.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace pellandor::test {

// The shell's part, and what the program's observers of the model would
// do, as a list of calls.
struct RecordingTargets : SettingsTargets {
    std::vector<std::string> calls;
    bool settingsClosed = true;
    CallDialogValues lastValues;
    std::string lastTrayText;

    explicit RecordingTargets(SettingsModel& model)
        : model_(model),
          subscription_(model.subscribe([this](const SettingsChange& change) { changed(change); })),
          startAtLogin_(
              model, [] { return nullptr; },
              [this](bool enabled, const std::string& settingsPath) {
                  calls.push_back(enabled ? "autostart:on" : "autostart:off");
                  // the real entry, under the test's XDG_CONFIG_HOME
                  return setStartAtLogin(enabled, settingsPath);
              }) {}
    ~RecordingTargets() override { model_.unsubscribe(subscription_); }

    void setSettingsClosed(bool closed) override {
        settingsClosed = closed;
        calls.push_back(closed ? "closed" : "open");
    }
    void hideCallDialog() override { calls.push_back("hideCallDialog"); }
    StartAtLoginFollower& startAtLogin() { return startAtLogin_; }
    bool called(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }

private:
    void changed(const SettingsChange& change) {
        const AppSettings& s = model_.settings();
        if (change.has(kAspectHotkey)) {
            calls.push_back("hotkey:" + (s.hotkeyEnabled ? s.hotkeyModifier + "+" + s.hotkeyKey : std::string("off")));
        }
        calls.push_back("applied");
        lastValues = model_.callDialogValues();
        lastTrayText = model_.texts().text("SETTINGS");
    }

    SettingsModel& model_;
    std::size_t subscription_;
    StartAtLoginFollower startAtLogin_;
};

// Answers the next message box that comes up and keeps its text.
class MessageBoxCatcher : public QObject {
public:
    MessageBoxCatcher() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible()) continue;
                text = box->text();
                title = box->windowTitle();
                icon = box->icon();
                ++count;
                box->done(QMessageBox::Ok);
                return;
            }
        });
        timer_.start();
    }
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int count = 0;

private:
    QTimer timer_;
};

class Files {
public:
    Files() {
        settingsPath = dir.filePath(QStringLiteral("pellandor_settings.ini")).toStdString();
        languagePath = dir.filePath(QStringLiteral("language.ini")).toStdString();
        // start at login goes to this folder, never the user's own.
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        useDeliveredLanguageFile();
    }

    void useDeliveredLanguageFile() {
        QFile::remove(QString::fromStdString(languagePath));
        QFile::copy(QStringLiteral(PELLANDOR_SOURCE_DIR "/resources/language.ini"),
                    QString::fromStdString(languagePath));
    }
    void write(const std::string& path, const QByteArray& bytes) const {
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray read(const std::string& path) const {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The stored value as the program reads it back ("<missing>" if absent).
    std::string value(const std::string& section, const std::string& key) const {
        return readSettingAsProgram(settingsPath, section, key).value_or("<missing>");
    }
    std::string raw(const std::string& section, const std::string& key) const {
        return IniFile(settingsPath).find(section, key).value_or("<missing>");
    }
    std::unique_ptr<SettingsModel> load() const {
        auto model = std::make_unique<SettingsModel>(settingsPath, languagePath);
        (void)model->load();
        return model;
    }

    QTemporaryDir dir;
    std::string settingsPath, languagePath;
};

template <class T>
T* find(QWidget* root, const char* name) {
    T* found = root->findChild<T*>(QLatin1String(name));
    if (found == nullptr) qFatal("no control named %s", name);
    return found;
}

// Pixels a title bar needs for `title` and the program's name after it, in
// bold, plus its icon and buttons.
inline int captionNeeds(const QString& title) {
    QFont bold = QApplication::font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title + QStringLiteral(" \u2014 Ulvex Pellandor")) + 100;
}

// A label's or button's text without its mnemonic mark.
inline QString plain(QString text) {
    return text.replace(QLatin1String("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QChar(1), QLatin1Char('&'));
}

}  // namespace pellandor::test

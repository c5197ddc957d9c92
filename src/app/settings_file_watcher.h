#pragma once
// Takes changes made to the settings file from outside (`pellandor config
// set`, an editor, a provisioning tool) into the running program.

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace pellandor {

class SettingsModel;

class SettingsFileWatcher final : public QObject {
    Q_OBJECT

public:
    // Editors and saves send bursts of events; one reload follows once the
    // file has been quiet this long.
    static constexpr int kSettleMs = 150;

    explicit SettingsFileWatcher(SettingsModel& model, QObject* parent = nullptr);

    // Whether the file and its folder are being watched.
    bool watching() const;

signals:
    // After each reload that found a readable file.
    void reloaded();

private:
    struct Stamp {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified, changed;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const;
    void watchPaths();
    void reload();

    SettingsModel& model_;
    QString file_;
    QString folder_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    Stamp lastStamp_;
};

}  // namespace pellandor

#include "app/settings_file_watcher.h"

#include "app/logging.h"
#include "config/settings_model.h"

#include <QDir>
#include <QFileInfo>

namespace pellandor {

SettingsFileWatcher::SettingsFileWatcher(SettingsModel& model, QObject* parent)
    : QObject(parent), model_(model), file_(QString::fromStdString(model.settingsPath())) {
    folder_ = QFileInfo(file_).absolutePath();
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &SettingsFileWatcher::reload);
    // Saves rename a new file over the old one: the file's own watch ends
    // with the old inode, the folder's sees the rename.
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
    // The folder (often ~/.config) changes for other files too; only a new
    // stamp of ours is worth a read.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!(stamp() == lastStamp_)) settle_.start();
    });
    watchPaths();
    lastStamp_ = stamp();
}

SettingsFileWatcher::Stamp SettingsFileWatcher::stamp() const {
    const QFileInfo info(file_);
    if (!info.exists()) return {};
    return {true, info.size(), info.lastModified(), info.metadataChangeTime()};
}

bool SettingsFileWatcher::watching() const {
    return watcher_.directories().contains(folder_) && watcher_.files().contains(file_);
}

void SettingsFileWatcher::watchPaths() {
    // Each may not exist yet; the folder's watch starts once it does (at the next reload).
    if (!watcher_.directories().contains(folder_) && QFileInfo(folder_).isDir()) watcher_.addPath(folder_);
    if (!watcher_.files().contains(file_) && QFileInfo::exists(file_)) watcher_.addPath(file_);
}

void SettingsFileWatcher::reload() {
    watchPaths();
    lastStamp_ = stamp();
    if (!model_.reload()) {
        qCDebug(lcApp) << "settings file not readable now; the settings stay as they are";
        return;
    }
    qCDebug(lcApp) << "settings file read again";
    emit reloaded();
}

}  // namespace pellandor

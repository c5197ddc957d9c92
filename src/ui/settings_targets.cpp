#include "ui/settings_targets.h"

#include "platform/paths.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QString>

Q_LOGGING_CATEGORY(lcStartAtLogin, "pellandor.settings", QtWarningMsg)

namespace pellandor {

Status setStartAtLogin(bool enabled, const std::string& settingsPath) {
    const std::string entry = autostartEntryPath();
    if (!enabled) return unregisterAutostart(entry);
    // A file chosen with --settings or PELLANDOR_SETTINGS must be named: the
    // login start has neither.
    const std::string config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    const bool plainStartsFile = !config.empty() && settingsPath == config + "/pellandor_settings.ini";
    // The command the user knows, which starts this program.
    const std::string command = frontDoorPath();
    return registerAutostart(entry, "Ulvex Pellandor", command.empty() ? programPath() : command,
                             plainStartsFile ? std::string() : settingsPath);
}

StartAtLoginFollower::StartAtLoginFollower(SettingsModel& model, std::function<QWidget*()> owner, Apply apply)
    : model_(model), owner_(std::move(owner)), apply_(std::move(apply)) {
    subscription_ = model_.subscribe([this](const SettingsChange& change) {
        if (change.has(kAspectStartAtLogin)) this->apply(model_.settings().autoStart);
    });
}

void StartAtLoginFollower::restoreIfMissing() {
    if (model_.settings().autoStart && !autostartEntryExists(autostartEntryPath())) apply(true);
}

void StartAtLoginFollower::apply(bool enabled) {
    const Status applied = apply_(enabled, model_.settingsPath());
    if (applied) return;
    qCWarning(lcStartAtLogin) << "start at login:" << QString::fromStdString(applied.error());
    QMessageBox box(QMessageBox::Warning, QString(), QString::fromStdString(autostartFailureText(enabled, applied)),
                    QMessageBox::Ok, owner_ ? owner_() : nullptr);
    box.setDetailedText(QString::fromStdString(applied.error()));
    box.exec();
}

StartAtLoginFollower::~StartAtLoginFollower() {
    model_.unsubscribe(subscription_);
}

}  // namespace pellandor

#include "ui/settings_targets.h"

#include "platform/paths.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QString>

Q_LOGGING_CATEGORY(lcStartAtLogin, "pellandor.settings", QtWarningMsg)

namespace pellandor {

AutostartResult setStartAtLogin(bool enabled) {
    const std::string entry = autostartEntryPath();
    if (enabled) return registerAutostart(entry, "Ulvex Pellandor", programPath());
    return unregisterAutostart(entry);
}

StartAtLoginFollower::StartAtLoginFollower(SettingsModel& model, std::function<QWidget*()> owner, Apply apply)
    : model_(model) {
    subscription_ =
        model_.subscribe([&model, owner = std::move(owner), apply = std::move(apply)](const SettingsChange& change) {
            if (!change.has(kAspectStartAtLogin)) return;
            const bool enabled = model.settings().autoStart;
            const AutostartResult result = apply(enabled);
            if (result) return;
            qCWarning(lcStartAtLogin) << "start at login:" << QString::fromStdString(result.detail);
            QMessageBox box(QMessageBox::Warning, QString(),
                            QString::fromStdString(autostartFailureText(enabled, result.failedStep)), QMessageBox::Ok,
                            owner ? owner() : nullptr);
            box.setDetailedText(QString::fromStdString(result.detail));
            box.exec();
        });
}

StartAtLoginFollower::~StartAtLoginFollower() {
    model_.unsubscribe(subscription_);
}

}  // namespace pellandor

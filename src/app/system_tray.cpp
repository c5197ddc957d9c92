#include "app/system_tray.h"

#include "desktop_logic/command_ids.h"
#include "app/logging.h"
#include "config/language_table.h"

#include <QApplication>
#include <QMenu>

namespace pellandor {

namespace {

QString menuText(const LanguageTable& texts, std::string_view key) {
    return QString::fromStdString(texts.text(key));
}

}  // namespace

SystemTray::SystemTray(const LanguageTable& texts, QObject* parent)
    : QObject(parent), texts_(texts), menu_(std::make_unique<QMenu>()) {
    callDialog_ = menu_->addAction(QStringLiteral("Call Dialog"));
    settings_ = menu_->addAction(QStringLiteral("Settings"));
    exit_ = menu_->addAction(QStringLiteral("Exit"));
    version_ = menu_->addAction(QStringLiteral("Version"));
    version_->setEnabled(false);
    menu_->setDefaultAction(callDialog_);  // drawn bold
    connect(callDialog_, &QAction::triggered, this, [this] { emit command(cmd::kCallDialog); });
    connect(settings_, &QAction::triggered, this, [this] { emit command(cmd::kSettings); });
    connect(exit_, &QAction::triggered, this, [this] { emit command(cmd::kExit); });
    connect(menu_.get(), &QMenu::aboutToShow, this, &SystemTray::refreshTexts);
    refreshTexts();
}

SystemTray::~SystemTray() {
    if (icon_ != nullptr) icon_->hide();
}

bool SystemTray::create(const QIcon& icon) {
    if (icon_ == nullptr) {
        icon_ = new QSystemTrayIcon(icon, this);
        icon_->setToolTip(QStringLiteral("Ulvex Pellandor"));
        icon_->setContextMenu(menu_.get());
        connect(icon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { emit notified(reason); });
    }
    icon_->show();
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    qCInfo(lcTray) << "tray icon shown; tray host available:" << available;
    return available;
}

int SystemTray::notification(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return 0;
    // An XEmbed double click arrives as a click and then a double click.
    if (lastDefault_.isValid() && lastDefault_.elapsed() < QApplication::doubleClickInterval() + 100) {
        qCDebug(lcTray) << "second click of a double click ignored";
        return 0;
    }
    lastDefault_.start();
    return cmd::kCallDialog;
}

void SystemTray::setSettingsAvailable(bool available) {
    settings_->setEnabled(available);
}

void SystemTray::refreshTexts() {
    callDialog_->setText(menuText(texts_, "CALLDLG"));
    settings_->setText(menuText(texts_, "SETTINGS"));
    exit_->setText(menuText(texts_, "EXIT"));
    qCDebug(lcTray) << "menu texts:" << callDialog_->text() << settings_->text() << exit_->text();
    version_->setText(QString::fromUtf8(LanguageTable::VersionText.data(),
                                        static_cast<qsizetype>(LanguageTable::VersionText.size())));
}

}  // namespace pellandor

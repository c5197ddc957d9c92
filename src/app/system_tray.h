#pragma once
// The notification-area icon and its menu: the user's permanent handle on
// the program, whose main window is never shown.

#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class QAction;
class QMenu;

namespace pellandor {

class LanguageTable;

class SystemTray final : public QObject {
    Q_OBJECT

public:
    // `texts` outlives the tray; its entries are read at every display.
    explicit SystemTray(const LanguageTable& texts, QObject* parent = nullptr);
    ~SystemTray() override;

    // Shows the icon. False when no tray host runs (the icon appears if one
    // starts later).
    bool create(const QIcon& icon);

    // The command a click on the icon runs, or 0: the default item on a
    // click or a double click, once per gesture.
    int notification(QSystemTrayIcon::ActivationReason reason);

    // Grays the Settings item, or makes it available again.
    void setSettingsAvailable(bool available);

    QMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon* icon() const { return icon_; }
    void refreshTexts();

signals:
    void command(int id);
    // A click on the icon, for the controller's notification message.
    void notified(int reason);

private:
    const LanguageTable& texts_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
    QAction* callDialog_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* version_ = nullptr;
    QElapsedTimer lastDefault_;
};

}  // namespace pellandor

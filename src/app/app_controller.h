#pragma once
// The program's hidden centre: routes tray commands, second starts, the
// hotkey and clipboard changes to the call dialog (or the settings dialog).

#include "config/call_log.h"
#include "ui/call_dialog.h"

#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace pellandor {

class SettingsDialog;
class SystemTray;
class SettingsTargets;
class SettingsModel;
class StartAtLoginFollower;
struct SettingsChange;
class ClipboardWatcher;
class GlobalHotkey;

struct ClipboardEntry {
    bool hasText = false;
    bool secret = false;  // a password manager marked it as a secret
    QString text;
    bool oversized = false;  // too long for a number; `text` was not read
};

// What the desktop tells the controller; tests put their own in.
class DesktopInputs {
public:
    virtual ~DesktopInputs() = default;
    // The clipboard proper (never the mouse selection).
    virtual ClipboardEntry clipboard() const;
    virtual QPoint pointer() const;
    // False in a Wayland session: X learns the pointer only over its own
    // windows, and Wayland tells no program.
    virtual bool pointerKnown() const;
    // The compositor centres every X11 window it manages (sway).
    virtual bool compositorCentresWindows() const;
};

class AppController final : public QObject {
    Q_OBJECT

public:
    // `model` outlives the controller: the call dialog reads its dialling
    // rules. Loads the recent numbers and the dialog's place from its file.
    AppController(SettingsModel& model, std::unique_ptr<GlobalHotkey> hotkey, std::unique_ptr<DesktopInputs> inputs,
                  QObject* parent = nullptr);
    ~AppController() override;

    // Reads the clipboard in place of DesktopInputs::clipboard() and tells of
    // its changes: Qt's read may block under X11, and a Wayland desktop tells
    // only the program with the focus; before start().
    void setClipboardWatcher(std::unique_ptr<ClipboardWatcher> watcher);

    // Tray icon (when `withTray`), hotkey and clipboard listener.
    void start(bool withTray);

    // Tray menu commands (cmd::kSettings, kCallDialog, kExit). False for others.
    bool handleCommand(int id);
    // cmd::kTrayNotify (argument: the activation reason) and cmd::kActivateInstance.
    bool handleMessage(int message, int argument = 0);
    // A line from a second start: "show", "popup" or "dial <number or link>".
    void handleInstanceLine(const QString& line);

    // A clipboard change: one check once the clipboard has been quiet for 100 ms.
    void clipboardChanged();
    // Reads the clipboard and pops the call dialog up when it holds a number
    // (once the read is in, when a watcher reads it).
    void checkClipboardForNumber();
    // `pellandor popup`, for a key the user binds in the desktop's settings
    // where it offers programs no hotkey: what the hotkey does, and the empty
    // call dialog when the clipboard holds no number.
    void popUpFromClipboard();
    // A copy alone pops the dialog up unless the hotkey is both wanted and held.
    bool hotkeyInUse() const;

    // Cleared by the settings dialog while it is open.
    bool settingsClosed() const { return settingsClosed_; }
    void setSettingsClosed(bool closed) { settingsClosed_ = closed; }
    // The open settings dialog: owner of the notice box, raised by a copied number.
    void setSettingsWindow(QWidget* window) { settingsWindow_ = window; }

    // The settings dialog opened: the call dialog goes.
    void hideCallDialog();
    // Grabs the hotkey the settings name (releasing the old one first), or
    // only releases it when the hotkey is off.
    void applyHotkey();

    // Writes the recent numbers and the dialog's place now. While another
    // program holds the settings file's lock for more than kSaveLockWaitMs,
    // gives up and tries again from the event loop.
    bool saveCallLog();
    static constexpr int kSaveLockWaitMs = 200;
    static constexpr int kExitSaveLockWaitMs = 3000;
    // Before the program ends: saves and releases the hotkey.
    void shutdown();

    CallDialog* callDialog() const { return dialog_; }
    // The recent numbers and the dialog's place, which the call dialog edits.
    CallLog& callLog() { return callLog_; }
    DialogState& dialogState() { return dialogState_; }
    // The settings dialog once it has been opened.
    SettingsDialog* settingsDialog() const;
    QMessageBox* noticeBox() const { return notice_; }
    SystemTray* tray() const { return tray_; }

signals:
    void exitRequested();

private:
    bool saveCallLogWithin(int lockWaitMs);
    // What a change of the settings, saved here or made to the file, needs.
    void settingsChanged(const SettingsChange& change);
    CallDialog* ensureCallDialog(bool& created);
    void showCallDialog();
    void deliverNumber(const std::string& number, QPoint pointer);
    void readClipboard(std::function<void(const ClipboardEntry&)> done);
    // False when the entry holds no number.
    bool checkClipboardEntry(const ClipboardEntry& entry);
    void listenToQtClipboard();
    void showNotice();
    void raiseSettingsWindow();
    void openSettingsDialog();

    SettingsModel& model_;
    std::size_t modelSubscription_ = 0;
    CallLog callLog_;
    DialogState dialogState_;
    std::unique_ptr<GlobalHotkey> hotkey_;
    std::unique_ptr<DesktopInputs> inputs_;
    std::unique_ptr<ClipboardWatcher> watcher_;
    SystemTray* tray_ = nullptr;
    QPointer<CallDialog> dialog_;
    QPointer<QMessageBox> notice_;
    QPointer<QWidget> settingsWindow_;
    std::unique_ptr<SettingsTargets> settingsTargets_;
    std::unique_ptr<StartAtLoginFollower> startAtLogin_;
    QPointer<SettingsDialog> settingsDialog_;
    bool settingsClosed_ = true;
    bool noticeShowing_ = false;
    QTimer clipboardSettleTimer_;
    QTimer saveTimer_;
};

}  // namespace pellandor

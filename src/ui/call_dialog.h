#pragma once
// The small skinned pop-up through which the user dials and hangs up.

#include "call/call_press.h"
#include "config/app_settings.h"
#include "config/call_log.h"
#include "config/ini_file.h"
#include "config/language_table.h"
#include "platform/credential_store.h"
#include "ui/qt_geometry.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>

class QLabel;

namespace pellandor {

class NumberBox;
class SkinButton;
class DialingRules;

class CallDialog final : public QWidget {
    Q_OBJECT

public:
    // `rules`, `log` and `state` are owned by the caller and outlive the dialog;
    // the dialog reads the rules and keeps the log and its place up to date.
    CallDialog(const DialingRules& rules, CallLog& log, DialogState& state, QWidget* parent = nullptr);
    ~CallDialog() override;

    // Behaviour, account and exchange values and the result texts; called at
    // start and after every settings or language change.
    void applyValues(const CallDialogValues& values, const LanguageTable& texts);

    // Tray item, second start: clears the number box when the dialog is
    // hidden, then raises and shows it.
    void showDialog();

    // A copied or handed-over number: converted to a dial string, shown next
    // to `point` (or where the dialog is, without one) and, with auto-call
    // on, dialled. `showFlag` true brings up a fresh dialog and activates it;
    // false moves an existing one without taking the focus.
    void showNumber(const std::string& text, std::optional<QPoint> point, bool showFlag);

    // A Wayland session tells no program where the pointer is: from now on
    // the dialog comes up at `trayPoint` (where the tray icon was last
    // activated, when the tray said), else where it was, else in the corner.
    // `placeItself`: the compositor centres the windows it manages, so a
    // pop-up bypasses it.
    void setPointerUnknown(std::optional<QPoint> trayPoint, bool placeItself = false);

    // After a clipboard delivery: restarts the auto-hide timer when auto-hide
    // is on with a delay above 0.
    void restartAutoHide();

    // result and pre-check messages go through this; without one (the
    // default, or after passing nullptr) the dialog's one error box shows
    // them, modal to the dialog and replaced by the next. Tests replace it.
    using MessagePresenter = std::function<void(const QString& caption, const QString& text)>;
    void setMessagePresenter(MessagePresenter presenter);

    // The settings file the exchange's trust is read from and a first key is
    // kept in, and the keyring a password missing from it comes from. Without
    // a file (tests of the dialog alone) any key is accepted and none is kept.
    void setSettingsFile(std::string path, std::unique_ptr<CredentialStore> store);

    bool isFullLayout() const;
    bool isRequestRunning() const { return press_.isRunning(); }
    bool isResultFailed() const { return failed_; }

    // Parts, for the shell's tests and the dialog's own.
    NumberBox* numberBox() const { return numberBox_; }
    SkinButton* button(DlgItem item) const;
    QLabel* resultLabel() const { return resultLabel_; }
    // The error box, once one was shown.
    QMessageBox* resultBox() const { return resultBox_; }
    // Timer 1 (auto-hide) and timer 2 (result text): their periods can be
    // read and their expiry driven without waiting.
    QTimer* autoHideTimer() { return &autoHideTimer_; }
    QTimer* resultTextTimer() { return &resultTextTimer_; }
    CallPress& press() { return press_; }

    static constexpr int kSuccessHideMs = 3000;
    static constexpr int kResultTextMs = 5000;

public slots:
    void onCall();
    void onHangup();
    void setFullLayout(bool full);
    // Exit: stops auto-hide, hides the result text and the dialog.
    void hideDialog();

signals:
    // The recent numbers, the position or the layout changed: save them soon.
    void persistentStateChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void startRequest(CallKind kind);
    void presentOutcome(const CallOutcome& outcome);
    void showFailedLabel();
    void setRequestButtonsEnabled(bool enabled);
    void applyLayout();
    void applyFonts();
    void fillNumberBox();
    void showMessage(const QString& text);
    void setShowWithoutActivating(bool on);
    // A window no screen shows is moved onto the primary screen.
    void keepOnScreen();

    const DialingRules& rules_;
    CallLog& log_;
    DialogState& state_;

    CallDialogValues values_;
    ResultTexts texts_;
    MessagePresenter presenter_;
    bool failed_ = false;

    NumberBox* numberBox_ = nullptr;
    std::map<DlgItem, SkinButton*> buttons_;
    QLabel* resultLabel_ = nullptr;
    QPointer<QMessageBox> resultBox_;
    QTimer autoHideTimer_;
    QTimer resultTextTimer_;
    QElapsedTimer lowerOnActivation_;  // running from a show that must end behind
    QPoint placeUnderWayland() const;
    void chooseManagedOnMap(bool managed);

    bool pointerUnknown_ = false;
    bool placeItself_ = false;  // the compositor centres managed windows
    std::optional<QPoint> trayPoint_;
    bool translucent_ = false;          // no window shapes (native Wayland): the key colour is drawn transparent
    std::optional<QPoint> dragOffset_;  // only when the window manager cannot move us

    // Last: destroyed first, so no request outlives the widgets.
    std::string settingsPath_;
    std::unique_ptr<CredentialStore> store_;
    // Read again at a press only when the file changed.
    IniSnapshotCache settingsFile_;
    CallPress press_;
};

}  // namespace pellandor

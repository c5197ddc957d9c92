#include "app/app_controller.h"

#include "app/app_icon.h"
#include "dialing/clipboard_number.h"
#include "desktop_logic/command_ids.h"
#include "desktop_logic/desktop_args.h"
#include "app/logging.h"
#include "platform/clipboard_watcher.h"
#include "platform/global_hotkey.h"
#include "app/system_tray.h"
#include "config/ini_file.h"
#include "config/settings_model.h"
#include "ui/call_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/settings_targets.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>

namespace pellandor {

namespace {

// Password managers mark the secrets they copy with this format.
constexpr const char* kPasswordHintFormat = "x-kde-passwordManagerHint";

// What the settings dialog does to the rest of the program; start at login
// keeps the default (the XDG autostart entry).
class ControllerSettingsTargets final : public SettingsTargets {
public:
    explicit ControllerSettingsTargets(AppController& controller) : controller_(controller) {}

    void setSettingsClosed(bool closed) override {
        controller_.setSettingsClosed(closed);
        controller_.setSettingsWindow(closed ? nullptr : controller_.settingsDialog());
    }
    void hideCallDialog() override { controller_.hideCallDialog(); }

private:
    AppController& controller_;
};

}  // namespace

ClipboardEntry DesktopInputs::clipboard() const {
    ClipboardEntry entry;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (mime == nullptr || !mime->hasText()) return entry;
    entry.hasText = true;
    entry.secret = mime->hasFormat(QLatin1String(kPasswordHintFormat)) &&
                   mime->data(QLatin1String(kPasswordHintFormat)).trimmed() == "secret";
    if (!entry.secret) entry.text = mime->text();
    return entry;
}

QPoint DesktopInputs::pointer() const {
    return QCursor::pos();
}

bool DesktopInputs::pointerKnown() const {
    const QString platform = QGuiApplication::platformName();
    return !(inWaylandSession() && (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))));
}

bool DesktopInputs::compositorCentresWindows() const {
    return inWaylandSession() && !qEnvironmentVariableIsEmpty("SWAYSOCK") &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

AppController::AppController(SettingsModel& model, std::unique_ptr<GlobalHotkey> hotkey,
                             std::unique_ptr<DesktopInputs> inputs, QObject* parent)
    : QObject(parent),
      model_(model),
      hotkey_(std::move(hotkey)),
      inputs_(std::move(inputs)),
      settingsTargets_(std::make_unique<ControllerSettingsTargets>(*this)) {
    loadCallLog(IniFile::snapshot(model_.settingsPath()), callLog_, dialogState_);
    modelSubscription_ = model_.subscribe([this](const SettingsChange& change) { settingsChanged(change); });
    startAtLogin_ = std::make_unique<StartAtLoginFollower>(model_, [this] { return settingsWindow_.data(); });
    clipboardSettleTimer_.setSingleShot(true);
    // A coarse timer fires anywhere within 5% of its interval; the settle
    // time decides how soon the dialog comes up, so it is kept exact.
    clipboardSettleTimer_.setTimerType(Qt::PreciseTimer);
    clipboardSettleTimer_.setInterval(cmd::kClipboardSettleMs);
    connect(&clipboardSettleTimer_, &QTimer::timeout, this, [this] {
        // With the hotkey in use, only the hotkey pops the dialog up.
        if (!hotkeyInUse()) checkClipboardForNumber();
    });
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(cmd::kSaveDebounceMs);
    connect(&saveTimer_, &QTimer::timeout, this, &AppController::saveCallLog);

    tray_ = new SystemTray(model_.texts(), this);
    connect(tray_, &SystemTray::command, this, &AppController::handleCommand);
    connect(tray_, &SystemTray::notified, this, [this](int reason) { handleMessage(cmd::kTrayNotify, reason); });
    if (hotkey_) connect(hotkey_.get(), &GlobalHotkey::activated, this, &AppController::checkClipboardForNumber);
}

AppController::~AppController() {
    model_.unsubscribe(modelSubscription_);
    delete settingsDialog_.data();
    delete dialog_.data();
    delete notice_.data();
}

void AppController::start(bool withTray) {
    if (withTray && !tray_->create(appIcon())) {
        qCWarning(lcTray).noquote()
            << "no system tray found (no StatusNotifierItem host or XEmbed tray); running without a "
               "tray icon. Copy a number or press the hotkey, or run pellandor again to open the call "
               "dialog.";
    }
    applyHotkey();
    if (watcher_) {
        connect(watcher_.get(), &ClipboardWatcher::changed, this, &AppController::clipboardChanged);
        connect(watcher_.get(), &ClipboardWatcher::lost, this, [this] {
            watcher_.release()->deleteLater();
            listenToQtClipboard();
        });
    } else {
        listenToQtClipboard();
    }
}

void AppController::setClipboardWatcher(std::unique_ptr<ClipboardWatcher> watcher) {
    watcher_ = std::move(watcher);
}

void AppController::listenToQtClipboard() {
    if (auto* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard) clipboardChanged();
        });
    }
}

bool AppController::hotkeyInUse() const {
    return model_.settings().hotkeyEnabled && hotkey_ && hotkey_->isRegistered();
}

bool AppController::handleCommand(int id) {
    switch (id) {
        case cmd::kSettings:
            openSettingsDialog();
            return true;
        case cmd::kCallDialog:
            if (settingsClosed_)
                showCallDialog();
            else
                showNotice();
            return true;
        case cmd::kExit:
            emit exitRequested();
            return true;
        default:
            return false;
    }
}

bool AppController::handleMessage(int message, int argument) {
    switch (message) {
        case cmd::kTrayNotify: {
            const int id = tray_->notification(static_cast<QSystemTrayIcon::ActivationReason>(argument));
            if (id != 0) handleCommand(id);
            return true;
        }
        case cmd::kActivateInstance:
            if (settingsClosed_) {
                showCallDialog();
                dialog_->activateWindow();
            }
            return true;
        default:
            return false;
    }
}

void AppController::handleInstanceLine(const QString& line) {
    qCInfo(lcInstance) << "second start:" << line;
    if (line == QLatin1String("show")) {
        handleMessage(cmd::kActivateInstance);
        return;
    }
    if (line == QLatin1String("popup")) {
        popUpFromClipboard();
        return;
    }
    if (!line.startsWith(QLatin1String("dial "))) {
        qCWarning(lcInstance) << "unknown request from a second start:" << line.left(80);
        return;
    }
    const Result<std::string> dialled = numberToDial(line.mid(5).toStdString());
    if (!dialled) {
        qCWarning(lcInstance) << "nothing to dial:" << dialled.error().c_str();
        return;
    }
    if (!settingsClosed_) {
        raiseSettingsWindow();
        showNotice();
        return;
    }
    deliverNumber(*dialled, inputs_->pointer());
}

void AppController::clipboardChanged() {
    clipboardSettleTimer_.start();
}

void AppController::checkClipboardForNumber() {
    readClipboard([this](const ClipboardEntry& entry) { checkClipboardEntry(entry); });
}

void AppController::popUpFromClipboard() {
    readClipboard([this](const ClipboardEntry& entry) {
        if (!checkClipboardEntry(entry)) handleMessage(cmd::kActivateInstance);
    });
}

void AppController::readClipboard(std::function<void(const ClipboardEntry&)> done) {
    if (!watcher_) return done(inputs_->clipboard());
    watcher_->read(static_cast<int>(kMaxClipboardNumberLength), [done](const WatchedClipboardEntry& read) {
        ClipboardEntry entry;
        entry.hasText = read.hasText;
        entry.secret = read.secret;
        entry.oversized = read.oversized;
        entry.text = read.text;
        done(entry);
    });
}

bool AppController::checkClipboardEntry(const ClipboardEntry& entry) {
    if (!entry.hasText || entry.oversized) return false;
    if (entry.secret) {
        qCDebug(lcClipboard) << "a password manager's secret; ignored";
        return false;
    }
    // Checked before the copy below: the clipboard may hold megabytes.
    if (static_cast<std::size_t>(entry.text.size()) > kMaxClipboardNumberLength) return false;
    const std::optional<std::string> number = clipboardNumber(entry.text.toStdU16String(), model_.rules());
    if (!number) return false;
    const QPoint pointer = inputs_->pointer();
    if (!settingsClosed_) {
        raiseSettingsWindow();
        showNotice();
        return true;
    }
    qCDebug(lcClipboard) << "number copied:" << number->c_str();
    deliverNumber(*number, pointer);
    return true;
}

CallDialog* AppController::ensureCallDialog(bool& created) {
    created = false;
    if (!dialog_) {
        dialog_ = new CallDialog(model_.rules(), callLog_, dialogState_);
        dialog_->applyValues(model_.callDialogValues(), model_.texts());
        dialog_->setSettingsFile(model_.settingsPath(), openCredentialStore());
        connect(dialog_, &CallDialog::persistentStateChanged, &saveTimer_, qOverload<>(&QTimer::start));
        if (!inputs_->pointerKnown()) dialog_->setPointerUnknown(std::nullopt, inputs_->compositorCentresWindows());
        created = true;
    }
    return dialog_;
}

void AppController::showCallDialog() {
    bool created = false;
    ensureCallDialog(created)->showDialog();
}

void AppController::deliverNumber(const std::string& number, QPoint pointer) {
    bool created = false;
    CallDialog* dialog = ensureCallDialog(created);
    // A fresh dialog is shown and activated; one already there moves without
    // taking the focus from the application in use.
    dialog->showNumber(number, pointer, created);
    dialog->restartAutoHide();
}

void AppController::showNotice() {
    if (noticeShowing_) return;
    noticeShowing_ = true;
    auto* box = new QMessageBox(QMessageBox::Information, QString(),
                                QString::fromStdString(model_.texts().text("CALLDLG_WHILE_SETTINGS")), QMessageBox::Ok,
                                settingsWindow_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modal to the settings dialog only: the tray keeps answering (a second
    // Call Dialog finds the box up and shows no other; Exit still works).
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QDialog::finished, this, [this] { noticeShowing_ = false; });
    notice_ = box;
    box->show();
}

void AppController::raiseSettingsWindow() {
    if (!settingsWindow_) return;
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

SettingsDialog* AppController::settingsDialog() const {
    return settingsDialog_;
}

void AppController::openSettingsDialog() {
    if (settingsWindow_) {
        raiseSettingsWindow();
        return;
    }
    if (!settingsDialog_) {
        settingsDialog_ = new SettingsDialog(model_, *settingsTargets_, startAtLogin_.get());
    }
    // Modal to the whole program but without a nested event loop: the
    // hotkey, the clipboard and second starts keep arriving and are answered
    // with the notice while it is open.
    settingsDialog_->openDialog();
}

void AppController::settingsChanged(const SettingsChange& change) {
    if (change.has(kAspectHotkey)) applyHotkey();
    if (change.has(kAspectCallDialog) || change.has(kAspectLanguage)) {
        if (dialog_) dialog_->applyValues(model_.callDialogValues(), model_.texts());
    }
    if (change.has(kAspectLanguage)) tray_->refreshTexts();
    // The dialling rules are read where they are used; nothing to hand on.
}

void AppController::hideCallDialog() {
    if (dialog_) dialog_->hide();
}

void AppController::applyHotkey() {
    if (!hotkey_) return;
    const AppSettings& settings = model_.settings();
    if (!settings.hotkeyEnabled) {
        hotkey_->remove();
        return;
    }
    hotkey_->apply(settings.hotkeyModifier, settings.hotkeyKey);
}

bool AppController::saveCallLog() {
    return saveCallLogWithin(kSaveLockWaitMs);
}

bool AppController::saveCallLogWithin(int lockWaitMs) {
    saveTimer_.stop();
    const Status saved = pellandor::saveCallLogWithin(model_.settingsPath(), callLog_, dialogState_, lockWaitMs);
    if (saved) {
        qCDebug(lcApp) << "recent numbers and dialog place saved";
        return true;
    }
    if (saved.busy()) {
        // Nothing is lost: the state stays in memory until a save gets through.
        qCInfo(lcApp) << "the settings file is locked by another program; saving again soon:" << saved.error().c_str();
        saveTimer_.start();
        return false;
    }
    qCWarning(lcApp) << "the recent numbers could not be saved:" << saved.error().c_str();
    return false;
}

void AppController::shutdown() {
    // The last chance: a longer wait, still bounded.
    if (!saveCallLogWithin(kExitSaveLockWaitMs) && saveTimer_.isActive()) {
        saveTimer_.stop();
        qCWarning(lcApp) << "the recent numbers could not be saved: another program holds the settings file's lock";
    }
    if (hotkey_) hotkey_->remove();
}

}  // namespace pellandor

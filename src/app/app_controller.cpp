#include "app/app_controller.h"

#include "app/app_icon.h"
#include "desktop_logic/clipboard_number.h"
#include "desktop_logic/command_ids.h"
#include "desktop_logic/desktop_args.h"
#include "app/logging.h"
#include "platform/clipboard_watcher.h"
#include "platform/global_hotkey.h"
#include "app/system_tray.h"
#include "config/settings_access.h"
#include "ui/call_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/settings_targets.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>

#include <iostream>

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
    void applyHotkey(const AppSettings&) override { controller_.applyHotkey(); }
    void settingsApplied(const CallDialogValues&, const LanguageTable&) override { controller_.settingsApplied(); }

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

AppController::AppController(StartupState& state, std::string settingsPath, std::string languagePath,
                             std::unique_ptr<GlobalHotkey> hotkey, std::unique_ptr<DesktopInputs> inputs,
                             QObject* parent)
    : QObject(parent),
      state_(state),
      settingsPath_(std::move(settingsPath)),
      languagePath_(std::move(languagePath)),
      hotkey_(std::move(hotkey)),
      inputs_(std::move(inputs)),
      settingsTargets_(std::make_unique<ControllerSettingsTargets>(*this)) {
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

    tray_ = new SystemTray(state_.language, this);
    connect(tray_, &SystemTray::command, this, &AppController::handleCommand);
    connect(tray_, &SystemTray::notified, this, [this](int reason) { handleMessage(cmd::kTrayNotify, reason); });
    if (hotkey_) connect(hotkey_.get(), &GlobalHotkey::activated, this, &AppController::checkClipboardForNumber);
}

AppController::~AppController() {
    delete settingsDialog_.data();
    delete dialog_.data();
    delete notice_.data();
}

void AppController::start(bool withTray) {
    if (withTray && !tray_->create(appIcon())) {
        std::cerr << "pellandor: no system tray found (no StatusNotifierItem host or XEmbed tray); running "
                     "without a tray icon. Copy a number or press the hotkey, or run pellandor again to open the "
                     "call dialog."
                  << std::endl;
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
    return state_.settings.hotkeyEnabled && hotkey_ && hotkey_->isRegistered();
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
    std::string number, error;
    if (!numberToDial(line.mid(5).toStdString(), number, error)) {
        qCWarning(lcInstance) << "nothing to dial:" << error.c_str();
        return;
    }
    if (!settingsClosed_) {
        raiseSettingsWindow();
        showNotice();
        return;
    }
    deliverNumber(number, inputs_->pointer());
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
    const std::optional<std::string> number = clipboardNumber(entry.text.toStdU16String(), state_.rules);
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
        dialog_ = new CallDialog(state_.rules, state_.callLog, state_.dialogState);
        dialog_->applyValues(state_.callDialog, state_.language);
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
                                QString::fromStdString(state_.language.text("CALLDLG_WHILE_SETTINGS")), QMessageBox::Ok,
                                settingsWindow_);
    box->setAttribute(Qt::WA_DeleteOnClose);
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
        settingsDialog_ = new SettingsDialog(state_, SettingsFiles{settingsPath_, languagePath_}, *settingsTargets_);
    }
    // Modal to the whole program but without a nested event loop: the
    // hotkey, the clipboard and second starts keep arriving and are answered
    // with the notice while it is open.
    settingsDialog_->openDialog();
}

void AppController::applySettings() {
    StartupState fresh = loadStartupState(settingsPath_, languagePath_);
    state_.settings = fresh.settings;
    state_.advanced = fresh.advanced;
    state_.special = fresh.special;
    state_.rules = fresh.rules;
    state_.language = fresh.language;
    state_.advancedTexts = fresh.advancedTexts;
    state_.specialTexts = fresh.specialTexts;
    // The hide delay carries over while auto-hide is off.
    pushToCallDialog(state_.settings, state_.callDialog);
    applyHotkey();
    settingsApplied();
}

void AppController::settingsApplied() {
    if (dialog_) dialog_->applyValues(state_.callDialog, state_.language);
    tray_->refreshTexts();
}

void AppController::hideCallDialog() {
    if (dialog_) dialog_->hide();
}

void AppController::applyHotkey() {
    if (!hotkey_) return;
    if (!state_.settings.hotkeyEnabled) {
        hotkey_->remove();
        return;
    }
    hotkey_->apply(state_.settings.hotkeyModifier, state_.settings.hotkeyKey);
}

bool AppController::saveCallLog() {
    saveTimer_.stop();
    std::string error;
    if (!pellandor::saveCallLog(settingsPath_, state_.callLog, state_.dialogState, error)) {
        std::cerr << "pellandor: the recent numbers could not be saved: " << error << std::endl;
        return false;
    }
    qCDebug(lcApp) << "recent numbers and dialog place saved";
    return true;
}

void AppController::shutdown() {
    saveCallLog();
    if (hotkey_) hotkey_->remove();
}

}  // namespace pellandor

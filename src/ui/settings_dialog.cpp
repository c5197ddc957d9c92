#include "ui/settings_dialog.h"

#include "base/secret_text.h"
#include "call/keyring_password.h"
#include "call/settings_dialog_save.h"
#include "config/ini_file.h"
#include "config/security_settings.h"
#include "desktop_logic/settings_choices.h"
#include "desktop_logic/trust_display.h"
#include "dialing/text_utils.h"
#include "ui/advanced_dialing_dialog.h"
#include "ui/settings_widgets.h"
#include "ui_settings_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpressionValidator>
#include <QScreen>

#include <algorithm>
#include <cctype>
#include <string_view>

Q_LOGGING_CATEGORY(lcSettings, "pellandor.settings", QtWarningMsg)

namespace pellandor {

namespace {

constexpr int kAccountLimit = 20;
constexpr int kPortLimit = 5;
constexpr int kCodeLimit = 10;
constexpr int kSecondsLimit = 3;
constexpr int kAddressLimit = 255;

// An eye, crossed out while the password is shown (the action then hides it).
QIcon eyeIcon(const QColor& colour, bool crossed) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 2.5));
    QPainterPath outline;
    outline.moveTo(3, 16);
    outline.quadTo(16, 4, 29, 16);
    outline.quadTo(16, 28, 3, 16);
    painter.drawPath(outline);
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(16, 16), 4.5, 4.5);
    if (crossed) painter.drawLine(QPointF(6, 27), QPointF(26, 5));
    return QIcon(pixmap);
}

QString percent(int value) {
    return QString::number(value) + QLatin1Char('%');
}

void selectByText(QComboBox* combo, const std::string& value) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(toStd(combo->itemText(i)));
    int index = -1;
    if (const auto found = listIndexFor(items, value)) {
        index = static_cast<int>(*found);
    } else if (!value.empty()) {
        combo->addItem(toQ(value));
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

// A label's, a button's or a wrapped check box's text.
void setControlText(QWidget* control, const QString& text) {
    if (auto* row = dynamic_cast<WrappingCheckBox*>(control)) {
        row->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    }
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsModel& model, SettingsTargets& targets, StartAtLoginFollower* startAtLogin,
                               QWidget* parent)
    : SettingsDialogBase(parent),
      model_(model),
      targets_(targets),
      startAtLogin_(startAtLogin),
      ui_(std::make_unique<Ui::SettingsDialog>()) {
    useSettingsBackground(this);
    // The form lists the controls in reading order, which is also the Tab order.
    ui_->setupUi(this);
    keepFormSize();
    setUpControls();
    advanced_ = new AdvancedDialingDialog(model_, this);
    store_ = openCredentialStore();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::setUpControls() {
    Ui::SettingsDialog& ui = *ui_;
    for (QLineEdit* edit : {ui.userId, ui.password}) edit->setMaxLength(kAccountLimit);
    acceptDigitsOnly(ui.phoneNumber, kAccountLimit);
    ui.exchangeAddress->setMaxLength(kAddressLimit);
    // Dotted IPv4 as the exchange is usually given, but a host name or an
    // IPv6 address resolves just as well.
    ui.exchangeAddress->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9.:\\-\\[\\]%_]*")), ui.exchangeAddress));
    acceptDigitsOnly(ui.exchangePort, kPortLimit);
    for (QLineEdit* code :
         {ui.coAccessCode, ui.myCountryCode, ui.myAreaCode, ui.internationalCode, ui.pbxCode, ui.longDistanceCode}) {
        acceptDigitsOnly(code, kCodeLimit);
    }
    acceptDigitsOnly(ui.autoHideSeconds, kSecondsLimit);
    ui.autoHideSeconds->setFixedWidth(ui.autoHideSeconds->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                                      16);

    QAction* reveal =
        ui.password->addAction(eyeIcon(palette().color(QPalette::Text), false), QLineEdit::TrailingPosition);
    reveal->setObjectName(QStringLiteral("showPassword"));
    reveal->setCheckable(true);
    reveal->setToolTip(tr("Show password"));
    connect(reveal, &QAction::toggled, this, [this, reveal](bool shown) {
        ui_->password->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        reveal->setIcon(eyeIcon(palette().color(QPalette::Text), shown));
        reveal->setToolTip(shown ? tr("Hide password") : tr("Show password"));
    });

    ui.keyringNote->setForegroundRole(QPalette::PlaceholderText);
    // The key the exchange showed on the first call: a different one later
    // stops every call until the user accepts it here or on the command line.
    ui.forgetKey->setToolTip(tr("The next call trusts the key the exchange shows then"));

    ui.transparency->setRange(0, kMaxTransparency);
    // Room for three digits, measured in the row's plain font.
    ui.transparencyValue->setMinimumWidth(ui.transparencyMax->fontMetrics().horizontalAdvance(QStringLiteral("000%")) +
                                          4);
    connect(ui.transparency, &QSlider::valueChanged, this, &SettingsDialog::onTransparencyMoved);

    for (const std::string& name : sortedForList(hotkeyModifierNames())) ui.hotkeyModifier->addItem(toQ(name));
    for (const std::string& name : sortedForList(hotkeyKeyNames())) ui.hotkeyKey->addItem(toQ(name));

    // In the order the letters are handed out when no button needs one first.
    labelled_ = {
        {"OK", ui.ok},
        {"CANCEL", ui.cancel},
        {"APPLY", ui.apply},
        {"ID", ui.userIdLabel},
        {"PW", ui.passwordLabel},
        {"PN", ui.phoneNumberLabel},
        {nullptr, ui.useKeyringRow, QT_TR_NOOP("Keep the password in the desktop keyring")},
        {"IP", ui.exchangeAddressLabel},
        {"PORT", ui.exchangePortLabel},
        {nullptr, ui.forgetKey, kForgetText},
        {"DIALING_CO", ui.coAccessCodeLabel},
        {"DIAING_NATION", ui.myCountryCodeLabel},
        {"DIALING_AREA", ui.myAreaCodeLabel},
        {"DIALING_INTER", ui.internationalCodeLabel},
        {"DIALING_PBX", ui.pbxCodeLabel},
        {"DIALING_LONG", ui.longDistanceCodeLabel},
        {"DIALING_CHECKBOX_ADDZERO", ui.addZeroRow},
        {"DIALING_ADV", ui.advanced},
        {"DISAPPEARANCE_CHECKBOX", ui.autoHideRow},
        {"DISAPPEARANCE_SECONDS", ui.autoHideSecondsLabel},
        {"DISAPPEARANCE_AFTER_SUCCESS", ui.hideAfterSuccessRow},
        {"TRANSPARENCY_CHECKBOX", ui.transparentRow},
        {"TOPMOST_CHECKBOX", ui.topMostRow},
        {"HANGUP_CHECKBOX", ui.showHangupRow},
        {"FIXEDPOS_CHECKBOX", ui.fixedPositionRow},
        {"ENTERKEY_CHECKBOX", ui.callOnEnterRow},
        {"AUTOSTART_CHECKBOX", ui.autoStartRow},
        {"AUTOCALL_CHECKBOX", ui.autoCallRow},
        {"HOTKEY_CHECKBOX", ui.hotkeyEnabledRow},
        {"HOTKEY_MOD", ui.hotkeyModifierLabel},
        {"HOTKEY_VIRTUAL", ui.hotkeyKeyLabel},
        {"LANGUAGE_ENG", ui.languageEng},
        {"LANGUAGE_LOCAL", ui.languageLocal},
    };
    // The key row came last: it takes a letter the older rows left free.
    labelled_.push_back({nullptr, ui.trustLabel, QT_TR_NOOP("Key")});
    // Buttons and radio buttons choose their letters first: with this many
    // controls the letters run out, and a label can still be reached by Tab.
    const auto firstShared = std::stable_partition(labelled_.begin(), labelled_.end(), [](const Labelled& item) {
        if (item.key == nullptr) return item.english == kForgetText;
        for (const char* key : {"OK", "CANCEL", "APPLY", "LANGUAGE_ENG", "LANGUAGE_LOCAL", "DIALING_ADV"}) {
            if (std::string_view(item.key) == key) return true;
        }
        return false;
    });
    ownLetters_ = static_cast<int>(firstShared - labelled_.begin());

    connect(ui.ok, &QPushButton::clicked, this, &SettingsDialog::onOk);
    connect(ui.cancel, &QPushButton::clicked, this, [this] { done(0); });
    connect(ui.apply, &QPushButton::clicked, this, &SettingsDialog::onApply);
    connect(ui.forgetKey, &QPushButton::clicked, this, &SettingsDialog::forgetKey);
    connect(ui.useKeyringRow->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(ui.advanced, &QPushButton::clicked, this, [this] { advanced_->showModal(); });
    connect(ui.autoHideRow->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(ui.transparentRow->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(ui.hotkeyEnabledRow->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
}

void SettingsDialog::fillControls() {
    const AppSettings& s = model_.settings();
    setEditText(ui_->userId, toQ(s.userId), kAccountLimit);
    setEditText(ui_->password, toQ(s.password), kAccountLimit);
    setEditText(ui_->phoneNumber, toQ(s.phoneNumber), kAccountLimit);
    setEditText(ui_->exchangeAddress, toQ(s.exchangeAddress), kAddressLimit);
    setEditText(ui_->exchangePort, toQ(s.exchangePort), kPortLimit);
    {
        // Asking the keyring tells whether one answers; a password kept
        // there (the file's PW is then empty) is shown from it.
        DialogKeyring keyring = askDialogKeyring(s, model_.settingsPath(), *store_);
        keyringAnswers_ = keyring.answers;
        if (s.password.empty() && keyring.wanted && !keyring.password.empty())
            setEditText(ui_->password, toQ(keyring.password), kAccountLimit);
        wipeString(keyring.password);
        const QSignalBlocker quiet(ui_->useKeyringRow->box());
        ui_->useKeyringRow->box()->setChecked(keyring.wanted && keyringAnswers_);
        ui_->useKeyringRow->setEnabled(keyringAnswers_);
    }
    showTrust();
    ui_->autoHideRow->box()->setChecked(s.autoHide);
    setEditText(ui_->autoHideSeconds, QString::number(s.autoHideSeconds), kSecondsLimit);
    ui_->hideAfterSuccessRow->box()->setChecked(s.hideAfterSuccess);
    ui_->transparentRow->box()->setChecked(s.transparent);
    {
        // Filling is not a move of the slider: nothing is stored.
        const QSignalBlocker quiet(ui_->transparency);
        ui_->transparency->setValue(movedTransparency_.value_or(s.transparencyPercent));
    }
    showTransparencyValue(ui_->transparency->value());
    ui_->callOnEnterRow->box()->setChecked(s.callOnEnter);
    ui_->topMostRow->box()->setChecked(s.topMost);
    ui_->showHangupRow->box()->setChecked(s.showHangup);
    ui_->fixedPositionRow->box()->setChecked(s.fixedPosition);
    ui_->autoStartRow->box()->setChecked(s.autoStart);
    ui_->autoCallRow->box()->setChecked(s.autoCall);
    ui_->hotkeyEnabledRow->box()->setChecked(s.hotkeyEnabled);
    selectByText(ui_->hotkeyModifier, s.hotkeyModifier);
    selectByText(ui_->hotkeyKey, s.hotkeyKey);

    const bool haveLocal = IniFile::snapshot(model_.languagePath()).sectionExists("LOCAL");
    ui_->languageLocal->setVisible(haveLocal);
    (s.language == "LOCAL" && haveLocal ? ui_->languageLocal : ui_->languageEng)->setChecked(true);

    setEditText(ui_->coAccessCode, toQ(s.coAccessCode), kCodeLimit);
    setEditText(ui_->myCountryCode, toQ(s.myCountryCode), kCodeLimit);
    setEditText(ui_->myAreaCode, toQ(s.myAreaCode), kCodeLimit);
    setEditText(ui_->internationalCode, toQ(s.internationalCode), kCodeLimit);
    setEditText(ui_->pbxCode, toQ(s.pbxCode), kCodeLimit);
    setEditText(ui_->longDistanceCode, toQ(s.longDistanceCode), kCodeLimit);
    ui_->addZeroRow->box()->setChecked(s.addZero);
    updateEnabledStates();
}

void SettingsDialog::setTexts() {
    const LanguageTable& t = model_.texts();
    setWindowTitle(toQ(t.text("CAPTION")));
    ui_->userHeader->setText(toQ(t.text("USER_INFO")));
    ui_->systemHeader->setText(toQ(t.text("SYS_INFO")));
    ui_->dialingHeader->setText(toQ(t.text("DIALING_RULE")));
    ui_->functionHeader->setText(toQ(t.text("FUNCTION")));
    ui_->languageLabel->setText(toQ(t.text("LANGUAGE")));
    QStringList texts;
    for (const Labelled& item : labelled_) texts << (item.key ? toQ(t.text(item.key)) : tr(item.english));
    const QStringList marked = withMnemonics(texts, ownLetters_);
    for (std::size_t i = 0; i < labelled_.size(); ++i)
        setControlText(labelled_[i].control, marked[static_cast<int>(i)]);
    ui_->transparencyMin->setText(percent(0));
    ui_->transparencyMax->setText(percent(kMaxTransparency));
    showTransparencyValue(ui_->transparency->value());
}

void SettingsDialog::updateEnabledStates() {
    const bool autoHide = ui_->autoHideRow->box()->isChecked();
    ui_->autoHideSeconds->setEnabled(autoHide);
    ui_->autoHideSecondsLabel->setEnabled(autoHide);
    const bool transparent = ui_->transparentRow->box()->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->transparency, ui_->transparencyMin, ui_->transparencyMax,
                                                      ui_->transparencyValue})
        w->setEnabled(transparent);
    const bool hotkey = ui_->hotkeyEnabledRow->box()->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->hotkeyModifier, ui_->hotkeyKey, ui_->hotkeyModifierLabel,
                                                      ui_->hotkeyKeyLabel})
        w->setEnabled(hotkey);
    QString note;
    switch (keyringNote(keyringAnswers_, ui_->useKeyringRow->box()->isChecked(), !model_.settings().password.empty())) {
        case KeyringNote::NoKeyring:
            note = tr("No keyring answers on this desktop: the password is kept enciphered in the settings file.");
            break;
        case KeyringNote::PasswordStillInFile:
            note = tr("The password is still in the settings file; OK moves it to the keyring.");
            break;
        case KeyringNote::None:
            break;
    }
    ui_->keyringNote->setText(note);
    ui_->keyringNote->setVisible(!note.isEmpty());
}

void SettingsDialog::showTrust() {
    const SecuritySettings security = loadSecuritySettings(IniFile::snapshot(model_.settingsPath()));
    const TrustDisplay display =
        trustDisplay(security, exchangeName(model_.settings().exchangeAddress, model_.settings().exchangePort));
    ui_->pinnedKey->setText(toQ(display.shown));
    ui_->pinnedKey->setToolTip(
        display.full.empty() ? QString() : tr("SHA-256 of the exchange's public key:\n%1").arg(toQ(display.full)));
    ui_->forgetKey->setEnabled(display.forgettable);
}

void SettingsDialog::forgetKey() {
    const std::string exchange = exchangeName(model_.settings().exchangeAddress, model_.settings().exchangePort);
    if (const Status forgot = writePin(model_.settingsPath(), exchange, ""); !forgot) {
        qCWarning(lcSettings) << "forgetting the exchange's key failed:" << toQ(forgot.error());
        QMessageBox::warning(this, QStringLiteral("Error"),
                             tr("The exchange's key could not be forgotten:\n%1").arg(toQ(forgot.error())));
    }
    showTrust();
}

void SettingsDialog::onTransparencyMoved(int value) {
    // Kept at once, even if the dialog is then cancelled; the call dialog
    // sees it with the next OK or Apply.
    movedTransparency_ = value;
    showTransparencyValue(value);
}

void SettingsDialog::showTransparencyValue(int value) {
    ui_->transparencyValue->setText(percent(value));
}

bool SettingsDialog::applySettings() {
    if (!isPortAccepted(toStd(ui_->exchangePort->text()))) {
        QMessageBox::warning(this, windowTitle(), toQ(model_.texts().message("AL_PORT_RANGE")));
        ui_->exchangePort->setFocus();
        ui_->exchangePort->selectAll();
        return false;
    }

    // Everything is read into a copy, which becomes the program's only
    // once the file holds it: a failed save leaves the dialog and the
    // running program as they were.
    AppSettings next = model_.settings();
    if (movedTransparency_) next.transparencyPercent = *movedTransparency_;
    next.userId = toStd(ui_->userId->text());
    next.password = toStd(ui_->password->text());
    next.phoneNumber = toStd(ui_->phoneNumber->text());
    next.exchangeAddress = toStd(ui_->exchangeAddress->text());
    next.exchangePort = toStd(ui_->exchangePort->text());
    next.autoHide = ui_->autoHideRow->box()->isChecked();
    if (next.autoHide) next.autoHideSeconds = leadingDecimal(toStd(ui_->autoHideSeconds->text()));
    next.hideAfterSuccess = ui_->hideAfterSuccessRow->box()->isChecked();
    next.transparent = ui_->transparentRow->box()->isChecked();
    if (next.transparent) next.transparencyPercent = ui_->transparency->value();
    next.callOnEnter = ui_->callOnEnterRow->box()->isChecked();
    next.topMost = ui_->topMostRow->box()->isChecked();
    next.showHangup = ui_->showHangupRow->box()->isChecked();
    next.fixedPosition = ui_->fixedPositionRow->box()->isChecked();
    // Already on: the follower hears of no change, so a removed entry is
    // written again from here.
    const bool autoStartWasOn = model_.settings().autoStart;
    next.autoStart = ui_->autoStartRow->box()->isChecked();
    next.autoCall = ui_->autoCallRow->box()->isChecked();
    next.hotkeyModifier = toStd(ui_->hotkeyModifier->currentText());
    next.hotkeyKey = toStd(ui_->hotkeyKey->currentText());
    next.hotkeyEnabled = ui_->hotkeyEnabledRow->box()->isChecked();
    next.language = ui_->languageLocal->isChecked() ? "LOCAL" : "ENG";
    next.coAccessCode = toStd(ui_->coAccessCode->text());
    next.myCountryCode = toStd(ui_->myCountryCode->text());
    next.myAreaCode = toStd(ui_->myAreaCode->text());
    next.internationalCode = toStd(ui_->internationalCode->text());
    next.pbxCode = toStd(ui_->pbxCode->text());
    next.longDistanceCode = toStd(ui_->longDistanceCode->text());
    next.addZero = ui_->addZeroRow->box()->isChecked();

    const DialogSave save =
        saveDialogSettings(model_, next, ui_->useKeyringRow->box()->isChecked(), keyringAnswers_, *store_);
    wipeString(next.password);
    switch (save.outcome) {
        case DialogSave::Outcome::PasswordTooLong:
            QMessageBox::warning(this, QStringLiteral("Error"), toQ(model_.texts().message("AL_PW_TOO_LONG")));
            ui_->password->setFocus();
            return false;
        case DialogSave::Outcome::KeyringRefused:
            qCWarning(lcSettings) << "the keyring refused the password:" << toQ(save.error);
            QMessageBox::warning(
                this, QStringLiteral("Error"),
                tr("The desktop keyring did not take the password:\n%1\n\nNothing was saved.").arg(toQ(save.error)));
            return false;
        case DialogSave::Outcome::NotSaved:
            qCWarning(lcSettings) << "saving the settings failed:" << toQ(save.error);
            showSaveFailure(this, toQ(model_.texts().message("AL_SETTINGS_NOT_SAVED")), toQ(model_.settingsPath()),
                            toQ(save.error));
            return false;
        case DialogSave::Outcome::Saved:
            break;
    }
    for (const std::string& warning : save.warnings) qCWarning(lcSettings).noquote() << toQ(warning);
    movedTransparency_.reset();
    showTrust();
    updateEnabledStates();
    if (autoStartWasOn && next.autoStart && startAtLogin_ != nullptr) startAtLogin_->restoreIfMissing();
    return true;
}

void SettingsDialog::onOk() {
    if (applySettings()) done(0);
}

void SettingsDialog::onApply() {
    if (!applySettings()) return;
    setTexts();
    update();
}

void SettingsDialog::openDialog() {
    targets_.hideCallDialog();
    targets_.setSettingsClosed(false);
    fillControls();
    setTexts();
    // Not modal: the tray stays in reach (its Call Dialog answers with the
    // notice, Exit still ends the program); settingsClosed keeps the call
    // dialog away meanwhile.
    setWindowModality(Qt::NonModal);
    fixSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    ui_->userId->setFocus();
    showInFront();
}

void SettingsDialog::done(int result) {
    SettingsDialogBase::done(result);
    targets_.setSettingsClosed(true);
}

}  // namespace pellandor

#include "ui/settings_dialog.h"

#include "base/secret_text.h"
#include "call/keyring_password.h"
#include "config/ini_file.h"
#include "config/ini_write_batch.h"
#include "config/security_settings.h"
#include "config/stored_password.h"
#include "dialing/text_utils.h"
#include "ui/advanced_dialing_dialog.h"
#include "ui/settings_widgets.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

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
constexpr int kMaxTransparency = 70;

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

bool startsWithIgnoringCase(const std::string& item, const std::string& prefix) {
    if (prefix.size() > item.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(item[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// The stored name exactly, else the first item it begins (in any case);
// a name the list lacks is added, so OK never drops a hand-edited value.
void selectByText(QComboBox* combo, const std::string& value) {
    int index = combo->findText(toQ(value), Qt::MatchExactly | Qt::MatchCaseSensitive);
    for (int i = 0; index < 0 && !value.empty() && i < combo->count(); ++i) {
        if (startsWithIgnoringCase(toStd(combo->itemText(i)), value)) index = i;
    }
    if (index < 0 && !value.empty()) {
        combo->addItem(toQ(value));
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

MarkerLabel* bullet(QWidget* buddy, QWidget* parent) {
    auto* label = new MarkerLabel(4, false, parent);
    label->setWordWrap(false);
    if (buddy != nullptr) label->setBuddy(buddy);
    return label;
}

}  // namespace

std::vector<std::string> hotkeyKeyNames() {
    std::vector<std::string> names;
    for (int f = 12; f >= 1; --f) {
        // Appended, not "f" + ...: GCC 12's -Wrestrict misreads that
        // operator+ once it is inlined in an optimised build.
        std::string name(1, 'f');
        name += std::to_string(f);
        names.push_back(std::move(name));
    }
    for (char c = '9'; c >= '1'; --c) names.emplace_back(1, c);
    for (char c = 'Z'; c >= 'A'; --c) names.emplace_back(1, c);
    return names;
}

std::vector<std::string> sortedForList(std::vector<std::string> items) {
    std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    return items;
}

SettingsDialog::SettingsDialog(SettingsModel& model, SettingsTargets& targets, StartAtLoginFollower* startAtLogin,
                               QWidget* parent)
    : SettingsDialogBase(parent), model_(model), targets_(targets), startAtLogin_(startAtLogin) {
    setObjectName(QStringLiteral("settingsDialog"));
    useSettingsBackground(this);
    buildControls();
    advanced_ = new AdvancedDialingDialog(model_, this);
    store_ = openCredentialStore();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::buildControls() {
    auto* columns = new QHBoxLayout;
    columns->setSpacing(14);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 45);
    columns->addLayout(right, 55);

    auto makeEdit = [this](const char* name, int limit) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(limit);
        return edit;
    };
    left->setSpacing(4);
    right->setSpacing(4);
    auto makeGroup = [this](QVBoxLayout* column, MarkerLabel*& header) {
        if (column->count() > 0) column->addSpacing(10);
        header = new MarkerLabel(6, true, this);
        column->addWidget(header);
        auto* box = new QGroupBox(this);
        column->addWidget(box);
        return box;
    };
    auto addRow = [this](QFormLayout* form, const char* key, QWidget* field) {
        MarkerLabel* label = bullet(field, this);
        form->addRow(label, field);
        labelled_.push_back({key, [label](const QString& text) { label->setText(text); }});
    };
    auto formIn = [](QGroupBox* box) {
        auto* form = new QFormLayout(box);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return form;
    };
    auto check = [this](WrappingCheckBox* box, const char* key) {
        labelled_.push_back({key, [box](const QString& text) { box->setText(text); }});
    };

    ok_ = new QPushButton;
    cancel_ = new QPushButton;
    apply_ = new QPushButton;
    labelled_.push_back({"OK", [this](const QString& text) { ok_->setText(text); }});
    labelled_.push_back({"CANCEL", [this](const QString& text) { cancel_->setText(text); }});
    labelled_.push_back({"APPLY", [this](const QString& text) { apply_->setText(text); }});

    // Left column: account, exchange, dialling codes. Created in reading
    // order, which is also the Tab order.
    QFormLayout* user = formIn(makeGroup(left, userHeader_));
    userId_ = makeEdit("userId", kAccountLimit);
    addRow(user, "ID", userId_);
    password_ = makeEdit("password", kAccountLimit);
    password_->setEchoMode(QLineEdit::Password);
    QAction* reveal =
        password_->addAction(eyeIcon(palette().color(QPalette::Text), false), QLineEdit::TrailingPosition);
    reveal->setObjectName(QStringLiteral("showPassword"));
    reveal->setCheckable(true);
    reveal->setToolTip(tr("Show password"));
    connect(reveal, &QAction::toggled, this, [this, reveal](bool shown) {
        password_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        reveal->setIcon(eyeIcon(palette().color(QPalette::Text), shown));
        reveal->setToolTip(shown ? tr("Hide password") : tr("Show password"));
    });
    addRow(user, "PW", password_);
    phoneNumber_ = makeDigitsEdit(kAccountLimit, QStringLiteral("phoneNumber"), this);
    addRow(user, "PN", phoneNumber_);
    useKeyring_ = new WrappingCheckBox(this, "useKeyring");
    labelled_.push_back({nullptr, [this](const QString& text) { useKeyring_->setText(text); },
                         QT_TR_NOOP("Keep the password in the desktop keyring")});
    user->addRow(useKeyring_);
    keyringNote_ = new QLabel(this);
    keyringNote_->setObjectName(QStringLiteral("keyringNote"));
    keyringNote_->setWordWrap(true);
    keyringNote_->setForegroundRole(QPalette::PlaceholderText);
    user->addRow(keyringNote_);

    QFormLayout* system = formIn(makeGroup(left, systemHeader_));
    address_ = makeEdit("exchangeAddress", kAddressLimit);
    // Dotted IPv4 as the exchange is usually given, but a host name or an
    // IPv6 address resolves just as well.
    address_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9.:\\-\\[\\]%_]*")), address_));
    addRow(system, "IP", address_);
    port_ = makeDigitsEdit(kPortLimit, QStringLiteral("exchangePort"), this);
    addRow(system, "PORT", port_);
    // The key the exchange showed on the first call: a different one later
    // stops every call until the user accepts it here or on the command line.
    auto* keyRow = new QHBoxLayout;
    pinnedKey_ = new QLabel(this);
    pinnedKey_->setObjectName(QStringLiteral("pinnedKey"));
    pinnedKey_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    forgetKey_ = new QPushButton(this);
    labelled_.push_back({nullptr, [this](const QString& text) { forgetKey_->setText(text); }, kForgetText});
    forgetKey_->setObjectName(QStringLiteral("forgetKey"));
    forgetKey_->setToolTip(tr("The next call trusts the key the exchange shows then"));
    keyRow->addWidget(pinnedKey_, 1);
    keyRow->addWidget(forgetKey_);
    trustLabel_ = bullet(pinnedKey_, this);
    system->addRow(trustLabel_, keyRow);

    QGroupBox* dialingBox = makeGroup(left, dialingHeader_);
    auto* dialingLayout = new QVBoxLayout(dialingBox);
    auto* codes = new QFormLayout;
    codes->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    dialingLayout->addLayout(codes);
    coAccess_ = makeDigitsEdit(kCodeLimit, QStringLiteral("coAccessCode"), this);
    addRow(codes, "DIALING_CO", coAccess_);
    country_ = makeDigitsEdit(kCodeLimit, QStringLiteral("myCountryCode"), this);
    addRow(codes, "DIAING_NATION", country_);
    area_ = makeDigitsEdit(kCodeLimit, QStringLiteral("myAreaCode"), this);
    addRow(codes, "DIALING_AREA", area_);
    international_ = makeDigitsEdit(kCodeLimit, QStringLiteral("internationalCode"), this);
    addRow(codes, "DIALING_INTER", international_);
    pbx_ = makeDigitsEdit(kCodeLimit, QStringLiteral("pbxCode"), this);
    addRow(codes, "DIALING_PBX", pbx_);
    longDistance_ = makeDigitsEdit(kCodeLimit, QStringLiteral("longDistanceCode"), this);
    addRow(codes, "DIALING_LONG", longDistance_);
    addZero_ = new WrappingCheckBox(this, "addZero");
    check(addZero_, "DIALING_CHECKBOX_ADDZERO");
    dialingLayout->addWidget(addZero_);
    advancedButton_ = new QPushButton(this);
    advancedButton_->setObjectName(QStringLiteral("advanced"));
    labelled_.push_back({"DIALING_ADV", [this](const QString& text) { advancedButton_->setText(text); }});
    dialingLayout->addWidget(advancedButton_, 0, Qt::AlignLeft);
    left->addStretch(1);

    // Right column: the call dialog's behaviour, hotkey, language.
    QGroupBox* functions = makeGroup(right, functionHeader_);
    auto* f = new QVBoxLayout(functions);
    f->setSpacing(6);
    autoHide_ = new WrappingCheckBox(this, "autoHide");
    check(autoHide_, "DISAPPEARANCE_CHECKBOX");
    f->addWidget(autoHide_);
    auto* secondsRow = new QHBoxLayout;
    secondsRow->setContentsMargins(24, 0, 0, 0);
    seconds_ = makeDigitsEdit(kSecondsLimit, QStringLiteral("autoHideSeconds"), this);
    seconds_->setFixedWidth(seconds_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    secondsLabel_ = new QLabel(this);
    secondsLabel_->setObjectName(QStringLiteral("autoHideSecondsLabel"));
    secondsLabel_->setBuddy(seconds_);
    labelled_.push_back({"DISAPPEARANCE_SECONDS", [this](const QString& text) { secondsLabel_->setText(text); }});
    secondsRow->addWidget(seconds_);
    secondsRow->addWidget(secondsLabel_, 1);
    f->addLayout(secondsRow);
    hideAfterSuccess_ = new WrappingCheckBox(this, "hideAfterSuccess");
    check(hideAfterSuccess_, "DISAPPEARANCE_AFTER_SUCCESS");
    f->addWidget(hideAfterSuccess_);
    transparent_ = new WrappingCheckBox(this, "transparent");
    check(transparent_, "TRANSPARENCY_CHECKBOX");
    f->addWidget(transparent_);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->setContentsMargins(24, 0, 0, 0);
    transparencyMin_ = new QLabel(percent(0), this);
    transparencyMin_->setObjectName(QStringLiteral("transparencyMin"));
    transparency_ = new QSlider(Qt::Horizontal, this);
    transparency_->setObjectName(QStringLiteral("transparency"));
    transparency_->setRange(0, kMaxTransparency);
    transparency_->setAccessibleName(tr("Transparency"));
    transparencyMax_ = new QLabel(percent(kMaxTransparency), this);
    transparencyMax_->setObjectName(QStringLiteral("transparencyMax"));
    transparencyValue_ = new QLabel(this);
    transparencyValue_->setObjectName(QStringLiteral("transparencyValue"));
    transparencyValue_->setMinimumWidth(transparencyValue_->fontMetrics().horizontalAdvance(QStringLiteral("000%")) +
                                        4);
    transparencyValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont valueFont = transparencyValue_->font();
    valueFont.setBold(true);
    transparencyValue_->setFont(valueFont);
    sliderRow->addWidget(transparencyMin_);
    sliderRow->addWidget(transparency_, 1);
    sliderRow->addWidget(transparencyMax_);
    sliderRow->addWidget(transparencyValue_);
    f->addLayout(sliderRow);
    connect(transparency_, &QSlider::valueChanged, this, &SettingsDialog::onTransparencyMoved);

    struct Row {
        WrappingCheckBox*& box;
        const char* name;
        const char* key;
    };
    const Row rows[] = {
        {topMost_, "topMost", "TOPMOST_CHECKBOX"},
        {showHangup_, "showHangup", "HANGUP_CHECKBOX"},
        {fixedPosition_, "fixedPosition", "FIXEDPOS_CHECKBOX"},
        {callOnEnter_, "callOnEnter", "ENTERKEY_CHECKBOX"},
        {autoStart_, "autoStart", "AUTOSTART_CHECKBOX"},
        {autoCall_, "autoCall", "AUTOCALL_CHECKBOX"},
        {hotkey_, "hotkeyEnabled", "HOTKEY_CHECKBOX"},
    };
    for (const Row& row : rows) {
        row.box = new WrappingCheckBox(this, row.name);
        check(row.box, row.key);
        f->addWidget(row.box);
    }
    auto* keys = new QFormLayout;
    keys->setContentsMargins(24, 0, 0, 0);
    modifier_ = new QComboBox(this);
    modifier_->setObjectName(QStringLiteral("hotkeyModifier"));
    for (const std::string& name : sortedForList({"WIN", "SHIFT", "CTRL", "ALT"})) modifier_->addItem(toQ(name));
    key_ = new QComboBox(this);
    key_->setObjectName(QStringLiteral("hotkeyKey"));
    key_->setMaxVisibleItems(16);
    for (const std::string& name : sortedForList(hotkeyKeyNames())) key_->addItem(toQ(name));
    modifierLabel_ = bullet(modifier_, this);
    modifierLabel_->setObjectName(QStringLiteral("hotkeyModifierLabel"));
    keyLabel_ = bullet(key_, this);
    keyLabel_->setObjectName(QStringLiteral("hotkeyKeyLabel"));
    keys->addRow(modifierLabel_, modifier_);
    keys->addRow(keyLabel_, key_);
    labelled_.push_back({"HOTKEY_MOD", [this](const QString& text) { modifierLabel_->setText(text); }});
    labelled_.push_back({"HOTKEY_VIRTUAL", [this](const QString& text) { keyLabel_->setText(text); }});
    f->addLayout(keys);

    auto* languageBox = new QGroupBox(this);
    auto* languageRow = new QHBoxLayout(languageBox);
    languageLabel_ = bullet(nullptr, this);
    languageEng_ = new QRadioButton(this);
    languageEng_->setObjectName(QStringLiteral("languageEng"));
    languageLocal_ = new QRadioButton(this);
    languageLocal_->setObjectName(QStringLiteral("languageLocal"));
    auto* languages = new QButtonGroup(this);
    languages->addButton(languageEng_);
    languages->addButton(languageLocal_);
    languageRow->addWidget(languageLabel_);
    languageRow->addWidget(languageEng_);
    languageRow->addWidget(languageLocal_);
    languageRow->addStretch(1);
    labelled_.push_back({"LANGUAGE_ENG", [this](const QString& text) { languageEng_->setText(text); }});
    labelled_.push_back({"LANGUAGE_LOCAL", [this](const QString& text) { languageLocal_->setText(text); }});
    right->addSpacing(10);
    right->addWidget(languageBox);
    right->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {ok_, cancel_, apply_}) {
        button->setParent(this);
        button->setMinimumWidth(100);
        buttons->addWidget(button);
    }
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    apply_->setObjectName(QStringLiteral("apply"));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 12, 16, 12);
    outer->addLayout(columns, 1);
    outer->addSpacing(6);
    outer->addLayout(buttons);

    // The buttons were made first for their letters; Tab reaches them last.
    setTabOrder(languageLocal_, ok_);
    setTabOrder(ok_, cancel_);
    setTabOrder(cancel_, apply_);

    // The key row came last: it takes a letter the older rows left free.
    labelled_.push_back({nullptr, [this](const QString& text) { trustLabel_->setText(text); }, QT_TR_NOOP("Key")});
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

    connect(ok_, &QPushButton::clicked, this, &SettingsDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
    connect(apply_, &QPushButton::clicked, this, &SettingsDialog::onApply);
    connect(forgetKey_, &QPushButton::clicked, this, &SettingsDialog::forgetKey);
    connect(useKeyring_->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(advancedButton_, &QPushButton::clicked, this, [this] { advanced_->showModal(); });
    connect(autoHide_->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(transparent_->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
    connect(hotkey_->box(), &QCheckBox::toggled, this, &SettingsDialog::updateEnabledStates);
}

void SettingsDialog::fillControls() {
    const AppSettings& s = model_.settings();
    setEditText(userId_, toQ(s.userId), kAccountLimit);
    setEditText(password_, toQ(s.password), kAccountLimit);
    setEditText(phoneNumber_, toQ(s.phoneNumber), kAccountLimit);
    setEditText(address_, toQ(s.exchangeAddress), kAddressLimit);
    setEditText(port_, toQ(s.exchangePort), kPortLimit);
    {
        // Asking the keyring tells whether one answers; a password kept
        // there (the file's PW is then empty) is shown from it.
        std::string secret, why;
        const CredentialStatus status =
            store_->lookup({trimBlanks(s.exchangeAddress), trimBlanks(s.userId)}, secret, why);
        keyringAnswers_ = status != CredentialStatus::NoStore;
        const bool wanted = loadSecuritySettings(IniFile::snapshot(model_.settingsPath())).useKeyring;
        if (s.password.empty() && wanted && status == CredentialStatus::Ok)
            setEditText(password_, toQ(secret), kAccountLimit);
        wipeString(secret);
        const QSignalBlocker quiet(useKeyring_->box());
        useKeyring_->box()->setChecked(wanted && keyringAnswers_);
        useKeyring_->setEnabled(keyringAnswers_);
    }
    showTrust();
    autoHide_->box()->setChecked(s.autoHide);
    setEditText(seconds_, QString::number(s.autoHideSeconds), kSecondsLimit);
    hideAfterSuccess_->box()->setChecked(s.hideAfterSuccess);
    transparent_->box()->setChecked(s.transparent);
    {
        // Filling is not a move of the slider: nothing is stored.
        const QSignalBlocker quiet(transparency_);
        transparency_->setValue(movedTransparency_.value_or(s.transparencyPercent));
    }
    showTransparencyValue(transparency_->value());
    callOnEnter_->box()->setChecked(s.callOnEnter);
    topMost_->box()->setChecked(s.topMost);
    showHangup_->box()->setChecked(s.showHangup);
    fixedPosition_->box()->setChecked(s.fixedPosition);
    autoStart_->box()->setChecked(s.autoStart);
    autoCall_->box()->setChecked(s.autoCall);
    hotkey_->box()->setChecked(s.hotkeyEnabled);
    selectByText(modifier_, s.hotkeyModifier);
    selectByText(key_, s.hotkeyKey);

    const bool haveLocal = IniFile::snapshot(model_.languagePath()).sectionExists("LOCAL");
    languageLocal_->setVisible(haveLocal);
    (s.language == "LOCAL" && haveLocal ? languageLocal_ : languageEng_)->setChecked(true);

    setEditText(coAccess_, toQ(s.coAccessCode), kCodeLimit);
    setEditText(country_, toQ(s.myCountryCode), kCodeLimit);
    setEditText(area_, toQ(s.myAreaCode), kCodeLimit);
    setEditText(international_, toQ(s.internationalCode), kCodeLimit);
    setEditText(pbx_, toQ(s.pbxCode), kCodeLimit);
    setEditText(longDistance_, toQ(s.longDistanceCode), kCodeLimit);
    addZero_->box()->setChecked(s.addZero);
    updateEnabledStates();
}

void SettingsDialog::setTexts() {
    const LanguageTable& t = model_.texts();
    setWindowTitle(toQ(t.text("CAPTION")));
    userHeader_->setText(toQ(t.text("USER_INFO")));
    systemHeader_->setText(toQ(t.text("SYS_INFO")));
    dialingHeader_->setText(toQ(t.text("DIALING_RULE")));
    functionHeader_->setText(toQ(t.text("FUNCTION")));
    languageLabel_->setText(toQ(t.text("LANGUAGE")));
    QStringList texts;
    for (const Labelled& item : labelled_) texts << (item.key ? toQ(t.text(item.key)) : tr(item.english));
    const QStringList marked = withMnemonics(texts, ownLetters_);
    for (std::size_t i = 0; i < labelled_.size(); ++i) labelled_[i].set(marked[static_cast<int>(i)]);
    transparencyMin_->setText(percent(0));
    transparencyMax_->setText(percent(kMaxTransparency));
    showTransparencyValue(transparency_->value());
}

void SettingsDialog::updateEnabledStates() {
    const bool autoHide = autoHide_->box()->isChecked();
    seconds_->setEnabled(autoHide);
    secondsLabel_->setEnabled(autoHide);
    const bool transparent = transparent_->box()->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{transparency_, transparencyMin_, transparencyMax_, transparencyValue_})
        w->setEnabled(transparent);
    const bool hotkey = hotkey_->box()->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{modifier_, key_, modifierLabel_, keyLabel_})
        w->setEnabled(hotkey);
    QString note;
    if (!keyringAnswers_)
        note = tr("No keyring answers on this desktop: the password is kept enciphered in the settings file.");
    else if (useKeyring_->box()->isChecked() && !model_.settings().password.empty())
        note = tr("The password is still in the settings file; OK moves it to the keyring.");
    keyringNote_->setText(note);
    keyringNote_->setVisible(!note.isEmpty());
}

void SettingsDialog::showTrust() {
    const SecuritySettings security = loadSecuritySettings(IniFile::snapshot(model_.settingsPath()));
    const std::string exchange = exchangeName(model_.settings().exchangeAddress, model_.settings().exchangePort);
    // Both ends of the fingerprint fit the column and are what people compare.
    auto excerpt = [](const std::string& key) {
        return key.size() > 24 ? toQ(key.substr(0, 11)) + QStringLiteral(" \u2026 ") + toQ(key.substr(key.size() - 11))
                               : toQ(key);
    };
    QString shown;
    std::string full;
    bool forgettable = false;
    if (!security.requiredKey.empty()) {
        full = security.requiredKey;
        shown = excerpt(full) + tr(" (set by the administrator)");
    } else if (!security.caFile.empty()) {
        shown = tr("checked against %1").arg(toQ(security.caFile));
    } else if (const std::string pin = pinFor(security, exchange); !pin.empty()) {
        full = pin;
        shown = excerpt(pin);
        forgettable = true;
    } else {
        shown = tr("none yet (kept on the next call)");
    }
    pinnedKey_->setText(shown);
    pinnedKey_->setToolTip(full.empty() ? QString() : tr("SHA-256 of the exchange's public key:\n%1").arg(toQ(full)));
    forgetKey_->setEnabled(forgettable);
}

void SettingsDialog::forgetKey() {
    std::string error;
    const std::string exchange = exchangeName(model_.settings().exchangeAddress, model_.settings().exchangePort);
    if (!writePin(model_.settingsPath(), exchange, "", error)) {
        qCWarning(lcSettings) << "forgetting the exchange's key failed:" << toQ(error);
        QMessageBox::warning(this, QStringLiteral("Error"),
                             tr("The exchange's key could not be forgotten:\n%1").arg(toQ(error)));
    }
    showTrust();
}

bool SettingsDialog::storePassword(AppSettings& next, bool& inKeyring) {
    inKeyring = false;
    const CredentialKey oldKey{trimBlanks(model_.settings().exchangeAddress), trimBlanks(model_.settings().userId)};
    const CredentialKey newKey{trimBlanks(next.exchangeAddress), trimBlanks(next.userId)};
    std::string why;
    if (!keyringAnswers_) return true;
    if (!useKeyring_->box()->isChecked()) {
        // Back to the file: the keyring keeps no stale copy.
        store_->remove(oldKey, why);
        return true;
    }
    std::string password = trimBlanks(next.password);
    const CredentialStatus status =
        password.empty() ? store_->remove(newKey, why) : store_->store(newKey, password, why);
    wipeString(password);
    if (status == CredentialStatus::Failed) {
        qCWarning(lcSettings) << "the keyring refused the password:" << toQ(why);
        QMessageBox::warning(
            this, QStringLiteral("Error"),
            tr("The desktop keyring did not take the password:\n%1\n\nNothing was saved.").arg(toQ(why)));
        return false;
    }
    if (status == CredentialStatus::NoStore) {
        keyringAnswers_ = false;  // gone meanwhile: the file keeps it
        return true;
    }
    if (oldKey.exchangeAddress != newKey.exchangeAddress || oldKey.userId != newKey.userId) store_->remove(oldKey, why);
    inKeyring = true;
    return true;
}

void SettingsDialog::onTransparencyMoved(int value) {
    // Kept at once, even if the dialog is then cancelled; the call dialog
    // sees it with the next OK or Apply.
    movedTransparency_ = value;
    showTransparencyValue(value);
}

void SettingsDialog::showTransparencyValue(int value) {
    transparencyValue_->setText(percent(value));
}

bool SettingsDialog::applySettings() {
    const QString port = port_->text().trimmed();
    if (!port.isEmpty()) {
        bool number = false;
        const uint value = port.toUInt(&number);
        if (!number || value == 0 || value > 65535) {
            QMessageBox::warning(this, windowTitle(), toQ(model_.texts().message("AL_PORT_RANGE")));
            port_->setFocus();
            port_->selectAll();
            return false;
        }
    }

    // Everything is read into a copy, which becomes the program's only
    // once the file holds it: a failed save leaves the dialog and the
    // running program as they were.
    AppSettings next = model_.settings();
    if (movedTransparency_) next.transparencyPercent = *movedTransparency_;
    next.userId = toStd(userId_->text());
    next.password = toStd(password_->text());
    next.phoneNumber = toStd(phoneNumber_->text());
    next.exchangeAddress = toStd(address_->text());
    next.exchangePort = toStd(port_->text());
    next.autoHide = autoHide_->box()->isChecked();
    if (next.autoHide) next.autoHideSeconds = leadingDecimal(toStd(seconds_->text()));
    next.hideAfterSuccess = hideAfterSuccess_->box()->isChecked();
    next.transparent = transparent_->box()->isChecked();
    if (next.transparent) next.transparencyPercent = transparency_->value();
    next.callOnEnter = callOnEnter_->box()->isChecked();
    next.topMost = topMost_->box()->isChecked();
    next.showHangup = showHangup_->box()->isChecked();
    next.fixedPosition = fixedPosition_->box()->isChecked();
    // Already on: the follower hears of no change, so a removed entry is
    // written again from here.
    const bool autoStartWasOn = model_.settings().autoStart;
    next.autoStart = autoStart_->box()->isChecked();
    next.autoCall = autoCall_->box()->isChecked();
    next.hotkeyModifier = toStd(modifier_->currentText());
    next.hotkeyKey = toStd(key_->currentText());
    next.hotkeyEnabled = hotkey_->box()->isChecked();
    next.language = languageLocal_->isChecked() ? "LOCAL" : "ENG";
    next.coAccessCode = toStd(coAccess_->text());
    next.myCountryCode = toStd(country_->text());
    next.myAreaCode = toStd(area_->text());
    next.internationalCode = toStd(international_->text());
    next.pbxCode = toStd(pbx_->text());
    next.longDistanceCode = toStd(longDistance_->text());
    next.addZero = addZero_->box()->isChecked();

    bool inKeyring = false;
    std::string stored;
    if ((!keyringAnswers_ || !useKeyring_->box()->isChecked()) &&
        !encodeStoredPassword(trimBlanks(next.password), stored)) {
        QMessageBox::warning(this, QStringLiteral("Error"), toQ(model_.texts().message("AL_PW_TOO_LONG")));
        password_->setFocus();
        return false;
    }
    // Against the values in effect before this save.
    const bool exchangeChanged = exchangeName(next.exchangeAddress, next.exchangePort) !=
                                 exchangeName(model_.settings().exchangeAddress, model_.settings().exchangePort);
    if (!storePassword(next, inKeyring)) return false;
    // In the keyring, the file's PW stays empty.
    std::string typed;
    if (inKeyring) typed = std::exchange(next.password, std::string());
    const SettingsSaveResult saved = model_.save(next, SettingsPart::General);
    wipeString(typed);
    wipeString(next.password);
    if (!saved) {
        qCWarning(lcSettings) << "saving the settings failed:" << toQ(saved.error);
        showSaveFailure(this, toQ(model_.texts().message("AL_SETTINGS_NOT_SAVED")), toQ(model_.settingsPath()),
                        toQ(saved.error));
        return false;
    }
    movedTransparency_.reset();
    // The [SECURITY] section is not the model's: the keyring choice and the
    // kept key are written beside it.
    if (keyringAnswers_) {
        const bool wanted = useKeyring_->box()->isChecked();
        if (loadSecuritySettings(IniFile::snapshot(model_.settingsPath())).useKeyring != wanted) {
            const Status written =
                writeIniString(model_.settingsPath(), kSecuritySection, kUseKeyringKey, wanted ? "1" : "0");
            if (!written) qCWarning(lcSettings) << "saving the keyring choice failed:" << toQ(written.error());
        }
    }
    std::string error;
    // A key kept for the old address or port is no key of the new one.
    if (exchangeChanged &&
        !dropPinUnlessFor(model_.settingsPath(), exchangeName(next.exchangeAddress, next.exchangePort), error))
        qCWarning(lcSettings) << "dropping the exchange's key failed:" << toQ(error);
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
    fixSize(QSize(650, 670));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    userId_->setFocus();
    showInFront();
}

void SettingsDialog::done(int result) {
    SettingsDialogBase::done(result);
    targets_.setSettingsClosed(true);
}

}  // namespace pellandor

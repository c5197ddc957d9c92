#include "ui/setting_dlg.h"

#include "config/cini.h"
#include "config/stored_password.h"
#include "dialing/text_utils.h"
#include "ui/dialing_rule_dlg_adv.h"
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
QIcon EyeIcon(const QColor& colour, bool crossed) {
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

QString Percent(int value) {
    return QString::number(value) + QLatin1Char('%');
}

bool StartsWithIgnoringCase(const std::string& item, const std::string& prefix) {
    if (prefix.size() > item.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(item[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// The stored name exactly, else the first item it begins (in any case);
// a name the list lacks is added, so OK never drops a hand-edited value.
void SelectByText(QComboBox* combo, const std::string& value) {
    int index = combo->findText(ToQ(value), Qt::MatchExactly | Qt::MatchCaseSensitive);
    for (int i = 0; index < 0 && !value.empty() && i < combo->count(); ++i) {
        if (StartsWithIgnoringCase(ToStd(combo->itemText(i)), value)) index = i;
    }
    if (index < 0 && !value.empty()) {
        combo->addItem(ToQ(value));
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

MarkerLabel* Bullet(QWidget* buddy, QWidget* parent) {
    auto* label = new MarkerLabel(4, false, parent);
    label->setWordWrap(false);
    if (buddy != nullptr) label->setBuddy(buddy);
    return label;
}

}  // namespace

std::vector<std::string> HotkeyKeyNames() {
    std::vector<std::string> names;
    for (int f = 12; f >= 1; --f) names.push_back("f" + std::to_string(f));
    for (char c = '9'; c >= '1'; --c) names.emplace_back(1, c);
    for (char c = 'Z'; c >= 'A'; --c) names.emplace_back(1, c);
    return names;
}

std::vector<std::string> SortedForList(std::vector<std::string> items) {
    std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    return items;
}

CSettingDlg::CSettingDlg(StartupState& state, SettingsFiles files, SettingsTargets& targets, QWidget* parent)
    : SettingsDialogBase(parent), state_(state), files_(std::move(files)), targets_(targets) {
    setObjectName(QStringLiteral("settingsDialog"));
    UseSettingsBackground(this);
    BuildControls();
    advanced_ = new CDialingRuleDlgAdv(state_, files_.settingsPath, files_.languagePath, this);
}

CSettingDlg::~CSettingDlg() = default;

void CSettingDlg::BuildControls() {
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
    auto makeCheck = [this](const char* name) {
        auto* check = new WrappingCheckBox(this);
        check->box()->setObjectName(QLatin1String(name));
        return check;
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
        MarkerLabel* label = Bullet(field, this);
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
    QAction* reveal = password_->addAction(EyeIcon(palette().color(QPalette::Text), false), QLineEdit::TrailingPosition);
    reveal->setObjectName(QStringLiteral("showPassword"));
    reveal->setCheckable(true);
    reveal->setToolTip(tr("Show password"));
    connect(reveal, &QAction::toggled, this, [this, reveal](bool shown) {
        password_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        reveal->setIcon(EyeIcon(palette().color(QPalette::Text), shown));
        reveal->setToolTip(shown ? tr("Hide password") : tr("Show password"));
    });
    addRow(user, "PW", password_);
    phoneNumber_ = MakeDigitsEdit(kAccountLimit, QStringLiteral("phoneNumber"), this);
    addRow(user, "PN", phoneNumber_);

    QFormLayout* system = formIn(makeGroup(left, systemHeader_));
    address_ = makeEdit("exchangeAddress", kAddressLimit);
    // Dotted IPv4 as the exchange is usually given, but a host name or an
    // IPv6 address resolves just as well.
    address_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9.:\\-\\[\\]%_]*")), address_));
    addRow(system, "IP", address_);
    port_ = MakeDigitsEdit(kPortLimit, QStringLiteral("exchangePort"), this);
    addRow(system, "PORT", port_);

    QGroupBox* dialingBox = makeGroup(left, dialingHeader_);
    auto* dialingLayout = new QVBoxLayout(dialingBox);
    auto* codes = new QFormLayout;
    codes->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    dialingLayout->addLayout(codes);
    coAccess_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("coAccessCode"), this);
    addRow(codes, "DIALING_CO", coAccess_);
    country_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("myCountryCode"), this);
    addRow(codes, "DIAING_NATION", country_);
    area_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("myAreaCode"), this);
    addRow(codes, "DIALING_AREA", area_);
    international_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("internationalCode"), this);
    addRow(codes, "DIALING_INTER", international_);
    pbx_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("pbxCode"), this);
    addRow(codes, "DIALING_PBX", pbx_);
    longDistance_ = MakeDigitsEdit(kCodeLimit, QStringLiteral("longDistanceCode"), this);
    addRow(codes, "DIALING_LONG", longDistance_);
    addZero_ = makeCheck("addZero");
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
    autoHide_ = makeCheck("autoHide");
    check(autoHide_, "DISAPPEARANCE_CHECKBOX");
    f->addWidget(autoHide_);
    auto* secondsRow = new QHBoxLayout;
    secondsRow->setContentsMargins(24, 0, 0, 0);
    seconds_ = MakeDigitsEdit(kSecondsLimit, QStringLiteral("autoHideSeconds"), this);
    seconds_->setFixedWidth(seconds_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    secondsLabel_ = new QLabel(this);
    secondsLabel_->setObjectName(QStringLiteral("autoHideSecondsLabel"));
    secondsLabel_->setBuddy(seconds_);
    labelled_.push_back({"DISAPPEARANCE_SECONDS", [this](const QString& text) { secondsLabel_->setText(text); }});
    secondsRow->addWidget(seconds_);
    secondsRow->addWidget(secondsLabel_, 1);
    f->addLayout(secondsRow);
    hideAfterSuccess_ = makeCheck("hideAfterSuccess");
    check(hideAfterSuccess_, "DISAPPEARANCE_AFTER_SUCCESS");
    f->addWidget(hideAfterSuccess_);
    transparent_ = makeCheck("transparent");
    check(transparent_, "TRANSPARENCY_CHECKBOX");
    f->addWidget(transparent_);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->setContentsMargins(24, 0, 0, 0);
    transparencyMin_ = new QLabel(Percent(0), this);
    transparencyMin_->setObjectName(QStringLiteral("transparencyMin"));
    transparency_ = new QSlider(Qt::Horizontal, this);
    transparency_->setObjectName(QStringLiteral("transparency"));
    transparency_->setRange(0, kMaxTransparency);
    transparency_->setAccessibleName(tr("Transparency"));
    transparencyMax_ = new QLabel(Percent(kMaxTransparency), this);
    transparencyMax_->setObjectName(QStringLiteral("transparencyMax"));
    transparencyValue_ = new QLabel(this);
    transparencyValue_->setObjectName(QStringLiteral("transparencyValue"));
    transparencyValue_->setMinimumWidth(transparencyValue_->fontMetrics().horizontalAdvance(QStringLiteral("000%")) + 4);
    transparencyValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont valueFont = transparencyValue_->font();
    valueFont.setBold(true);
    transparencyValue_->setFont(valueFont);
    sliderRow->addWidget(transparencyMin_);
    sliderRow->addWidget(transparency_, 1);
    sliderRow->addWidget(transparencyMax_);
    sliderRow->addWidget(transparencyValue_);
    f->addLayout(sliderRow);
    connect(transparency_, &QSlider::valueChanged, this, &CSettingDlg::OnTransparencyMoved);

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
        row.box = makeCheck(row.name);
        check(row.box, row.key);
        f->addWidget(row.box);
    }
    auto* keys = new QFormLayout;
    keys->setContentsMargins(24, 0, 0, 0);
    modifier_ = new QComboBox(this);
    modifier_->setObjectName(QStringLiteral("hotkeyModifier"));
    for (const std::string& name : SortedForList({"WIN", "SHIFT", "CTRL", "ALT"})) modifier_->addItem(ToQ(name));
    key_ = new QComboBox(this);
    key_->setObjectName(QStringLiteral("hotkeyKey"));
    key_->setMaxVisibleItems(16);
    for (const std::string& name : SortedForList(HotkeyKeyNames())) key_->addItem(ToQ(name));
    modifierLabel_ = Bullet(modifier_, this);
    modifierLabel_->setObjectName(QStringLiteral("hotkeyModifierLabel"));
    keyLabel_ = Bullet(key_, this);
    keyLabel_->setObjectName(QStringLiteral("hotkeyKeyLabel"));
    keys->addRow(modifierLabel_, modifier_);
    keys->addRow(keyLabel_, key_);
    labelled_.push_back({"HOTKEY_MOD", [this](const QString& text) { modifierLabel_->setText(text); }});
    labelled_.push_back({"HOTKEY_VIRTUAL", [this](const QString& text) { keyLabel_->setText(text); }});
    f->addLayout(keys);

    auto* languageBox = new QGroupBox(this);
    auto* languageRow = new QHBoxLayout(languageBox);
    languageLabel_ = Bullet(nullptr, this);
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

    // Buttons and radio buttons choose their letters first: with this many
    // controls the letters run out, and a label can still be reached by Tab.
    std::stable_partition(labelled_.begin(), labelled_.end(), [](const Labelled& item) {
        for (const char* key : {"OK", "CANCEL", "APPLY", "LANGUAGE_ENG", "LANGUAGE_LOCAL", "DIALING_ADV"}) {
            if (std::string_view(item.key) == key) return true;
        }
        return false;
    });

    connect(ok_, &QPushButton::clicked, this, &CSettingDlg::OnOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
    connect(apply_, &QPushButton::clicked, this, &CSettingDlg::OnApply);
    connect(advancedButton_, &QPushButton::clicked, this, [this] { advanced_->ShowModal(); });
    connect(autoHide_->box(), &QCheckBox::toggled, this, &CSettingDlg::UpdateEnabledStates);
    connect(transparent_->box(), &QCheckBox::toggled, this, &CSettingDlg::UpdateEnabledStates);
    connect(hotkey_->box(), &QCheckBox::toggled, this, &CSettingDlg::UpdateEnabledStates);
}

void CSettingDlg::FillControls() {
    const AppSettings& s = state_.settings;
    SetEditText(userId_, ToQ(s.userId), kAccountLimit);
    SetEditText(password_, ToQ(s.password), kAccountLimit);
    SetEditText(phoneNumber_, ToQ(s.phoneNumber), kAccountLimit);
    SetEditText(address_, ToQ(s.exchangeAddress), kAddressLimit);
    SetEditText(port_, ToQ(s.exchangePort), kPortLimit);
    autoHide_->box()->setChecked(s.autoHide);
    SetEditText(seconds_, QString::number(s.autoHideSeconds), kSecondsLimit);
    hideAfterSuccess_->box()->setChecked(s.hideAfterSuccess);
    transparent_->box()->setChecked(s.transparent);
    {
        // Filling is not a move of the slider: nothing is stored.
        const QSignalBlocker quiet(transparency_);
        transparency_->setValue(s.transparencyPercent);
    }
    ShowTransparencyValue(transparency_->value());
    callOnEnter_->box()->setChecked(s.callOnEnter);
    topMost_->box()->setChecked(s.topMost);
    showHangup_->box()->setChecked(s.showHangup);
    fixedPosition_->box()->setChecked(s.fixedPosition);
    autoStart_->box()->setChecked(s.autoStart);
    autoCall_->box()->setChecked(s.autoCall);
    hotkey_->box()->setChecked(s.hotkeyEnabled);
    SelectByText(modifier_, s.hotkeyModifier);
    SelectByText(key_, s.hotkeyKey);

    const bool haveLocal = CIni::Snapshot(files_.languagePath).SectionExists("LOCAL");
    languageLocal_->setVisible(haveLocal);
    (s.language == "LOCAL" && haveLocal ? languageLocal_ : languageEng_)->setChecked(true);

    SetEditText(coAccess_, ToQ(s.coAccessCode), kCodeLimit);
    SetEditText(country_, ToQ(s.myCountryCode), kCodeLimit);
    SetEditText(area_, ToQ(s.myAreaCode), kCodeLimit);
    SetEditText(international_, ToQ(s.internationalCode), kCodeLimit);
    SetEditText(pbx_, ToQ(s.pbxCode), kCodeLimit);
    SetEditText(longDistance_, ToQ(s.longDistanceCode), kCodeLimit);
    addZero_->box()->setChecked(s.addZero);
    UpdateEnabledStates();
}

void CSettingDlg::SetTexts() {
    const LanguageTable& t = state_.language;
    setWindowTitle(ToQ(t.Text("CAPTION")));
    userHeader_->setText(ToQ(t.Text("USER_INFO")));
    systemHeader_->setText(ToQ(t.Text("SYS_INFO")));
    dialingHeader_->setText(ToQ(t.Text("DIALING_RULE")));
    functionHeader_->setText(ToQ(t.Text("FUNCTION")));
    languageLabel_->setText(ToQ(t.Text("LANGUAGE")));
    QStringList texts;
    for (const Labelled& item : labelled_) texts << ToQ(t.Text(item.key));
    const QStringList marked = WithMnemonics(texts);
    for (std::size_t i = 0; i < labelled_.size(); ++i) labelled_[i].set(marked[static_cast<int>(i)]);
    transparencyMin_->setText(Percent(0));
    transparencyMax_->setText(Percent(kMaxTransparency));
    ShowTransparencyValue(transparency_->value());
}

void CSettingDlg::UpdateEnabledStates() {
    const bool autoHide = autoHide_->box()->isChecked();
    seconds_->setEnabled(autoHide);
    secondsLabel_->setEnabled(autoHide);
    const bool transparent = transparent_->box()->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{transparency_, transparencyMin_, transparencyMax_, transparencyValue_})
        w->setEnabled(transparent);
    const bool hotkey = hotkey_->box()->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{modifier_, key_, modifierLabel_, keyLabel_}) w->setEnabled(hotkey);
}

void CSettingDlg::OnTransparencyMoved(int value) {
    // Kept at once, even if the dialog is then cancelled; the call dialog
    // sees it with the next OK or Apply.
    state_.settings.transparencyPercent = value;
    ShowTransparencyValue(value);
}

void CSettingDlg::ShowTransparencyValue(int value) {
    transparencyValue_->setText(Percent(value));
}

bool CSettingDlg::ApplySettings() {
    const QString port = port_->text().trimmed();
    if (!port.isEmpty()) {
        bool number = false;
        const uint value = port.toUInt(&number);
        if (!number || value == 0 || value > 65535) {
            QMessageBox::warning(this, windowTitle(), tr("Please enter a port number from 1 to 65535."));
            port_->setFocus();
            port_->selectAll();
            return false;
        }
    }

    // Everything is read into a copy, which becomes the program's only
    // once the file holds it: a failed save leaves the dialog and the
    // running program as they were.
    AppSettings next = state_.settings;
    next.userId = ToStd(userId_->text());
    next.password = ToStd(password_->text());
    next.phoneNumber = ToStd(phoneNumber_->text());
    next.exchangeAddress = ToStd(address_->text());
    next.exchangePort = ToStd(port_->text());
    next.autoHide = autoHide_->box()->isChecked();
    if (next.autoHide) next.autoHideSeconds = LeadingDecimal(ToStd(seconds_->text()));
    next.hideAfterSuccess = hideAfterSuccess_->box()->isChecked();
    next.transparent = transparent_->box()->isChecked();
    if (next.transparent) next.transparencyPercent = transparency_->value();
    next.callOnEnter = callOnEnter_->box()->isChecked();
    next.topMost = topMost_->box()->isChecked();
    next.showHangup = showHangup_->box()->isChecked();
    next.fixedPosition = fixedPosition_->box()->isChecked();
    const bool autoStartChanged = autoStart_->box()->isChecked() != state_.settings.autoStart;
    next.autoStart = autoStart_->box()->isChecked();
    next.autoCall = autoCall_->box()->isChecked();
    next.hotkeyModifier = ToStd(modifier_->currentText());
    next.hotkeyKey = ToStd(key_->currentText());
    next.hotkeyEnabled = hotkey_->box()->isChecked();
    next.language = languageLocal_->isChecked() ? "LOCAL" : "ENG";
    next.coAccessCode = ToStd(coAccess_->text());
    next.myCountryCode = ToStd(country_->text());
    next.myAreaCode = ToStd(area_->text());
    next.internationalCode = ToStd(international_->text());
    next.pbxCode = ToStd(pbx_->text());
    next.longDistanceCode = ToStd(longDistance_->text());
    next.addZero = addZero_->box()->isChecked();

    std::string stored;
    if (!EncodeStoredPassword(TrimBlanks(next.password), stored)) {
        QMessageBox::warning(this, QStringLiteral("Error"),
                             tr("The password is too long to be stored. Nothing was saved."));
        password_->setFocus();
        return false;
    }
    const SettingsSaveResult saved = SaveSettings(files_.settingsPath, next);
    if (!saved) {
        qCWarning(lcSettings) << "saving the settings failed:" << ToQ(saved.error);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"),
                        tr("The settings could not be saved to\n%1\n\nNothing was changed; your entries are "
                           "still in the dialog.")
                            .arg(ToQ(files_.settingsPath)),
                        QMessageBox::Ok, this);
        box.setDetailedText(ToQ(saved.error));
        box.exec();
        return false;
    }
    state_.settings = next;

    if (autoStartChanged) {
        const AutostartResult result = targets_.SetStartAtLogin(next.autoStart);
        if (!result) {
            qCWarning(lcSettings) << "start at login:" << ToQ(result.detail);
            QMessageBox box(QMessageBox::Warning, QString(),
                            ToQ(AutostartFailureText(next.autoStart, result.failedStep)), QMessageBox::Ok, this);
            box.setDetailedText(ToQ(result.detail));
            box.exec();
        }
    }
    targets_.ApplyHotkey(state_.settings);
    PushToCallDialog(state_.settings, state_.callDialog);
    PushDialingCodes(state_.settings, state_.rules);
    CopyInDialingRuleAdv(state_.advanced, state_.special, state_.rules);
    state_.language.LoadLanguage(files_.languagePath, state_.settings.language);
    state_.advanced.LAN = state_.settings.language;
    state_.special.LAN = state_.settings.language;
    targets_.SettingsApplied(state_.callDialog, state_.language);
    return true;
}

void CSettingDlg::OnOk() {
    if (ApplySettings()) done(0);
}

void CSettingDlg::OnApply() {
    if (!ApplySettings()) return;
    SetTexts();
    update();
}

void CSettingDlg::OpenDialog() {
    targets_.HideCallDialog();
    targets_.SetSettingsClosed(false);
    FillControls();
    SetTexts();
    setWindowModality(Qt::ApplicationModal);
    resize(650, 670);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    userId_->setFocus();
    ShowInFront();
}

void CSettingDlg::done(int result) {
    SettingsDialogBase::done(result);
    targets_.SetSettingsClosed(true);
}


}  // namespace pellandor

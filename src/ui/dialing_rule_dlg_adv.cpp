#include "ui/dialing_rule_dlg_adv.h"

#include "config/cini.h"
#include "ui/dialing_rule_dlg_adv_adv.h"
#include "ui/settings_widgets.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellandor {

namespace {
constexpr int kEqualDigitsLimit = 10;
constexpr int kMinLengthLimit = 1;
}  // namespace

CDialingRuleDlgAdv::CDialingRuleDlgAdv(StartupState& state, std::string settingsPath, std::string languagePath,
                                       QWidget* parent)
    : SettingsDialogBase(parent), state_(state), settingsPath_(std::move(settingsPath)), languagePath_(std::move(languagePath)) {
    setObjectName(QStringLiteral("advancedDialingDialog"));
    UseSettingsBackground(this);
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    auto indented = [layout](QWidget* field) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(15, 0, 0, 8);
        row->addWidget(field);
        row->addStretch(1);
        layout->addLayout(row);
    };
    equalDigits_ = MakeDigitsEdit(kEqualDigitsLimit, QStringLiteral("equalDigits"), this);
    equalDigits_->setFixedWidth(110);
    equalLabel_ = new MarkerLabel(6, false, this);
    equalLabel_->setBuddy(equalDigits_);
    layout->addWidget(equalLabel_);
    indented(equalDigits_);
    minLength_ = MakeDigitsEdit(kMinLengthLimit, QStringLiteral("minPopupLength"), this);
    minLength_->setFixedWidth(110);
    lengthLabel_ = new MarkerLabel(6, false, this);
    lengthLabel_->setBuddy(minLength_);
    layout->addWidget(lengthLabel_);
    indented(minLength_);
    auto makeCheck = [this, layout](const char* name) {
        auto* check = new WrappingCheckBox(this);
        check->box()->setObjectName(QLatin1String(name));
        layout->addWidget(check);
        return check;
    };
    areaCode_ = makeCheck("useAreaCode");
    international_ = makeCheck("useInternationalRule");
    popupForChar_ = makeCheck("usePopupForChar");
    specialButton_ = new QPushButton(this);
    specialButton_->setObjectName(QStringLiteral("special"));
    layout->addSpacing(6);
    layout->addWidget(specialButton_, 0, Qt::AlignLeft);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    setTabOrder(specialButton_, ok_);
    setTabOrder(ok_, cancel_);

    special_ = new CDialingRuleDlgAdvAdv(state_, settingsPath_, languagePath_, this);
    connect(specialButton_, &QPushButton::clicked, this, [this] { special_->ShowModal(); });
    connect(ok_, &QPushButton::clicked, this, &CDialingRuleDlgAdv::OnOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
}

CDialingRuleDlgAdv::~CDialingRuleDlgAdv() = default;

void CDialingRuleDlgAdv::SetTexts() {
    const LanguageTable& t = state_.advancedTexts;
    setWindowTitle(ToQ(t.Text("DIALING_ADV_CAPTION")));
    const QStringList marked = WithMnemonics({ToQ(t.Text("OK")), ToQ(t.Text("CANCEL")),
                                              ToQ(t.Text("DIALING_ADV_ADDEQUALNUM")),
                                              ToQ(t.Text("DIALING_ADV_POPUPLENGTH")),
                                              ToQ(t.Text("DIALING_ADV_CHECKBOX_DIALINGAREACODE")),
                                              ToQ(t.Text("DIALING_ADV_CHECKBOX_INTERNATIONAL")),
                                              ToQ(t.Text("DIALING_ADV_POPUP_FOR_CHAR")), ToQ(t.Text("DIALING_ADV_ADV"))});
    ok_->setText(marked[0]);
    cancel_->setText(marked[1]);
    equalLabel_->setText(marked[2]);
    lengthLabel_->setText(marked[3]);
    areaCode_->setText(marked[4]);
    international_->setText(marked[5]);
    popupForChar_->setText(marked[6]);
    specialButton_->setText(marked[7]);
}

void CDialingRuleDlgAdv::OpenDialog() {
    // Every opening starts from the files, so a cancelled edit leaves nothing behind.
    LoadDialingRuleAdv(settingsPath_, state_.advanced);
    state_.advancedTexts.LoadLanguage(languagePath_, state_.advanced.LAN);
    const DialingRuleAdvValues& v = state_.advanced;
    SetEditText(equalDigits_, ToQ(v.NUM_ADD_EQUAL), kEqualDigitsLimit);
    SetEditText(minLength_, ToQ(v.MIN_POPUP_LENGTH), kMinLengthLimit);
    areaCode_->box()->setChecked(v.USE_AREA_CODE);
    international_->box()->setChecked(v.USE_INTERNATIONAL_RULE);
    popupForChar_->box()->setChecked(v.USE_POPUP_FOR_CHAR);
    SetTexts();
    setWindowModality(Qt::ApplicationModal);
    resize(330, 380);
    if (QWidget* owner = parentWidget()) move(owner->frameGeometry().topLeft());
    equalDigits_->setFocus();
    ShowInFront();
}

void CDialingRuleDlgAdv::OnOk() {
    const int length = LeadingDecimal(ToStd(minLength_->text()));
    if (length < 1 || length > 30) {
        QMessageBox::information(this, QString(), ToQ(state_.advancedTexts.Text("DIALING_ADV_FAIL_TO_SAVE_LENGTH")));
        minLength_->setFocus();
        return;
    }
    DialingRuleAdvValues next = state_.advanced;
    next.NUM_ADD_EQUAL = ToStd(equalDigits_->text());
    next.USE_AREA_CODE = areaCode_->box()->isChecked();
    next.USE_INTERNATIONAL_RULE = international_->box()->isChecked();
    next.USE_POPUP_FOR_CHAR = popupForChar_->box()->isChecked();
    next.MIN_POPUP_LENGTH = ToStd(minLength_->text());
    std::string error;
    if (!SaveDialingRuleAdv(settingsPath_, next, error)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"),
                        tr("The dialing rules could not be saved to\n%1\n\nNothing was changed; your entries are "
                           "still in the dialog.")
                            .arg(ToQ(settingsPath_)),
                        QMessageBox::Ok, this);
        box.setDetailedText(ToQ(error));
        box.exec();
        return;
    }
    state_.advanced = next;
    // The special values held now go in with these.
    CopyInDialingRuleAdv(state_.advanced, state_.special, state_.rules);
    state_.advancedTexts.LoadLanguage(languagePath_, state_.advanced.LAN);
    done(0);
}


}  // namespace pellandor

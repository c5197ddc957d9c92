#include "ui/advanced_dialing_dialog.h"

#include "config/ini_file.h"
#include "ui/special_dialing_dialog.h"
#include "ui/settings_widgets.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellandor {

namespace {
constexpr int kEqualDigitsLimit = 10;
constexpr int kMinLengthLimit = 2;  // 1 to 30
}  // namespace

AdvancedDialingDialog::AdvancedDialingDialog(SettingsModel& model, QWidget* parent)
    : SettingsDialogBase(parent), model_(model) {
    setObjectName(QStringLiteral("advancedDialingDialog"));
    useSettingsBackground(this);
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
    equalDigits_ = makeDigitsEdit(kEqualDigitsLimit, QStringLiteral("equalDigits"), this);
    equalDigits_->setFixedWidth(110);
    equalLabel_ = new MarkerLabel(6, false, this);
    equalLabel_->setBuddy(equalDigits_);
    layout->addWidget(equalLabel_);
    indented(equalDigits_);
    minLength_ = makeDigitsEdit(kMinLengthLimit, QStringLiteral("minPopupLength"), this);
    minLength_->setFixedWidth(110);
    lengthLabel_ = new MarkerLabel(6, false, this);
    lengthLabel_->setBuddy(minLength_);
    layout->addWidget(lengthLabel_);
    indented(minLength_);
    areaCode_ = new WrappingCheckBox(this, "useAreaCode");
    international_ = new WrappingCheckBox(this, "useInternationalRule");
    popupForChar_ = new WrappingCheckBox(this, "usePopupForChar");
    for (QWidget* check : {areaCode_, international_, popupForChar_}) layout->addWidget(check);
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

    special_ = new SpecialDialingDialog(model_, this);
    connect(specialButton_, &QPushButton::clicked, this, [this] { special_->showModal(); });
    connect(ok_, &QPushButton::clicked, this, &AdvancedDialingDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
}

AdvancedDialingDialog::~AdvancedDialingDialog() = default;

void AdvancedDialingDialog::setTexts() {
    const LanguageTable& t = model_.advancedTexts();
    setWindowTitle(toQ(t.text("DIALING_ADV_CAPTION")));
    const QStringList marked =
        withMnemonics({toQ(t.text("OK")), toQ(t.text("CANCEL")), toQ(t.text("DIALING_ADV_ADDEQUALNUM")),
                       toQ(t.text("DIALING_ADV_POPUPLENGTH")), toQ(t.text("DIALING_ADV_CHECKBOX_DIALINGAREACODE")),
                       toQ(t.text("DIALING_ADV_CHECKBOX_INTERNATIONAL")), toQ(t.text("DIALING_ADV_POPUP_FOR_CHAR")),
                       toQ(t.text("DIALING_ADV_ADV"))});
    ok_->setText(marked[0]);
    cancel_->setText(marked[1]);
    equalLabel_->setText(marked[2]);
    lengthLabel_->setText(marked[3]);
    areaCode_->setText(marked[4]);
    international_->setText(marked[5]);
    popupForChar_->setText(marked[6]);
    specialButton_->setText(marked[7]);
}

void AdvancedDialingDialog::openDialog() {
    // Every opening starts from the model, so a cancelled edit leaves nothing behind.
    const AppSettings& v = model_.settings();
    setEditText(equalDigits_, toQ(v.equalDigits), kEqualDigitsLimit);
    setEditText(minLength_, toQ(v.minPopupLength), kMinLengthLimit);
    areaCode_->box()->setChecked(v.useAreaCode);
    international_->box()->setChecked(v.useInternationalRule);
    popupForChar_->box()->setChecked(v.usePopupForChar);
    setTexts();
    // Modal to the settings dialog only; the tray stays in reach.
    setWindowModality(Qt::WindowModal);
    fixSize(QSize(330, 380));
    if (QWidget* owner = parentWidget()) move(owner->frameGeometry().topLeft());
    equalDigits_->setFocus();
    showInFront();
}

void AdvancedDialingDialog::onOk() {
    const int length = leadingDecimal(toStd(minLength_->text()));
    if (length < 1 || length > 30) {
        QMessageBox::information(this, QString(), toQ(model_.advancedTexts().text("DIALING_ADV_FAIL_TO_SAVE_LENGTH")));
        minLength_->setFocus();
        return;
    }
    AppSettings next = model_.settings();
    next.equalDigits = toStd(equalDigits_->text());
    next.useAreaCode = areaCode_->box()->isChecked();
    next.useInternationalRule = international_->box()->isChecked();
    next.usePopupForChar = popupForChar_->box()->isChecked();
    next.minPopupLength = toStd(minLength_->text());
    const SettingsSaveResult saved = model_.save(next, SettingsPart::AdvancedDialing);
    if (!saved.written) {
        showSaveFailure(this, toQ(model_.texts().message("AL_DIALING_NOT_SAVED")), toQ(model_.settingsPath()),
                        toQ(saved.error));
        return;
    }
    done(0);
}

}  // namespace pellandor

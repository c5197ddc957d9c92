#include "ui/advanced_dialing_dialog.h"

#include "config/ini_file.h"
#include "desktop_logic/settings_choices.h"
#include "ui/special_dialing_dialog.h"
#include "ui/settings_widgets.h"
#include "ui_advanced_dialing_dialog.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace pellandor {

namespace {
constexpr int kEqualDigitsLimit = 10;
constexpr int kMinLengthLimit = 2;  // 1 to 30
}  // namespace

AdvancedDialingDialog::AdvancedDialingDialog(SettingsModel& model, QWidget* parent)
    : SettingsDialogBase(parent), model_(model), ui_(std::make_unique<Ui::AdvancedDialingDialog>()) {
    useSettingsBackground(this);
    // The form lists the controls in Tab order.
    ui_->setupUi(this);
    keepFormSize();
    acceptDigitsOnly(ui_->equalDigits, kEqualDigitsLimit);
    acceptDigitsOnly(ui_->minPopupLength, kMinLengthLimit);

    special_ = new SpecialDialingDialog(model_, this);
    connect(ui_->special, &QPushButton::clicked, this, [this] { special_->showModal(); });
    connect(ui_->ok, &QPushButton::clicked, this, &AdvancedDialingDialog::onOk);
    connect(ui_->cancel, &QPushButton::clicked, this, [this] { done(0); });
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
    ui_->ok->setText(marked[0]);
    ui_->cancel->setText(marked[1]);
    ui_->equalLabel->setText(marked[2]);
    ui_->lengthLabel->setText(marked[3]);
    ui_->useAreaCodeRow->setText(marked[4]);
    ui_->useInternationalRuleRow->setText(marked[5]);
    ui_->usePopupForCharRow->setText(marked[6]);
    ui_->special->setText(marked[7]);
}

void AdvancedDialingDialog::openDialog() {
    // Every opening starts from the model, so a cancelled edit leaves nothing behind.
    const AppSettings& v = model_.settings();
    setEditText(ui_->equalDigits, toQ(v.equalDigits), kEqualDigitsLimit);
    setEditText(ui_->minPopupLength, toQ(v.minPopupLength), kMinLengthLimit);
    ui_->useAreaCodeRow->box()->setChecked(v.useAreaCode);
    ui_->useInternationalRuleRow->box()->setChecked(v.useInternationalRule);
    ui_->usePopupForCharRow->box()->setChecked(v.usePopupForChar);
    setTexts();
    // Modal to the settings dialog only; the tray stays in reach.
    setWindowModality(Qt::WindowModal);
    fixSize();
    if (QWidget* owner = parentWidget()) move(owner->frameGeometry().topLeft());
    ui_->equalDigits->setFocus();
    showInFront();
}

void AdvancedDialingDialog::onOk() {
    if (!isMinPopupLengthAccepted(toStd(ui_->minPopupLength->text()))) {
        QMessageBox::information(this, QString(), toQ(model_.advancedTexts().text("DIALING_ADV_FAIL_TO_SAVE_LENGTH")));
        ui_->minPopupLength->setFocus();
        return;
    }
    AppSettings next = model_.settings();
    next.equalDigits = toStd(ui_->equalDigits->text());
    next.useAreaCode = ui_->useAreaCodeRow->box()->isChecked();
    next.useInternationalRule = ui_->useInternationalRuleRow->box()->isChecked();
    next.usePopupForChar = ui_->usePopupForCharRow->box()->isChecked();
    next.minPopupLength = toStd(ui_->minPopupLength->text());
    const Status saved = model_.save(next, SettingsPart::AdvancedDialing);
    if (!saved) {
        showSaveFailure(this, toQ(model_.texts().message("AL_DIALING_NOT_SAVED")), toQ(model_.settingsPath()),
                        toQ(saved.error()));
        return;
    }
    done(0);
}

}  // namespace pellandor

#include "ui/special_dialing_dialog.h"

#include "ui/settings_widgets.h"
#include "ui_special_dialing_dialog.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace pellandor {

namespace {
constexpr int kPrefixLimit = 10;
constexpr int kLengthLimit = 1;
}  // namespace

SpecialDialingDialog::SpecialDialingDialog(SettingsModel& model, QWidget* parent)
    : SettingsDialogBase(parent), model_(model), ui_(std::make_unique<Ui::SpecialDialingDialog>()) {
    useSettingsBackground(this);
    // The form lists the controls in Tab order.
    ui_->setupUi(this);
    keepFormSize();
    prefixLabels_ = {ui_->prefix1Label, ui_->prefix2Label, ui_->prefix3Label, ui_->prefix4Label, ui_->prefix5Label};
    prefixes_ = {ui_->prefix1, ui_->prefix2, ui_->prefix3, ui_->prefix4, ui_->prefix5};
    for (QLineEdit* prefix : prefixes_) acceptDigitsOnly(prefix, kPrefixLimit);
    acceptDigitsOnly(ui_->lengthCoExtension, kLengthLimit);

    connect(ui_->useNonStdRow->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(ui_->usePrefixRow->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(ui_->useCoExtensionLengthRow->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(ui_->ok, &QPushButton::clicked, this, &SpecialDialingDialog::onOk);
    connect(ui_->cancel, &QPushButton::clicked, this, [this] { done(0); });
}

SpecialDialingDialog::~SpecialDialingDialog() = default;

void SpecialDialingDialog::setTexts() {
    const LanguageTable& t = model_.specialTexts();
    setWindowTitle(toQ(t.text("DIALING_ADV_ADV_CAPTION")));
    QStringList texts{toQ(t.text("OK")), toQ(t.text("CANCEL")), toQ(t.text("DIALING_ADV_ADV_CHECKBOX_NONSTD")),
                      toQ(t.text("DIALING_ADV_ADV_CHECKBOX_PREFIX"))};
    for (int i = 1; i <= 5; ++i) texts << toQ(t.text("DIALING_ADV_ADV_PREFIX" + std::to_string(i)));
    texts << toQ(t.text("DIALING_ADV_ADV_CHECKBOX_LENGTHEXTENSTION"));
    const QStringList marked = withMnemonics(texts);
    ui_->ok->setText(marked[0]);
    ui_->cancel->setText(marked[1]);
    ui_->useNonStdRow->setText(marked[2]);
    ui_->usePrefixRow->setText(marked[3]);
    for (int i = 0; i < 5; ++i) prefixLabels_[static_cast<std::size_t>(i)]->setText(marked[4 + i]);
    ui_->useCoExtensionLengthRow->setText(marked[9]);
}

void SpecialDialingDialog::updateEnabledStates() {
    const bool nonStandard = ui_->useNonStdRow->box()->isChecked();
    ui_->usePrefixRow->box()->setEnabled(nonStandard);
    ui_->useCoExtensionLengthRow->box()->setEnabled(nonStandard);
    const bool prefixes = nonStandard && ui_->usePrefixRow->box()->isChecked();
    for (std::size_t i = 0; i < prefixes_.size(); ++i) {
        prefixes_[i]->setEnabled(prefixes);
        prefixLabels_[i]->setEnabled(prefixes);
    }
    ui_->lengthCoExtension->setEnabled(nonStandard && ui_->useCoExtensionLengthRow->box()->isChecked());
}

void SpecialDialingDialog::openDialog() {
    const AppSettings& v = model_.settings();
    ui_->useNonStdRow->box()->setChecked(v.useNonStandard);
    ui_->usePrefixRow->box()->setChecked(v.usePrefix);
    ui_->useCoExtensionLengthRow->box()->setChecked(v.useCoExtensionLength);
    const std::string* values[] = {&v.prefix1, &v.prefix2, &v.prefix3, &v.prefix4, &v.prefix5};
    for (std::size_t i = 0; i < prefixes_.size(); ++i) setEditText(prefixes_[i], toQ(*values[i]), kPrefixLimit);
    setEditText(ui_->lengthCoExtension, toQ(v.coExtensionLength), kLengthLimit);
    updateEnabledStates();
    setTexts();
    setWindowModality(Qt::WindowModal);
    fixSize();
    if (QWidget* owner = parentWidget()) move(owner->frameGeometry().center());
    ui_->useNonStdRow->box()->setFocus();
    showInFront();
}

void SpecialDialingDialog::onOk() {
    AppSettings next = model_.settings();
    next.useNonStandard = ui_->useNonStdRow->box()->isChecked();
    next.usePrefix = ui_->usePrefixRow->box()->isChecked();
    next.useCoExtensionLength = ui_->useCoExtensionLengthRow->box()->isChecked();
    std::string* values[] = {&next.prefix1, &next.prefix2, &next.prefix3, &next.prefix4, &next.prefix5};
    for (std::size_t i = 0; i < prefixes_.size(); ++i) *values[i] = toStd(prefixes_[i]->text());
    next.coExtensionLength = ui_->lengthCoExtension->text().isEmpty() ? "0" : toStd(ui_->lengthCoExtension->text());
    const Status saved = model_.save(next, SettingsPart::SpecialDialing);
    if (!saved) {
        showSaveFailure(this, toQ(model_.texts().message("AL_DIALING_NOT_SAVED")), toQ(model_.settingsPath()),
                        toQ(saved.error()));
        return;
    }
    done(0);
}

}  // namespace pellandor

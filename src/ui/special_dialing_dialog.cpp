#include "ui/special_dialing_dialog.h"

#include "ui/settings_widgets.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellandor {

namespace {
constexpr int kPrefixLimit = 10;
constexpr int kLengthLimit = 1;
}  // namespace

SpecialDialingDialog::SpecialDialingDialog(SettingsModel& model, QWidget* parent)
    : SettingsDialogBase(parent), model_(model) {
    setObjectName(QStringLiteral("specialDialingDialog"));
    useSettingsBackground(this);
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    nonStandard_ = new WrappingCheckBox(this, "useNonStd");
    layout->addWidget(nonStandard_);
    auto* inner = new QVBoxLayout;
    inner->setContentsMargins(15, 0, 0, 0);
    layout->addLayout(inner);
    usePrefix_ = new WrappingCheckBox(this, "usePrefix");
    inner->addWidget(usePrefix_);
    auto* prefixes = new QFormLayout;
    prefixes->setContentsMargins(11, 0, 0, 6);
    for (std::size_t i = 0; i < prefixes_.size(); ++i) {
        prefixes_[i] = makeDigitsEdit(kPrefixLimit, QStringLiteral("prefix%1").arg(i + 1), this);
        prefixes_[i]->setFixedWidth(96);
        prefixLabels_[i] = new MarkerLabel(4, false, this);
        prefixLabels_[i]->setWordWrap(false);
        prefixLabels_[i]->setBuddy(prefixes_[i]);
        prefixes->addRow(prefixLabels_[i], prefixes_[i]);
    }
    inner->addLayout(prefixes);
    useLength_ = new WrappingCheckBox(this, "useCoExtensionLength");
    inner->addWidget(useLength_);
    length_ = makeDigitsEdit(kLengthLimit, QStringLiteral("lengthCoExtension"), this);
    length_->setFixedWidth(48);
    length_->setAccessibleName(QStringLiteral("LENGTH_CO_EXTENSION"));
    auto* lengthRow = new QHBoxLayout;
    lengthRow->setContentsMargins(26, 0, 0, 0);
    lengthRow->addWidget(length_);
    lengthRow->addStretch(1);
    inner->addLayout(lengthRow);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    setTabOrder(length_, ok_);
    setTabOrder(ok_, cancel_);

    connect(nonStandard_->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(usePrefix_->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(useLength_->box(), &QCheckBox::toggled, this, &SpecialDialingDialog::updateEnabledStates);
    connect(ok_, &QPushButton::clicked, this, &SpecialDialingDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
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
    ok_->setText(marked[0]);
    cancel_->setText(marked[1]);
    nonStandard_->setText(marked[2]);
    usePrefix_->setText(marked[3]);
    for (int i = 0; i < 5; ++i) prefixLabels_[static_cast<std::size_t>(i)]->setText(marked[4 + i]);
    useLength_->setText(marked[9]);
}

void SpecialDialingDialog::updateEnabledStates() {
    const bool nonStandard = nonStandard_->box()->isChecked();
    usePrefix_->box()->setEnabled(nonStandard);
    useLength_->box()->setEnabled(nonStandard);
    const bool prefixes = nonStandard && usePrefix_->box()->isChecked();
    for (std::size_t i = 0; i < prefixes_.size(); ++i) {
        prefixes_[i]->setEnabled(prefixes);
        prefixLabels_[i]->setEnabled(prefixes);
    }
    length_->setEnabled(nonStandard && useLength_->box()->isChecked());
}

void SpecialDialingDialog::openDialog() {
    const AppSettings& v = model_.settings();
    nonStandard_->box()->setChecked(v.useNonStandard);
    usePrefix_->box()->setChecked(v.usePrefix);
    useLength_->box()->setChecked(v.useCoExtensionLength);
    const std::string* values[] = {&v.prefix1, &v.prefix2, &v.prefix3, &v.prefix4, &v.prefix5};
    for (std::size_t i = 0; i < prefixes_.size(); ++i) setEditText(prefixes_[i], toQ(*values[i]), kPrefixLimit);
    setEditText(length_, toQ(v.coExtensionLength), kLengthLimit);
    updateEnabledStates();
    setTexts();
    setWindowModality(Qt::WindowModal);
    fixSize(QSize(270, 400));
    if (QWidget* owner = parentWidget()) move(owner->frameGeometry().center());
    nonStandard_->box()->setFocus();
    showInFront();
}

void SpecialDialingDialog::onOk() {
    AppSettings next = model_.settings();
    next.useNonStandard = nonStandard_->box()->isChecked();
    next.usePrefix = usePrefix_->box()->isChecked();
    next.useCoExtensionLength = useLength_->box()->isChecked();
    std::string* values[] = {&next.prefix1, &next.prefix2, &next.prefix3, &next.prefix4, &next.prefix5};
    for (std::size_t i = 0; i < prefixes_.size(); ++i) *values[i] = toStd(prefixes_[i]->text());
    next.coExtensionLength = length_->text().isEmpty() ? "0" : toStd(length_->text());
    const SettingsSaveResult saved = model_.save(next, SettingsPart::SpecialDialing);
    if (!saved.written) {
        showSaveFailure(this, toQ(model_.texts().message("AL_DIALING_NOT_SAVED")), toQ(model_.settingsPath()),
                        toQ(saved.error));
        return;
    }
    done(0);
}

}  // namespace pellandor

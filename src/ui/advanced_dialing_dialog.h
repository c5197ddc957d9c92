#pragma once
// The advanced dialing dialog: "=" digits, area-code and "+" rules, pop-up
// filter and minimum length (section DIALING_RULE_ADV). Opened from the
// settings dialog; opens the special dialing dialog.

#include "config/settings_model.h"

#include "ui/settings_widgets.h"

#include <string>

class QLineEdit;
class QPushButton;

namespace pellandor {

class SpecialDialingDialog;

class AdvancedDialingDialog final : public SettingsDialogBase {
    Q_OBJECT

public:
    // Edits a copy of the model's DIALING_RULE_ADV values; `model` outlives the dialog.
    explicit AdvancedDialingDialog(SettingsModel& model, QWidget* parent = nullptr);
    ~AdvancedDialingDialog() override;

    // Fills from the model and shows, without waiting.
    void openDialog() override;

    SpecialDialingDialog& specialDialog() const { return *special_; }

private:
    void setTexts();
    void onOk();

    SettingsModel& model_;
    SpecialDialingDialog* special_ = nullptr;

    MarkerLabel *equalLabel_ = nullptr, *lengthLabel_ = nullptr;
    QLineEdit *equalDigits_ = nullptr, *minLength_ = nullptr;
    WrappingCheckBox *areaCode_ = nullptr, *international_ = nullptr, *popupForChar_ = nullptr;
    QPushButton *specialButton_ = nullptr, *ok_ = nullptr, *cancel_ = nullptr;
};

}  // namespace pellandor

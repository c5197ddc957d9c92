#pragma once
// The special dialing dialog: when a plain digit string gets the CO access
// code (section DIALING_RULE_ADV_ADV). Opened from the advanced dialing dialog.

#include "config/settings_model.h"

#include "ui/settings_widgets.h"

#include <array>
#include <string>

class QLineEdit;
class QPushButton;

namespace pellandor {

class SpecialDialingDialog final : public SettingsDialogBase {
    Q_OBJECT

public:
    // Edits a copy of the model's DIALING_RULE_ADV_ADV values; `model` outlives the dialog.
    explicit SpecialDialingDialog(SettingsModel& model, QWidget* parent = nullptr);
    ~SpecialDialingDialog() override;

    void openDialog() override;

private:
    void setTexts();
    // Non-standard off disables everything below it; the prefix boxes follow
    // their check box and the length box its own. Check marks stay as they are.
    void updateEnabledStates();
    void onOk();

    SettingsModel& model_;

    WrappingCheckBox *nonStandard_ = nullptr, *usePrefix_ = nullptr, *useLength_ = nullptr;
    std::array<MarkerLabel*, 5> prefixLabels_{};
    std::array<QLineEdit*, 5> prefixes_{};
    QLineEdit* length_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr;
};

}  // namespace pellandor

#pragma once
// The special dialing dialog: when a plain digit string gets the CO access
// code (section DIALING_RULE_ADV_ADV). Opened from the advanced dialing dialog.

#include "config/settings_model.h"

#include "ui/settings_widgets.h"

#include <array>
#include <memory>
#include <string>

class QLineEdit;

namespace pellandor {

namespace Ui {
class SpecialDialingDialog;
}

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
    std::unique_ptr<Ui::SpecialDialingDialog> ui_;
    // The form's five prefix rows, in order.
    std::array<MarkerLabel*, 5> prefixLabels_{};
    std::array<QLineEdit*, 5> prefixes_{};
};

}  // namespace pellandor

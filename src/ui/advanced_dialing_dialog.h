#pragma once
// The advanced dialing dialog: "=" digits, area-code and "+" rules, pop-up
// filter and minimum length (section DIALING_RULE_ADV). Opened from the
// settings dialog; opens the special dialing dialog.

#include "config/settings_model.h"

#include "ui/settings_widgets.h"

#include <memory>
#include <string>

namespace pellandor {

class SpecialDialingDialog;
namespace Ui {
class AdvancedDialingDialog;
}

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
    std::unique_ptr<Ui::AdvancedDialingDialog> ui_;
    SpecialDialingDialog* special_ = nullptr;
};

}  // namespace pellandor

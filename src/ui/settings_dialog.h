#pragma once
// The settings dialog: account, exchange, call-dialog behaviour, hotkey,
// language and dialling codes. It edits a copy of the SettingsModel's values
// and commits it with the model's save; opening and closing it tells the
// shell through SettingsTargets.

#include "call/keyring_password.h"
#include "config/settings_model.h"
#include "platform/credential_store.h"
#include "ui/settings_targets.h"

#include "ui/settings_widgets.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pellandor {

class AdvancedDialingDialog;
namespace Ui {
class SettingsDialog;
}

class SettingsDialog final : public SettingsDialogBase {
    Q_OBJECT

public:
    // End codes: OK and Cancel give 0, the title bar's close button kClosedFromTitleBar.
    // `model`, `targets` and `startAtLogin` (if any) outlive the dialog.
    SettingsDialog(SettingsModel& model, SettingsTargets& targets, StartAtLoginFollower* startAtLogin = nullptr,
                   QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // What showModal does before it waits: closes the call dialog,
    // clears settingsClosed, fills the controls and shows the dialog.
    void openDialog() override;

    AdvancedDialingDialog& advancedDialog() const { return *advanced_; }

    void done(int result) override;

private:
    // What the form cannot say: limits, validators, list items, letters, signals.
    void setUpControls();
    void fillControls();
    void setTexts();
    void updateEnabledStates();
    // Reads, checks and saves the controls, then puts them into effect.
    // False (dialog left as it is) when a check or the save fails.
    bool applySettings();
    void onOk();
    void onApply();
    void onTransparencyMoved(int value);
    void showTransparencyValue(int value);
    // The exchange's trusted key and the keyring, as the file and the
    // keyring hold them now.
    void showTrust();
    void forgetKey();

    SettingsModel& model_;
    SettingsTargets& targets_;
    StartAtLoginFollower* startAtLogin_;
    // The track bar's position is kept from the moment it moves, even when
    // the dialog is cancelled; it is saved with the next OK or Apply.
    std::optional<int> movedTransparency_;
    std::unique_ptr<Ui::SettingsDialog> ui_;
    AdvancedDialingDialog* advanced_ = nullptr;

    std::unique_ptr<CredentialStore> store_;
    bool keyringAnswers_ = false;

    // texts with mnemonics, in the order the letters are handed out.
    struct Labelled {
        const char* key;  // in the language file; null: `english` is the text
        QWidget* control;
        const char* english = nullptr;
    };
    std::vector<Labelled> labelled_;
    // The first this many (push and radio buttons) never share their letter.
    int ownLetters_ = 0;
    static constexpr const char* kForgetText = QT_TR_NOOP("Forget");
};

}  // namespace pellandor

#pragma once
// The small skinned pop-up through which the user dials and hangs up.

#include "config/app_settings.h"
#include "config/call_log.h"
#include "config/language_table.h"

#include <QPoint>
#include <QWidget>

#include <optional>
#include <string>

namespace pellandor {

class DialingRules;

class CCallNumberDlg : public QWidget {
    Q_OBJECT

public:
    // `rules`, `log` and `state` are owned by the caller and outlive the dialog;
    // the dialog reads the rules and keeps the log and its place up to date.
    CCallNumberDlg(const DialingRules& rules, CallLog& log, DialogState& state, QWidget* parent = nullptr);
    ~CCallNumberDlg() override;

    // Behaviour, account and exchange values and the result texts; called at
    // start and after every settings or language change.
    void ApplyValues(const CallDialogValues& values, const LanguageTable& texts);

    // Tray item, second start: clears the number box when the dialog is
    // hidden, then raises and shows it.
    void ShowDialog();

    // A copied or handed-over number: converted to a dial string, shown next
    // to `point` (or where the dialog is, without one) and, with auto-call
    // on, dialled. `showFlag` true brings up a fresh dialog and activates it;
    // false moves an existing one without taking the focus.
    void ShowNumber(const std::string& text, std::optional<QPoint> point, bool showFlag);

    // After a clipboard delivery: restarts the auto-hide timer when auto-hide is on.
    void RestartAutoHide();

signals:
    // The recent numbers, the position or the layout changed: save them soon.
    void persistentStateChanged();

private:
    const DialingRules& rules_;
    CallLog& log_;
    DialogState& state_;
};

}  // namespace pellandor

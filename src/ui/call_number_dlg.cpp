#include "ui/call_number_dlg.h"

#include "dialing/dialing_rules.h"

namespace pellandor {

// Placeholder so the desktop layers can be built in parallel; replaced by the real dialog.
CCallNumberDlg::CCallNumberDlg(const DialingRules& rules, CallLog& log, DialogState& state, QWidget* parent)
    : QWidget(parent), rules_(rules), log_(log), state_(state)
{
    setWindowTitle(QStringLiteral("Ulvex Pellandor"));
}

CCallNumberDlg::~CCallNumberDlg() = default;

void CCallNumberDlg::ApplyValues(const CallDialogValues&, const LanguageTable&) {}

void CCallNumberDlg::ShowDialog()
{
    show();
    raise();
}

void CCallNumberDlg::ShowNumber(const std::string&, std::optional<QPoint>, bool)
{
    ShowDialog();
}

void CCallNumberDlg::RestartAutoHide() {}

}  // namespace pellandor

// Shows the call dialog in its states side by side, for a look under a real
// X server: pellandor-dialog-preview [seconds] [live]
// With "live", one ordinary dialog to drive with xdotool instead.
#include "dialing/dialing_rules.h"
#include "ui/call_number_dlg.h"
#include "ui/number_box.h"
#include "ui/skin_button.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <deque>

using namespace pellandor;

namespace {

struct Sample {
    DialingRules rules;
    CallLog log;
    DialogState state;
    std::unique_ptr<CCallNumberDlg> dialog;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    LanguageTable texts;
    std::string language = "ENG";
    texts.LoadLanguage("/nonexistent", language);

    std::deque<Sample> samples;
    const auto make = [&](bool full, bool hangup, QPoint at, const char* number) -> CCallNumberDlg& {
        Sample& s = samples.emplace_back();
        s.log.entries = {"0311234567", "1234"};
        s.log.count = 2;
        s.state.dialogIsMax = full;
        s.state.dialogX = at.x();
        s.state.dialogY = at.y();
        s.dialog = std::make_unique<CCallNumberDlg>(s.rules, s.log, s.state);
        CallDialogValues values;
        values.showHangup = hangup;
        s.dialog->ApplyValues(values, texts);
        s.dialog->SetMessagePresenter([](const QString&, const QString&) {});
        s.dialog->show();
        s.dialog->NumberBox()->setEditText(number);
        return *s.dialog;
    };
    const auto hover = [](CSkinButton* b) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(b, &enter);
    };
    const auto result = [](CCallNumberDlg& d, const char* text, QColor colour) {
        QPalette p = d.ResultLabel()->palette();
        p.setColor(QPalette::WindowText, colour);
        d.ResultLabel()->setPalette(p);
        d.ResultLabel()->setText(text);
        d.ResultLabel()->show();
    };

    const int seconds = argc > 1 ? QString(argv[1]).toInt() : 5;
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    if (argc > 2 && QString(argv[2]) == "live") {
        CCallNumberDlg& live = make(true, false, {300, 150}, "");
        // An exchange to call: PELLANDOR_PREVIEW_PORT of a local simulator.
        if (const QByteArray port = qgetenv("PELLANDOR_PREVIEW_PORT"); !port.isEmpty()) {
            CallDialogValues values;
            values.userId = "alice";
            values.password = "secret";
            values.phoneNumber = "2001";
            values.exchangeAddress = "127.0.0.1";
            values.exchangePort = port.toStdString();
            values.callOnEnter = true;
            live.ApplyValues(values, texts);
            live.SetMessagePresenter(nullptr);
        }
        live.ShowDialog();
        return app.exec();
    }

    make(true, false, {20, 20}, "0311234567");
    hover(make(true, true, {320, 20}, "1234").Button(DlgItem::Call));
    make(true, true, {620, 20}, "555 1234").Button(DlgItem::Hangup)->setDown(true);
    result(make(true, false, {20, 140}, "1234"), "Success", ResultColour(false));
    result(make(true, true, {320, 140}, "99"), "Failed", ResultColour(true));
    hover(make(true, false, {620, 140}, "").Button(DlgItem::Exit));
    make(false, false, {20, 260}, "0311234567");
    hover(make(false, true, {320, 260}, "1234").Button(DlgItem::ExitMin));
    make(false, true, {620, 260}, "77").Button(DlgItem::CallMin)->setDown(true);
    CCallNumberDlg& popup = make(true, false, {20, 330}, "12");
    QTimer::singleShot(300, &popup, [&popup] { popup.NumberBox()->showPopup(); });

    return app.exec();
}

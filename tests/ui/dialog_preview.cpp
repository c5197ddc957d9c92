// Shows the call dialog in its states side by side, for a look under a real
// X server: pellandor-dialog-preview [seconds] [live]
// With "live", one ordinary dialog to drive with xdotool instead.
#include "dialing/dialing_rules.h"
#include "ui/call_dialog.h"
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
    std::unique_ptr<CallDialog> dialog;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    LanguageTable texts;
    std::string language = "ENG";
    texts.loadLanguage("/nonexistent", language);

    std::deque<Sample> samples;
    const auto make = [&](bool full, bool hangup, QPoint at, const char* number) -> CallDialog& {
        Sample& s = samples.emplace_back();
        s.log.entries = {"0311234567", "1234"};
        s.log.count = 2;
        s.state.dialogIsMax = full;
        s.state.dialogX = at.x();
        s.state.dialogY = at.y();
        s.dialog = std::make_unique<CallDialog>(s.rules, s.log, s.state);
        CallDialogValues values;
        values.showHangup = hangup;
        s.dialog->applyValues(values, texts);
        s.dialog->setMessagePresenter([](const QString&, const QString&) {});
        s.dialog->show();
        s.dialog->numberBox()->setEditText(number);
        return *s.dialog;
    };
    const auto hover = [](SkinButton* b) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(b, &enter);
    };
    const auto result = [](CallDialog& d, const char* text, QColor colour) {
        QPalette p = d.resultLabel()->palette();
        p.setColor(QPalette::WindowText, colour);
        d.resultLabel()->setPalette(p);
        d.resultLabel()->setText(text);
        d.resultLabel()->show();
    };

    const int seconds = argc > 1 ? QString(argv[1]).toInt() : 5;
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    if (argc > 2 && QString(argv[2]) == "live") {
        CallDialog& live = make(true, false, {300, 150}, "");
        // An exchange to call: PELLANDOR_PREVIEW_PORT of a local simulator.
        if (const QByteArray port = qgetenv("PELLANDOR_PREVIEW_PORT"); !port.isEmpty()) {
            CallDialogValues values;
            values.userId = "alice";
            values.password = "secret";
            values.phoneNumber = "2001";
            values.exchangeAddress = "127.0.0.1";
            values.exchangePort = port.toStdString();
            values.callOnEnter = true;
            live.applyValues(values, texts);
            live.setMessagePresenter(nullptr);
        }
        live.showDialog();
        return app.exec();
    }

    make(true, false, {20, 20}, "0311234567");
    hover(make(true, true, {320, 20}, "1234").button(DlgItem::Call));
    make(true, true, {620, 20}, "555 1234").button(DlgItem::Hangup)->setDown(true);
    result(make(true, false, {20, 140}, "1234"), "Success", resultColour(false));
    result(make(true, true, {320, 140}, "99"), "Failed", resultColour(true));
    hover(make(true, false, {620, 140}, "").button(DlgItem::Exit));
    make(false, false, {20, 260}, "0311234567");
    hover(make(false, true, {320, 260}, "1234").button(DlgItem::ExitMin));
    make(false, true, {620, 260}, "77").button(DlgItem::CallMin)->setDown(true);
    CallDialog& popup = make(true, false, {20, 330}, "12");
    QTimer::singleShot(300, &popup, [&popup] { popup.numberBox()->showPopup(); });

    return app.exec();
}

#include "dialing/dialing_rules.h"
#include "support/exchange_sim.h"
#include "ui/qt_geometry.h"
#include "ui/call_dialog.h"
#include "ui/number_box.h"
#include "ui/skin.h"
#include "ui/skin_button.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace pellandor;

Q_DECLARE_METATYPE(std::optional<QRect>)
Q_DECLARE_METATYPE(std::optional<QPoint>)

namespace {

LanguageTable englishTexts() {
    LanguageTable table;
    std::string language = "none";  // no file: the built-in English
    table.loadLanguage("/nonexistent/language.ini", language);
    return table;
}

// A dialog with its own rules, log and place, and the messages it would show.
struct Fixture {
    DialingRules rules;
    CallLog log;
    DialogState state;
    CallDialogValues values;
    LanguageTable texts = englishTexts();
    std::unique_ptr<CallDialog> dialog;
    QStringList messages;

    explicit Fixture(bool showHangup = false) {
        values.showHangup = showHangup;
        values.callOnEnter = true;
        dialog = std::make_unique<CallDialog>(rules, log, state);
        dialog->setMessagePresenter(
            [this](const QString& caption, const QString& text) { messages << caption + "|" + text; });
        dialog->applyValues(values, texts);
    }
    void account(const std::string& port, const std::string& password = "secret") {
        values.userId = "alice";
        values.password = password;
        values.phoneNumber = "2001";
        values.exchangeAddress = "127.0.0.1";
        values.exchangePort = port;
        dialog->applyValues(values, texts);
    }
    QLineEdit* lineEdit() const { return dialog->numberBox()->lineEdit(); }
};

}  // namespace

class CallDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layouts_data();
    void layouts();
    void skinKeepsMaskAndSharpImagesInStep();
    void typedKeys_data();
    void typedKeys();
    void enterPressesCallOnlyWhenAllowed_data();
    void enterPressesCallOnlyWhenAllowed();
    void escapeHidesAndKeysStopAutoHide();
    void incompleteSettingsShowTheirMessage();
    void oneResultBoxHowEverManyFailures();
    void timersHideLabelAndDialog();
    void showNumberOnHiddenAndVisibleDialog();
    void buttonImagesFollowPointerAndPress();
    void dragByTheBackgroundMovesAndRecords();
    void callsAgainstTheExchange_data();
    void callsAgainstTheExchange();
    void buttonsStayDisabledWhileARequestRuns();
};

void CallDialogTest::initTestCase() {
    // The offscreen platform cannot shape, raise or lower windows; it says so every time.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.startsWith(QLatin1String("This plugin does not support"))) previous(type, context, text);
    });
}

void CallDialogTest::layouts_data() {
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("hangup");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("box");
    QTest::addColumn<QRect>("call");
    QTest::addColumn<std::optional<QRect>>("hangupButton");
    QTest::newRow("full, no hang-up") << true << false << QSize(282, 94) << QRect(14, 47, 219, 23)
                                      << QRect(233, 41, 39, 45) << std::optional<QRect>();
    QTest::newRow("full, hang-up") << true << true << QSize(282, 94) << QRect(14, 47, 180, 23) << QRect(194, 41, 39, 45)
                                   << std::optional(QRect(233, 41, 39, 45));
    QTest::newRow("small, no hang-up") << false << false << QSize(280, 51) << QRect(11, 10, 206, 23)
                                       << QRect(217, 7, 37, 37) << std::optional<QRect>();
    QTest::newRow("small, hang-up") << false << true << QSize(280, 51) << QRect(11, 10, 168, 23)
                                    << QRect(180, 7, 37, 37) << std::optional(QRect(217, 7, 37, 37));
}

void CallDialogTest::layouts() {
    QFETCH(bool, full);
    QFETCH(bool, hangup);
    QFETCH(QSize, size);
    QFETCH(QRect, box);
    QFETCH(QRect, call);
    QFETCH(std::optional<QRect>, hangupButton);

    Fixture f(hangup);
    QSignalSpy saved(f.dialog.get(), &CallDialog::persistentStateChanged);
    f.dialog->show();
    f.dialog->setFullLayout(full);
    QCOMPARE(f.state.dialogIsMax, full);
    QCOMPARE(saved.count(), full ? 0 : 1);
    QCOMPARE(f.dialog->size(), size);
    QCOMPARE(f.dialog->numberBox()->geometry(), box);

    const auto visible = [&](DlgItem item) { return f.dialog->button(item)->isVisible(); };
    const DlgItem callItem = full ? DlgItem::Call : DlgItem::CallMin;
    const DlgItem hangupItem = full ? DlgItem::Hangup : DlgItem::HangupMin;
    QCOMPARE(f.dialog->button(callItem)->geometry(), call);
    QVERIFY(visible(callItem));
    QCOMPARE(visible(hangupItem), hangupButton.has_value());
    if (hangupButton) QCOMPARE(f.dialog->button(hangupItem)->geometry(), *hangupButton);
    // The other layout's buttons are all hidden.
    for (DlgItem item : {DlgItem::Call, DlgItem::Hangup, DlgItem::Minimize, DlgItem::Exit})
        QCOMPARE(visible(item) && !full, false);
    for (DlgItem item : {DlgItem::CallMin, DlgItem::HangupMin, DlgItem::Maximize, DlgItem::ExitMin})
        QCOMPARE(visible(item) && full, false);
    if (full) {
        QCOMPARE(f.dialog->button(DlgItem::Minimize)->geometry(), QRect(215, 8, 29, 31));
        QCOMPARE(f.dialog->button(DlgItem::Exit)->geometry(), QRect(245, 8, 29, 31));
    } else {
        QCOMPARE(f.dialog->button(DlgItem::Maximize)->geometry(), QRect(255, 26, 18, 18));
        QCOMPARE(f.dialog->button(DlgItem::ExitMin)->geometry(), QRect(255, 7, 18, 18));
    }
    // The window is cut to the panel: corners see-through, the middle solid.
    QVERIFY(!f.dialog->mask().isEmpty());
    QVERIFY(!f.dialog->mask().contains(QPoint(0, 0)));
    QVERIFY(f.dialog->mask().contains(QPoint(size.width() / 2, size.height() / 2)));

    // The layout buttons switch back and forth.
    QTest::mouseClick(f.dialog->button(full ? DlgItem::Minimize : DlgItem::Maximize), Qt::LeftButton);
    QCOMPARE(f.dialog->isFullLayout(), !full);
}

void CallDialogTest::skinKeepsMaskAndSharpImagesInStep() {
    // Wherever the window shows a pixel at scale 1, the scale-2 image has
    // panel there and not the key colour, and the other way round: no fringe.
    for (SkinImage background : {SkinImage::BackgroundFull, SkinImage::BackgroundSmall}) {
        const QImage one = skinPixmap(background, 1.0).toImage();
        const QImage two = skinPixmap(background, 2.0).toImage();
        QVERIFY(!one.isNull());
        QCOMPARE(two.size(), one.size() * 2);
        int mismatches = 0;
        for (int y = 0; y < two.height(); ++y)
            for (int x = 0; x < two.width(); ++x)
                mismatches += ((two.pixel(x, y) == kSkinKeyColour) != (one.pixel(x / 2, y / 2) == kSkinKeyColour));
        QCOMPARE(mismatches, 0);
    }
    // Every button image exists at both scales with the size of its slot.
    const std::pair<SkinImage, QSize> buttons[] = {
        {SkinImage::CallPressed, {39, 45}},   {SkinImage::HangupHover, {39, 45}},
        {SkinImage::CallMin, {37, 37}},       {SkinImage::HangupMinPressed, {37, 37}},
        {SkinImage::MinimizeHover, {29, 31}}, {SkinImage::ExitPressed, {29, 31}},
        {SkinImage::Maximize, {18, 18}},      {SkinImage::ExitMinHover, {18, 18}},
        {SkinImage::ArrowPressed, {14, 5}},
    };
    for (const auto& [image, size] : buttons) {
        QCOMPARE(skinPixmap(image, 1.0).size(), size);
        QCOMPARE(skinPixmap(image, 2.0).size(), size * 2);
        QCOMPARE(skinPixmap(image, 2.0).deviceIndependentSize().toSize(), size);
    }
}

void CallDialogTest::typedKeys_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digits and marks") << "12*#=9"
                                      << "12*#=9";
    QTest::newRow("letters and blanks dropped") << "1a b+2(3)-p,f"
                                                << "123";
    QTest::newRow("backspace edits") << "123\b4"
                                     << "124";
    QTest::newRow("at most 30") << QString(35, '7') << QString(30, '7');
}

void CallDialogTest::typedKeys() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    Fixture f;
    f.dialog->show();
    for (const QChar c : typed) {
        if (c == '\b')
            QTest::keyClick(f.lineEdit(), Qt::Key_Backspace);
        else
            QTest::keyClicks(f.lineEdit(), QString(c));
    }
    QCOMPARE(f.lineEdit()->text(), expected);
}

void CallDialogTest::enterPressesCallOnlyWhenAllowed_data() {
    QTest::addColumn<bool>("callOnEnter");
    QTest::addColumn<bool>("callEnabled");
    QTest::addColumn<bool>("calls");
    QTest::newRow("on, enabled") << true << true << true;
    QTest::newRow("off") << false << true << false;
    QTest::newRow("on, Call disabled") << true << false << false;
}

void CallDialogTest::enterPressesCallOnlyWhenAllowed() {
    QFETCH(bool, callOnEnter);
    QFETCH(bool, callEnabled);
    QFETCH(bool, calls);
    Fixture f;  // no account: a Call shows the missing-settings message
    f.values.callOnEnter = callOnEnter;
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->button(DlgItem::Call)->setEnabled(callEnabled);
    f.dialog->show();
    QTest::keyClicks(f.lineEdit(), "123");
    const int items = f.dialog->numberBox()->count();
    QTest::keyClick(f.lineEdit(), Qt::Key_Return);
    QTest::keyClick(f.lineEdit(), Qt::Key_Enter);
    QCoreApplication::processEvents();
    QCOMPARE(f.messages.size(), calls ? 2 : 0);
    // Never passed on: the box neither inserts nor changes the text.
    QCOMPARE(f.dialog->numberBox()->count(), items);
    QCOMPARE(f.lineEdit()->text(), QStringLiteral("123"));
}

void CallDialogTest::escapeHidesAndKeysStopAutoHide() {
    Fixture f;
    f.values.autoHide = true;
    f.values.hideDelayMs = 4000;
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->show();
    f.dialog->restartAutoHide();
    QVERIFY(f.dialog->autoHideTimer()->isActive());
    QCOMPARE(f.dialog->autoHideTimer()->interval(), 4000);
    QTest::keyClick(f.lineEdit(), Qt::Key_A);  // even a dropped key means the user is busy
    QVERIFY(!f.dialog->autoHideTimer()->isActive());

    f.dialog->restartAutoHide();
    QTest::mouseClick(f.dialog.get(), Qt::LeftButton, {}, QPoint(100, 30));  // background
    QVERIFY(!f.dialog->autoHideTimer()->isActive());

    QTest::keyClick(f.lineEdit(), Qt::Key_Escape);
    QVERIFY(!f.dialog->isVisible());

    // Closed by the application, as quitting closes every window: hidden
    // and accepted, so a visible dialog never holds the quit up.
    f.dialog->show();
    QVERIFY(f.dialog->close());
    QVERIFY(!f.dialog->isVisible());
}

void CallDialogTest::incompleteSettingsShowTheirMessage() {
    Fixture f;
    f.values.exchangeAddress = "0.0.0.0";
    f.values.exchangePort = "1";
    f.values.password = "x";
    f.values.phoneNumber = "1";
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->show();
    QTest::keyClicks(f.lineEdit(), "1234");
    QTest::mouseClick(f.dialog->button(DlgItem::Call), Qt::LeftButton);
    QCOMPARE(f.messages,
             QStringList{"Result|Your user information(ID, PW or Phone Number) and system information(IP Address or "
                         "Port) are not entered in the Settings."});
    QVERIFY(f.dialog->resultLabel()->isVisible());
    QCOMPARE(f.dialog->resultLabel()->text(), QStringLiteral("Failed"));
    QCOMPARE(f.dialog->resultLabel()->palette().color(QPalette::WindowText), QColor(254, 21, 21));
    QVERIFY(f.dialog->resultTextTimer()->isActive());
    QVERIFY(f.log.entries.empty());
    QVERIFY(f.dialog->button(DlgItem::Call)->isEnabled());
}

void CallDialogTest::oneResultBoxHowEverManyFailures() {
    Fixture f;  // no account: every press fails with a message
    f.dialog->setMessagePresenter(nullptr);
    f.dialog->show();
    f.lineEdit()->setText(QStringLiteral("5551234"));
    const auto visibleBoxes = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++n;
        return n;
    };
    // Presses that arrive while a box is open, as auto-call and second starts do.
    constexpr int kPresses = 3;
    int pressed = 0;
    int shown = -1;
    for (int i = 0; i < kPresses; ++i) {
        QMetaObject::invokeMethod(
            f.dialog.get(), [&] { ++pressed, f.dialog->onCall(); }, Qt::QueuedConnection);
    }
    // Runs inside any nested event loop too: counts the boxes once every
    // press is in, then closes them all so such loops end.
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (pressed < kPresses || shown >= 0) return;
        shown = visibleBoxes();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->reject();
    });
    check.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(shown >= 0, 10000);
    QCOMPARE(shown, 1);
    QMessageBox* box = f.dialog->resultBox();
    QVERIFY(box);
    QVERIFY(box->text().startsWith(QStringLiteral("Your user information")));
    f.dialog->onCall();
    QCOMPARE(f.dialog->resultBox(), box);
    QVERIFY(box->isVisible());
}

void CallDialogTest::timersHideLabelAndDialog() {
    Fixture f;
    f.dialog->show();
    f.dialog->resultLabel()->show();
    f.dialog->resultTextTimer()->start(CallDialog::kResultTextMs);
    QMetaObject::invokeMethod(f.dialog->resultTextTimer(), "timeout");
    QVERIFY(!f.dialog->resultLabel()->isVisible());
    QVERIFY(f.dialog->isVisible());

    f.values.autoHide = true;
    f.values.hideDelayMs = 5000;
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->resultLabel()->show();
    f.dialog->restartAutoHide();
    QMetaObject::invokeMethod(f.dialog->autoHideTimer(), "timeout");
    QVERIFY(!f.dialog->resultLabel()->isVisible());
    QVERIFY(!f.dialog->isVisible());

    // Off: a delivery starts nothing.
    f.values.autoHide = false;
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->autoHideTimer()->stop();
    f.dialog->restartAutoHide();
    QVERIFY(!f.dialog->autoHideTimer()->isActive());
}

void CallDialogTest::showNumberOnHiddenAndVisibleDialog() {
    Fixture f;
    f.rules.coAccessCode = "9";
    f.values.topMost = true;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QSignalSpy saved(f.dialog.get(), &CallDialog::persistentStateChanged);

    // Hidden: shown with its top-right corner at the pointer, the number converted.
    const QPoint point = area.center();
    f.dialog->showNumber(" 1234567 ", point, true);
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.lineEdit()->text(), QStringLiteral("91234567"));
    QCOMPARE(f.dialog->pos(), QPoint(point.x() - 282, point.y()));
    QCOMPARE(QPoint(f.state.dialogX, f.state.dialogY), f.dialog->pos());
    QVERIFY(saved.count() >= 1);

    // Visible, near the bottom-left corner: moved, kept inside, not activated.
    const QPoint corner(area.left() + 10, area.bottom() - 5);
    f.dialog->showNumber("555", corner, false);
    QCOMPARE(f.lineEdit()->text(), QStringLiteral("555"));
    QCOMPARE(f.dialog->pos(), QPoint(area.left(), area.y() + area.height() - 94));
    QVERIFY(f.dialog->testAttribute(Qt::WA_ShowWithoutActivating));

    // A dial string longer than the box takes is shown whole, not cut into another number.
    f.rules.coAccessCode = "90000";
    const std::string longNumber = "+44 20 7946 0018 1234 5678 9012345";
    f.dialog->showNumber(longNumber, point, false);
    QVERIFY(f.lineEdit()->text().size() > NumberBox::kMaxLength);
    QCOMPARE(f.lineEdit()->text(), QString::fromStdString(f.rules.buildDialString(longNumber)));

    // Off every screen: brought back onto one.
    f.dialog->showNumber("1", QPoint(50000, 30000), false);
    QVERIFY(area.contains(QRect(f.dialog->pos(), f.dialog->size())));

    // Fixed position: where it was left, wherever the pointer is.
    f.values.fixedPosition = true;
    f.dialog->applyValues(f.values, f.texts);
    f.dialog->move(area.topLeft() + QPoint(40, 50));
    f.dialog->hideDialog();
    f.dialog->showNumber("1", point, true);
    QCOMPARE(f.dialog->pos(), area.topLeft() + QPoint(40, 50));

    // The tray's show clears a hidden dialog's box, not a visible one's.
    f.dialog->showDialog();
    QCOMPARE(f.lineEdit()->text(), QStringLiteral("1"));
    f.dialog->hideDialog();
    f.dialog->showDialog();
    QCOMPARE(f.lineEdit()->text(), QString());
}

void CallDialogTest::buttonImagesFollowPointerAndPress() {
    Fixture f;
    f.dialog->show();
    SkinButton* call = f.dialog->button(DlgItem::Call);
    QCOMPARE(call->currentImage(), SkinImage::Call);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(call, &enter);
    QCOMPARE(call->currentImage(), SkinImage::CallHover);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(call, &leave);
    QCOMPARE(call->currentImage(), SkinImage::Call);
    call->setDown(true);  // pressed wins even without hover
    QCOMPARE(call->currentImage(), SkinImage::CallPressed);
    call->setDown(false);
    call->setEnabled(false);
    QCOMPARE(call->currentImage(), SkinImage::Call);
}

void CallDialogTest::dragByTheBackgroundMovesAndRecords() {
    Fixture f;
    f.dialog->move(100, 100);
    f.dialog->show();
    QSignalSpy saved(f.dialog.get(), &CallDialog::persistentStateChanged);
    // Offscreen there is no window manager to hand the move to; the dialog follows the pointer itself.
    QTest::mousePress(f.dialog.get(), Qt::LeftButton, {}, QPoint(100, 30));
    QMouseEvent move(QEvent::MouseMove, QPointF(150, 60), f.dialog->mapToGlobal(QPointF(150, 60)), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(f.dialog.get(), &move);
    QTest::mouseRelease(f.dialog.get(), Qt::LeftButton, {}, QPoint(150, 60));
    QCOMPARE(f.dialog->pos(), QPoint(150, 130));
    QCOMPARE(QPoint(f.state.dialogX, f.state.dialogY), QPoint(150, 130));
    QVERIFY(saved.count() >= 1);
}

void CallDialogTest::callsAgainstTheExchange_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("hideAfterSuccess");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("messages");
    QTest::newRow("success") << "secret" << true << "Success" << 0;
    QTest::newRow("wrong password") << "wrong" << true << "Failed" << 1;
}

void CallDialogTest::callsAgainstTheExchange() {
    QFETCH(QString, password);
    QFETCH(bool, hideAfterSuccess);
    QFETCH(QString, label);
    QFETCH(int, messages);
    test::ExchangeSim sim;
    std::string error;
    QVERIFY2(sim.start({"--rsa-bits", "1024"}, error), error.c_str());
    Fixture f;
    f.values.hideAfterSuccess = hideAfterSuccess;
    f.account(sim.port(), password.toStdString());
    QSignalSpy saved(f.dialog.get(), &CallDialog::persistentStateChanged);
    f.dialog->show();
    QTest::keyClicks(f.lineEdit(), "12=34");

    QTest::mouseClick(f.dialog->button(DlgItem::Call), Qt::LeftButton);
    QCOMPARE(f.log.entries, std::vector<std::string>{"1234"});
    QCOMPARE(f.dialog->numberBox()->itemText(0), QStringLiteral("1234"));
    QCOMPARE(saved.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!f.dialog->isRequestRunning() && f.dialog->button(DlgItem::Call)->isEnabled(), 30000);

    QCOMPARE(f.dialog->resultLabel()->text(), label);
    QVERIFY(f.dialog->resultLabel()->isVisible());
    QCOMPARE(f.dialog->isResultFailed(), label == "Failed");
    QCOMPARE(f.dialog->resultLabel()->palette().color(QPalette::WindowText), toQt(resultColour(label == "Failed")));
    QCOMPARE(f.messages.size(), messages);
    if (messages) QVERIFY(f.messages[0].contains("RS CODE : AUTH FAIL"));
    QCOMPARE(f.dialog->resultTextTimer()->interval(), CallDialog::kResultTextMs);
    const bool hides = label == "Success";
    QCOMPARE(f.dialog->autoHideTimer()->isActive(), hides);
    if (hides) QCOMPARE(f.dialog->autoHideTimer()->interval(), CallDialog::kSuccessHideMs);
}

void CallDialogTest::buttonsStayDisabledWhileARequestRuns() {
    test::ExchangeSim sim;
    std::string error;
    QVERIFY2(sim.start({"--rsa-bits", "1024", "--mode", "delay:1"}, error), error.c_str());
    Fixture f(true);
    f.account(sim.port());
    f.dialog->show();
    QTest::keyClicks(f.lineEdit(), "1234");
    QTest::mouseClick(f.dialog->button(DlgItem::Hangup), Qt::LeftButton);
    QVERIFY(f.dialog->isRequestRunning());
    for (DlgItem item : {DlgItem::Call, DlgItem::Hangup, DlgItem::CallMin, DlgItem::HangupMin})
        QVERIFY(!f.dialog->button(item)->isEnabled());
    // Enter and a posted Call do nothing meanwhile; a hang-up logs no number.
    QTest::keyClick(f.lineEdit(), Qt::Key_Return);
    f.dialog->onCall();
    QVERIFY(f.log.entries.empty());
    QTRY_VERIFY_WITH_TIMEOUT(f.dialog->button(DlgItem::Hangup)->isEnabled(), 30000);
    QCOMPARE(f.dialog->resultLabel()->text(), QStringLiteral("Success"));
    QVERIFY(f.messages.isEmpty());
    QVERIFY(f.log.entries.empty());
}

QTEST_MAIN(CallDialogTest)
#include "call_dialog_test.moc"

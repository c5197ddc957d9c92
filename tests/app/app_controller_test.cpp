// The controller's routing of tray commands, second starts, the hotkey and
// clipboard changes, against a fake desktop.
#include "app/app_controller.h"
#include "desktop_logic/command_ids.h"
#include "platform/global_hotkey.h"
#include "app/system_tray.h"
#include "config/settings_access.h"
#include "config/settings_model.h"
#include "ui/call_dialog.h"
#include "ui/settings_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTest>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace pellandor;

namespace {

struct FakeInputs : DesktopInputs {
    ClipboardEntry entry;
    QPoint at{640, 400};
    mutable int reads = 0;
    ClipboardEntry clipboard() const override {
        ++reads;
        return entry;
    }
    QPoint pointer() const override { return at; }
};

struct FakeHotkey : GlobalHotkey {
    QStringList calls;
    bool apply(const std::string& modifier, const std::string& key) override {
        calls << QStringLiteral("apply %1 %2").arg(QString::fromStdString(modifier), QString::fromStdString(key));
        return true;
    }
    void remove() override { calls << QStringLiteral("remove"); }
    bool isRegistered() const override { return !calls.isEmpty() && calls.last().startsWith("apply"); }
};

QList<QMessageBox*> visibleMessageBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) boxes << box;
    }
    return boxes;
}

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string settingsPath_;
    std::unique_ptr<SettingsModel> model_;
    FakeInputs* inputs_ = nullptr;
    FakeHotkey* hotkey_ = nullptr;
    std::unique_ptr<AppController> controller_;

    void writeSettings(const QByteArray& text) {
        QFile f(QString::fromStdString(settingsPath_));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // A controller on `settings`, built-in English texts, no tray.
    void startController(const QByteArray& settings, std::unique_ptr<DesktopInputs> inputs = nullptr) {
        writeSettings(settings);
        controller_.reset();
        model_ = std::make_unique<SettingsModel>(settingsPath_, "/nonexistent/language.ini");
        QVERIFY(model_->load());
        auto fakeInputs = std::make_unique<FakeInputs>();
        auto fakeHotkey = std::make_unique<FakeHotkey>();
        inputs_ = fakeInputs.get();
        hotkey_ = fakeHotkey.get();
        if (inputs) inputs_ = nullptr;
        controller_ = std::make_unique<AppController>(*model_, std::move(fakeHotkey),
                                                      inputs ? std::move(inputs) : std::move(fakeInputs));
        controller_->start(false);
    }

    void copy(const QString& text) {
        inputs_->entry = ClipboardEntry{true, false, text};
        controller_->clipboardChanged();
    }

    // No auto-call: a press of Call would end in a message box here.
    static constexpr const char* kNoHotkey = "[HOTKEY]\nUSE_HOTKEY=0\n[AUTOCALL]\nUSE_AUTOCALL=0\n";

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        settingsPath_ = dir_.filePath("settings.ini").toStdString();
    }

    void cleanup() {
        controller_.reset();
        model_.reset();
        for (QMessageBox* box : visibleMessageBoxes()) box->close();
    }

    void routesTrayCommandsAndMessages() {
        startController(kNoHotkey);
        QSignalSpy exit(controller_.get(), &AppController::exitRequested);
        QVERIFY(!controller_->callDialog());
        QVERIFY(controller_->handleCommand(cmd::kCallDialog));
        QVERIFY(controller_->callDialog() && controller_->callDialog()->isVisible());
        controller_->callDialog()->hide();
        QVERIFY(controller_->handleMessage(cmd::kActivateInstance));
        QVERIFY(controller_->callDialog()->isVisible());
        QVERIFY(controller_->handleCommand(cmd::kSettings));
        QCOMPARE(exit.count(), 0);
        QVERIFY(controller_->handleCommand(cmd::kExit));
        QCOMPARE(exit.count(), 1);
        QVERIFY(!controller_->handleCommand(cmd::kVersion));
        QVERIFY(!controller_->handleCommand(104));
        QVERIFY(!controller_->handleMessage(32965));
    }

    void trayClickRunsTheDefaultItemOncePerDoubleClick() {
        startController(kNoHotkey);
        controller_->handleMessage(cmd::kTrayNotify, QSystemTrayIcon::Context);
        QVERIFY(!controller_->callDialog());
        controller_->handleMessage(cmd::kTrayNotify, QSystemTrayIcon::Trigger);
        QVERIFY(controller_->callDialog()->isVisible());
        // The double click that follows the click's press is the same gesture.
        SystemTray* tray = controller_->tray();
        QCOMPARE(tray->notification(QSystemTrayIcon::DoubleClick), 0);
        QTest::qWait(QApplication::doubleClickInterval() + 150);
        QCOMPARE(tray->notification(QSystemTrayIcon::DoubleClick), cmd::kCallDialog);
        QCOMPARE(tray->notification(QSystemTrayIcon::MiddleClick), 0);
    }

    void trayMenuTakesTheLanguageTextsAtEveryDisplay() {
        QTemporaryDir langDir;
        const QString langPath = langDir.filePath("language.ini");
        QFile lang(langPath);
        QVERIFY(lang.open(QIODevice::WriteOnly));
        lang.write("[LOCAL]\nCALLDLG=Anrufen\nSETTINGS=Einstellungen\nEXIT=Beenden\n");
        lang.close();
        LanguageTable texts;
        std::string language = "ENG";
        texts.loadLanguage(langPath.toStdString(), language);
        SystemTray tray(texts);
        QMenu* menu = tray.menu();
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0]->text(), QStringLiteral("Pellandor"));
        QCOMPARE(items[2]->text(), QStringLiteral("Quit"));
        QCOMPARE(items[3]->text(), QStringLiteral("Version 2.0Ad"));
        QCOMPARE(menu->defaultAction(), items[0]);
        QVERIFY(!items[3]->isEnabled());

        language = "LOCAL";
        texts.loadLanguage(langPath.toStdString(), language);
        emit menu->aboutToShow();
        QCOMPARE(items[0]->text(), QStringLiteral("Anrufen"));
        QCOMPARE(items[1]->text(), QStringLiteral("Einstellungen"));
        QCOMPARE(items[2]->text(), QStringLiteral("Beenden"));

        QSignalSpy commands(&tray, &SystemTray::command);
        items[0]->trigger();
        items[1]->trigger();
        items[2]->trigger();
        QCOMPARE(commands.count(), 3);
        QCOMPARE(commands[0][0].toInt(), cmd::kCallDialog);
        QCOMPARE(commands[1][0].toInt(), cmd::kSettings);
        QCOMPARE(commands[2][0].toInt(), cmd::kExit);
    }

    void settingsItemOpensTheSettingsDialogAndOkPutsItIntoEffect() {
        startController(kNoHotkey);
        QVERIFY(controller_->tray()->menu()->actions()[1]->isEnabled());
        controller_->handleCommand(cmd::kCallDialog);
        QVERIFY(controller_->callDialog()->isVisible());

        QVERIFY(controller_->handleCommand(cmd::kSettings));
        SettingsDialog* settings = controller_->settingsDialog();
        QVERIFY(settings && settings->isVisible());
        QVERIFY(!controller_->settingsClosed());
        QVERIFY(!controller_->callDialog()->isVisible());
        // While it is open the call dialog stays away; the notice is owned by the settings.
        controller_->handleCommand(cmd::kCallDialog);
        QCOMPARE(visibleMessageBoxes().size(), 1);
        QCOMPARE(visibleMessageBoxes().first()->parentWidget(), settings);
        visibleMessageBoxes().first()->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(visibleMessageBoxes().isEmpty());

        settings->findChild<QCheckBox*>(QStringLiteral("hotkeyEnabled"))->click();
        settings->findChild<QComboBox*>(QStringLiteral("hotkeyModifier"))->setCurrentText(QStringLiteral("CTRL"));
        settings->findChild<QComboBox*>(QStringLiteral("hotkeyKey"))->setCurrentText(QStringLiteral("f5"));
        settings->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        QVERIFY(!settings->isVisible());
        QVERIFY(controller_->settingsClosed());
        QCOMPARE(hotkey_->calls.last(), QStringLiteral("apply CTRL f5"));
        QCOMPARE(readSettingAsProgram(settingsPath_, "HOTKEY", "VIRTUAL_KEY").value_or("<missing>"), std::string("f5"));
        controller_->handleCommand(cmd::kCallDialog);
        QVERIFY(controller_->callDialog()->isVisible());
    }

    void aBurstOfClipboardChangesGivesOneCheck() {
        startController(kNoHotkey);
        for (int i = 0; i < 5; ++i) copy(QStringLiteral("555-123%1").arg(i));
        QCOMPARE(inputs_->reads, 0);  // nothing before the clipboard settles
        QTRY_COMPARE_WITH_TIMEOUT(inputs_->reads, 1, 5000);
        QVERIFY(controller_->callDialog() && controller_->callDialog()->isVisible());
        QTest::qWait(3 * cmd::kClipboardSettleMs);
        QCOMPARE(inputs_->reads, 1);
    }

    void clipboardTextThatIsNoNumberIsIgnored() {
        startController(kNoHotkey);
        const QString texts[] = {QStringLiteral("hello world"), QString(31, QLatin1Char('5')), QStringLiteral("*#*#"),
                                 QString(1 << 20, QLatin1Char('5'))};
        for (const QString& text : texts) {
            const int before = inputs_->reads;
            copy(text);
            QTRY_COMPARE_WITH_TIMEOUT(inputs_->reads, before + 1, 5000);
        }
        QVERIFY(!controller_->callDialog());
    }

    void hotkeyInUseLeavesClipboardChangesAlone() {
        startController("[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=CTRL\nVIRTUAL_KEY=f5\n[AUTOCALL]\nUSE_AUTOCALL=0\n");
        QCOMPARE(hotkey_->calls, QStringList{"apply CTRL f5"});
        copy(QStringLiteral("555-1234"));
        QTest::qWait(3 * cmd::kClipboardSettleMs);
        QCOMPARE(inputs_->reads, 0);
        QVERIFY(!controller_->callDialog());

        emit hotkey_->activated();
        QCOMPARE(inputs_->reads, 1);
        QVERIFY(controller_->callDialog() && controller_->callDialog()->isVisible());

        // New settings: the old combination goes first, then the new one; off removes it.
        writeSettings("[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n[AUTOCALL]\nUSE_AUTOCALL=0\n");
        QVERIFY(model_->reload());
        QCOMPARE(hotkey_->calls.last(), QStringLiteral("apply ALT Q"));
        writeSettings(kNoHotkey);
        QVERIFY(model_->reload());
        QCOMPARE(hotkey_->calls.last(), QStringLiteral("remove"));
        copy(QStringLiteral("555-1234"));
        QTRY_COMPARE_WITH_TIMEOUT(inputs_->reads, 2, 5000);
    }

    void settingsOpenShowsTheNoticeOnceInsteadOfTheDialog() {
        startController(kNoHotkey);
        controller_->setSettingsClosed(false);
        controller_->handleCommand(cmd::kCallDialog);
        controller_->handleCommand(cmd::kCallDialog);
        copy(QStringLiteral("555-1234"));
        QTRY_COMPARE_WITH_TIMEOUT(inputs_->reads, 1, 5000);
        controller_->handleInstanceLine(QStringLiteral("dial 555-1234"));
        QCOMPARE(visibleMessageBoxes().size(), 1);
        QMessageBox* box = visibleMessageBoxes().first();
        QCOMPARE(box->text(), QStringLiteral("Please, close the settings dialog."));
        QCOMPARE(box->icon(), QMessageBox::Information);
        QVERIFY(box->windowTitle().isEmpty());
        QVERIFY(!controller_->callDialog());

        // A second start asks for nothing while the settings are open.
        controller_->handleInstanceLine(QStringLiteral("show"));
        QVERIFY(!controller_->callDialog());

        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(visibleMessageBoxes().isEmpty());
        controller_->handleCommand(cmd::kCallDialog);
        QCOMPARE(visibleMessageBoxes().size(), 1);

        controller_->setSettingsClosed(true);
        controller_->handleCommand(cmd::kCallDialog);
        QVERIFY(controller_->callDialog() && controller_->callDialog()->isVisible());
    }

    void callDialogClearsItsNumberOnlyWhenHidden() {
        startController(kNoHotkey);
        controller_->handleCommand(cmd::kCallDialog);
        auto* box = controller_->callDialog()->findChild<QComboBox*>();
        QVERIFY(box);
        box->setEditText(QStringLiteral("5551234"));
        controller_->handleCommand(cmd::kCallDialog);
        QCOMPARE(box->currentText(), QStringLiteral("5551234"));
        controller_->callDialog()->hide();
        controller_->handleCommand(cmd::kCallDialog);
        QCOMPARE(box->currentText(), QString());
    }

    void passwordManagerSecretsNeverPopUp() {
        auto real = std::make_unique<DesktopInputs>();
        startController(kNoHotkey, std::move(real));
        QClipboard* clipboard = QGuiApplication::clipboard();
        auto* secret = new QMimeData;
        secret->setText(QStringLiteral("5551234"));
        secret->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
        clipboard->setMimeData(secret, QClipboard::Clipboard);
        QTest::qWait(3 * cmd::kClipboardSettleMs);
        QVERIFY(!controller_->callDialog());
        DesktopInputs reader;
        QVERIFY(reader.clipboard().secret);
        QVERIFY(reader.clipboard().text.isEmpty());

        clipboard->setText(QStringLiteral("555-1234"), QClipboard::Clipboard);
        QTRY_VERIFY_WITH_TIMEOUT(controller_->callDialog() && controller_->callDialog()->isVisible(), 5000);
    }

    // Auto-hide on without a delay (the key missing, 0, or an empty field)
    // keeps the dialog up rather than hiding it the moment it appears.
    void autoHideWithoutADelayKeepsTheDialogUp_data() {
        QTest::addColumn<QByteArray>("disappearance");
        QTest::newRow("no delay key") << QByteArray("[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\n");
        QTest::newRow("delay 0") << QByteArray("[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\nTIME_DISAPPARANCE=0\n");
    }
    void autoHideWithoutADelayKeepsTheDialogUp() {
        QFETCH(QByteArray, disappearance);
        startController(QByteArray(kNoHotkey) + disappearance);
        copy(QStringLiteral("555-1234"));
        QTRY_VERIFY_WITH_TIMEOUT(controller_->callDialog() && controller_->callDialog()->isVisible(), 5000);
        QVERIFY(!controller_->callDialog()->autoHideTimer()->isActive());
        QCoreApplication::processEvents();
        QVERIFY(controller_->callDialog()->isVisible());
    }

    void dialLinesFromASecondStart() {
        startController(kNoHotkey);
        controller_->handleInstanceLine(QStringLiteral("dial tel:abc"));
        controller_->handleInstanceLine(QStringLiteral("frobnicate"));
        QVERIFY(!controller_->callDialog());
        controller_->handleInstanceLine(QStringLiteral("dial tel:+1-415-555-0177"));
        QVERIFY(controller_->callDialog() && controller_->callDialog()->isVisible());
    }

    // Another program holding the settings file's lock does not freeze the
    // program: the save gives up soon and gets through once the lock is free.
    void aLockedSettingsFileDelaysTheSaveWithoutBlocking() {
        startController(kNoHotkey);
        const std::string lockPath = dir_.filePath(".settings.ini.lock").toStdString();
        const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(lockFd >= 0);
        QCOMPARE(::flock(lockFd, LOCK_EX), 0);
        // Released once the save returns, or after a deadline should it block.
        std::mutex mutex;
        std::condition_variable returned;
        bool saveReturned = false;
        std::thread holder([&] {
            std::unique_lock<std::mutex> lock(mutex);
            returned.wait_for(lock, std::chrono::seconds(3), [&] { return saveReturned; });
        });

        addToCallLog(controller_->callLog(), "5551234");
        QElapsedTimer clock;
        clock.start();
        const bool saved = controller_->saveCallLog();
        const qint64 blockedMs = clock.elapsed();
        {
            std::lock_guard<std::mutex> lock(mutex);
            saveReturned = true;
        }
        returned.notify_one();
        holder.join();
        QVERIFY(!saved);
        QVERIFY2(blockedMs < 1000, qPrintable(QStringLiteral("blocked %1 ms").arg(blockedMs)));

        ::close(lockFd);
        auto inFile = [this] {
            CallLog log;
            DialogState place;
            loadCallLog(settingsPath_, log, place);
            return log.count == 1 && log.entries[0] == "5551234";
        };
        QTRY_VERIFY_WITH_TIMEOUT(inFile(), 5000);
    }

    void recentNumbersAreSavedSoonAfterAChange() {
        startController(kNoHotkey);
        controller_->handleCommand(cmd::kCallDialog);
        addToCallLog(controller_->callLog(), "5551234");
        controller_->dialogState().dialogX = -120;
        emit controller_->callDialog()->persistentStateChanged();
        emit controller_->callDialog()->persistentStateChanged();
        auto saved = [this] {
            CallLog log;
            DialogState place;
            loadCallLog(settingsPath_, log, place);
            return log.count == 1 && log.entries[0] == "5551234" && place.dialogX == -120;
        };
        QTRY_VERIFY_WITH_TIMEOUT(saved(), 5000);
        // The settings around it stay.
        QCOMPARE(readSettingAsProgram(settingsPath_, "HOTKEY", "USE_HOTKEY").value_or("<missing>"), std::string("0"));

        addToCallLog(controller_->callLog(), "777");
        controller_->shutdown();
        CallLog log;
        DialogState place;
        loadCallLog(settingsPath_, log, place);
        QCOMPARE(log.count, 2);
        QCOMPARE(log.entries[0], std::string("777"));
    }
};

QTEST_MAIN(ControllerTest)
#include "app_controller_test.moc"

#include "settings_fixture.h"

#include "platform/paths.h"
#include "platform/autostart.h"
#include "ui/crash_notice.h"
#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace pellandor::test {

class SettingsDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Files> files_;
    std::unique_ptr<SettingsModel> model_;
    std::unique_ptr<RecordingTargets> targets_;
    std::unique_ptr<SettingsDialog> dlg_;

    void open() {
        dlg_.reset();
        targets_.reset();
        model_ = files_->load();
        targets_ = std::make_unique<RecordingTargets>(*model_);
        dlg_ = std::make_unique<SettingsDialog>(*model_, *targets_, &targets_->startAtLogin());
        dlg_->openDialog();
        QVERIFY(dlg_->isVisible());
    }
    template <class T>
    T* findControl(const char* name) {
        return find<T>(dlg_.get(), name);
    }
    void type(const char* name, const QString& text) {
        auto* edit = findControl<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void click(const char* name) { findControl<QPushButton>(name)->click(); }

private slots:
    void init() { files_ = std::make_unique<Files>(); }
    void cleanup() {
        dlg_.reset();
        targets_.reset();
        model_.reset();
        files_.reset();
    }

    void controlsRoundTripThroughOk_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        auto row = [](const char* control, const char* value, const char* section, const char* key,
                      const char* stored) { QTest::newRow(control) << control << value << section << key << stored; };
        row("userId", "alice", "USER_INFO", "ID", "alice");
        row("password", "s3cret", "USER_INFO", "PW", "s3cret");
        row("phoneNumber", "2001", "USER_INFO", "PN", "2001");
        row("exchangeAddress", "192.168.1.20", "SYS_INFO", "IP", "192.168.1.20");
        row("exchangePort", "5061", "SYS_INFO", "PORT", "5061");
        row("autoHide", "0", "DISAPPEARANCE", "USE_DISAPPEARANCE", "0");
        row("autoHideSeconds", "12", "DISAPPEARANCE", "TIME_DISAPPARANCE", "12");
        row("hideAfterSuccess", "0", "DISAPPERANCE_AFTER_SUCCESS", "USE_DISAPPERANANCE_AFTER_SUCCESS", "0");
        row("transparent", "1", "TRANSPARENCY", "USE_TRANSPARENCY", "1");
        row("transparency", "40", "TRANSPARENCY", "RATE_TRANSPARENCY", "40");
        row("callOnEnter", "0", "ENTERKEY", "USE_ENTERKEY", "0");
        row("topMost", "0", "TOPMOST", "USE_TOPMOST", "0");
        row("showHangup", "1", "HANGUP", "USE_HANGUP", "1");
        row("fixedPosition", "1", "FIXEDPOS", "USE_FIXEDPOS", "1");
        row("autoCall", "0", "AUTOCALL", "USE_AUTOCALL", "0");
        row("hotkeyEnabled", "0", "HOTKEY", "USE_HOTKEY", "0");
        row("hotkeyModifier", "CTRL", "HOTKEY", "MOD_KEY", "CTRL");
        row("hotkeyKey", "f10", "HOTKEY", "VIRTUAL_KEY", "f10");
        row("languageLocal", "1", "LANGUAGE", "LAN", "LOCAL");
        row("coAccessCode", "0", "ACCESSCODE", "CO_ACCESS_CODE", "0");
        row("myCountryCode", "49", "ACCESSCODE", "MYCOUNTRY_CODE", "49");
        row("myAreaCode", "30", "ACCESSCODE", "MYAREA_CODE", "30");
        row("internationalCode", "00", "ACCESSCODE", "INTER_CODE", "00");
        row("pbxCode", "7", "ACCESSCODE", "PBX_CODE", "7");
        row("longDistanceCode", "0", "ACCESSCODE", "LONG_CODE", "0");
        row("addZero", "0", "ACCESSCODE", "USE_ADDZERO", "0");
    }
    void controlsRoundTripThroughOk() {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        open();
        const QByteArray name = control.toLatin1();
        QWidget* widget = findControl<QWidget>(name.constData());
        if (qobject_cast<QLineEdit*>(widget) != nullptr) {
            type(name.constData(), value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->isChecked() != (value == QLatin1String("1"))) button->click();
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setCurrentText(value);
        } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
            slider->setValue(value.toInt());
        }
        click("ok");
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(files_->value(section.toStdString(), key.toStdString()), stored.toStdString());
        // Every key of every general section is written, not only the changed one.
        for (const auto& field : appSettingsFields()) QVERIFY(files_->raw(field.section, field.key) != "<missing>");
        QVERIFY(files_->raw("USER_INFO", "PW") != "s3cret");  // enciphered, never in clear
        QVERIFY(targets_->settingsClosed);
        QVERIFY(targets_->called("applied"));
        // A second start sees what was saved.
        QCOMPARE(files_->load()->settings().userId, model_->settings().userId);
    }

    void okPutsTheValuesIntoEffectInOrder() {
        open();
        QCOMPARE(targets_->calls, (std::vector<std::string>{"hideCallDialog", "open"}));
        type("userId", "  bob");
        type("myAreaCode", "30");
        findControl<QComboBox>("hotkeyKey")->setCurrentText("W");
        click("ok");
        QCOMPARE(targets_->calls,
                 (std::vector<std::string>{"hideCallDialog", "open", "hotkey:ALT+W", "applied", "closed"}));
        QCOMPARE(targets_->lastValues.userId, std::string("bob"));  // trimmed on the way
        QCOMPARE(model_->rules().myAreaCode, std::string("30"));
        QCOMPARE(dlg_->result(), 0);
    }

    void cancelEscEnterAndCloseChangeNothing() {
        files_->write(files_->settingsPath, "[USER_INFO]\nID=old\n; hand-written\n");
        const QByteArray before = files_->read(files_->settingsPath);
        open();
        type("userId", "new");
        findControl<QCheckBox>("autoStart")->click();
        QTest::keyClick(findControl<QLineEdit>("userId"), Qt::Key_Escape);
        QVERIFY(dlg_->isVisible());
        QTest::keyClick(findControl<QLineEdit>("userId"), Qt::Key_Return);
        QVERIFY(dlg_->isVisible());
        click("cancel");
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(dlg_->result(), 0);
        QCOMPARE(files_->read(files_->settingsPath), before);
        QCOMPARE(model_->settings().userId, std::string("old"));
        QVERIFY(!targets_->called("applied"));
        QVERIFY(!targets_->called("autostart:on"));
        QVERIFY(targets_->settingsClosed);

        // The title bar's close button: closed, with its own end code, nothing written.
        dlg_->openDialog();
        type("userId", "other");
        dlg_->close();
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(dlg_->result(), SettingsDialog::kClosedFromTitleBar);
        QCOMPARE(files_->read(files_->settingsPath), before);
        QVERIFY(targets_->settingsClosed);
    }

    void trackBarIsKeptAtOnceEvenWhenCancelled() {
        open();
        findControl<QSlider>("transparency")->setValue(33);
        QCOMPARE(findControl<QLabel>("transparencyValue")->text(), QStringLiteral("33%"));
        click("cancel");
        QVERIFY(!QFile::exists(QString::fromStdString(files_->settingsPath)));
        dlg_->openDialog();
        QCOMPARE(findControl<QSlider>("transparency")->value(), 33);
        // It reaches the file with the next OK, though transparency stays off.
        click("ok");
        QCOMPARE(files_->value("TRANSPARENCY", "USE_TRANSPARENCY"), std::string("0"));
        QCOMPARE(files_->value("TRANSPARENCY", "RATE_TRANSPARENCY"), std::string("33"));
    }

    void clearedAutoHideKeepsItsSeconds() {
        files_->write(files_->settingsPath, "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\nTIME_DISAPPARANCE=8\n");
        open();
        type("autoHideSeconds", "20");
        findControl<QCheckBox>("autoHide")->click();
        click("ok");
        QCOMPARE(files_->value("DISAPPEARANCE", "USE_DISAPPEARANCE"), std::string("0"));
        QCOMPARE(files_->value("DISAPPEARANCE", "TIME_DISAPPARANCE"), std::string("8"));
    }

    void dependentControlsFollowTheirCheckBox_data() {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QStringList>("dependents");
        QTest::newRow("auto hide") << "autoHide" << QStringList{"autoHideSeconds", "autoHideSecondsLabel"};
        QTest::newRow("transparency") << "transparent"
                                      << QStringList{"transparency", "transparencyMin", "transparencyMax",
                                                     "transparencyValue"};
        QTest::newRow("hotkey") << "hotkeyEnabled"
                                << QStringList{"hotkeyModifier", "hotkeyKey", "hotkeyModifierLabel", "hotkeyKeyLabel"};
    }
    void dependentControlsFollowTheirCheckBox() {
        QFETCH(QString, check);
        QFETCH(QStringList, dependents);
        open();
        auto* box = findControl<QCheckBox>(check.toLatin1().constData());
        for (int round = 0; round < 3; ++round) {
            for (const QString& name : dependents) {
                QCOMPARE(findControl<QWidget>(name.toLatin1().constData())->isEnabled(), box->isChecked());
            }
            box->click();
        }
    }

    void applyRelabelsTheOpenDialogFromLocal() {
        open();
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Settings"));
        QVERIFY(findControl<QRadioButton>("languageLocal")->isVisibleTo(dlg_.get()));
        findControl<QRadioButton>("languageLocal")->click();
        click("apply");
        QVERIFY(dlg_->isVisible());
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(plain(findControl<QPushButton>("cancel")->text()), QStringLiteral("Abbrechen"));
        QCOMPARE(plain(findControl<QPushButton>("apply")->text()), QStringLiteral("Übernehmen"));
        QCOMPARE(targets_->lastTrayText, std::string("Einstellungen"));
        QCOMPARE(files_->value("LANGUAGE", "LAN"), std::string("LOCAL"));
    }

    void withoutLocalTextsOnlyEnglishIsOffered() {
        files_->write(files_->languagePath, "[ENG]\nCAPTION=Settings (file)\n");
        files_->write(files_->settingsPath, "[LANGUAGE]\nLAN=LOCAL\n");
        open();
        QVERIFY(!findControl<QRadioButton>("languageLocal")->isVisibleTo(dlg_.get()));
        QVERIFY(findControl<QRadioButton>("languageEng")->isChecked());
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Settings"));  // built-in, not the file's ENG text
        click("ok");
        QCOMPARE(files_->value("LANGUAGE", "LAN"), std::string("ENG"));
    }

    void everyControlHasAnAccessLetterAndButtonsKeepTheirOwn() {
        for (const char* language : {"ENG", "LOCAL"}) {
            files_->write(files_->settingsPath, QByteArray("[LANGUAGE]\nLAN=") + language + "\n");
            open();
            auto letterOf = [](const QString& text) {
                const int at = text.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
                return at < 0 ? QChar() : text[at + 1].toLower();
            };
            // Letters of the push and radio buttons: one control each.
            QMap<QChar, int> buttonLetters;
            for (auto* button : dlg_->findChildren<QAbstractButton*>()) {
                if (button->text().isEmpty()) continue;  // wrapped check boxes carry theirs on the label
                const QChar letter = letterOf(button->text());
                QVERIFY2(!letter.isNull(), qPrintable(button->text()));
                ++buttonLetters[letter];
            }
            for (int count : buttonLetters) QCOMPARE(count, 1);
            // Every control a label names is reached by a letter, never a
            // button's, and the keyboard can use it; only a text made of the buttons' letters ("CO") has none.
            int labelled = 0;
            for (auto* label : dlg_->findChildren<QLabel*>()) {
                if (label->buddy() == nullptr || label->text().isEmpty()) continue;
                // A letter that leads to a text the keyboard cannot select or copy does nothing.
                if (auto* shown = qobject_cast<QLabel*>(label->buddy()))
                    QVERIFY2(shown->textInteractionFlags() & Qt::TextSelectableByKeyboard, qPrintable(label->text()));
                const QChar letter = letterOf(label->text());
                const QString text = label->text();
                const bool possible = std::any_of(text.begin(), text.end(), [&](QChar c) {
                    return c.isLetterOrNumber() && !buttonLetters.contains(c.toLower());
                });
                QVERIFY2(!letter.isNull() || !possible, qPrintable(language + (": " + label->text())));
                if (letter.isNull()) continue;
                QVERIFY2(!buttonLetters.contains(letter), qPrintable(label->text()));
                ++labelled;
            }
            QVERIFY(labelled >= 24);
        }
    }

    void sizeIsFixedAndTheCaptionFitsWhole() {
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Ulvex Pellandor"));
        for (const char* language : {"ENG", "LOCAL"}) {
            files_->write(files_->settingsPath, QByteArray("[LANGUAGE]\nLAN=") + language + "\n");
            open();
            QCOMPARE(dlg_->minimumSize(), dlg_->maximumSize());
            QVERIFY(dlg_->width() >= 650 && dlg_->height() >= 670);
            QVERIFY(!(dlg_->windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(dlg_->width() >= captionNeeds(dlg_->windowTitle()));
        }
    }

    void portOutsideItsRangeIsRefused_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("above") << "65536" << false;
        QTest::newRow("five nines") << "99999" << false;
        QTest::newRow("highest") << "65535" << true;
        QTest::newRow("empty") << "" << true;
    }
    void portOutsideItsRangeIsRefused() {
        QFETCH(QString, port);
        QFETCH(bool, accepted);
        open();
        type("exchangePort", port);
        MessageBoxCatcher catcher;
        click("ok");
        QCOMPARE(dlg_->isVisible(), !accepted);
        QCOMPARE(QFile::exists(QString::fromStdString(files_->settingsPath)), accepted);
        QCOMPARE(catcher.count, accepted ? 0 : 1);
        if (!accepted) QVERIFY(catcher.text.contains(QStringLiteral("65535")));
    }

    void ownMessagesComeInTheChosenLanguage() {
        files_->write(files_->settingsPath, "[LANGUAGE]\nLAN=LOCAL\n");
        open();
        type("exchangePort", "0");
        MessageBoxCatcher catcher;
        click("ok");
        QCOMPARE(catcher.text, QStringLiteral("Bitte geben Sie eine Portnummer von 1 bis 65535 ein."));
        type("exchangePort", "5060");

        // The settings file turns into a folder: the save fails.
        const QString settingsFile = QString::fromStdString(files_->settingsPath);
        QVERIFY(QFile::remove(settingsFile));
        QVERIFY(QDir().mkdir(settingsFile));
        click("ok");
        QTRY_COMPARE(catcher.count, 2);
        QCOMPARE(catcher.text, QStringLiteral("Die Einstellungen konnten nicht in %1 gespeichert werden. Es wurde "
                                              "nichts geändert; Ihre Eingaben stehen noch im Dialog.")
                                   .arg(settingsFile));

        QCOMPARE(QString::fromStdString(crashNoticeText("", model_->texts())),
                 QStringLiteral("Ulvex Pellandor ist abgestürzt. Es konnte keine Absturzdatei geschrieben werden."));
        // A language file without the key: the built-in English, never a blank box.
        files_->write(files_->languagePath, "[LOCAL]\nCAPTION=Einstellungen\n");
        std::string code = "LOCAL";
        LanguageTable texts;
        texts.loadLanguage(files_->languagePath, code);
        QCOMPARE(QString::fromStdString(texts.message("AL_PORT_RANGE")),
                 QStringLiteral("Please enter a port number from 1 to 65535."));
        QCOMPARE(texts.text("AL_PORT_RANGE"), std::string());
    }

    void portAlreadyInTheFileIsShownAsItIs() {
        files_->write(files_->settingsPath, "[SYS_INFO]\nIP=10.0.0.1\nPORT=123456\n");
        open();
        QCOMPARE(findControl<QLineEdit>("exchangePort")->text(), QStringLiteral("123456"));
    }

    void failedSaveKeepsTheDialogAndWhatWasTyped() {
        // The settings "folder" is a file: nothing can be written there.
        files_->write(files_->dir.filePath(QStringLiteral("blocked")).toStdString(), "x");
        files_->settingsPath = files_->dir.filePath(QStringLiteral("blocked/pellandor_settings.ini")).toStdString();
        open();
        type("userId", "carol");
        type("password", "pw");
        MessageBoxCatcher catcher;
        click("ok");
        QCOMPARE(catcher.count, 1);
        QCOMPARE(catcher.icon, QMessageBox::Warning);
        QVERIFY(catcher.text.contains(QStringLiteral("could not be saved")));
        QVERIFY(dlg_->isVisible());
        QCOMPARE(findControl<QLineEdit>("userId")->text(), QStringLiteral("carol"));
        QCOMPARE(findControl<QLineEdit>("password")->text(), QStringLiteral("pw"));
        QVERIFY(model_->settings().userId.empty());
        QVERIFY(!targets_->called("applied"));
        QVERIFY(!targets_->settingsClosed);
    }

    void passwordCanBeShownAndKeepsItsFullStoredLength() {
        files_->write(files_->settingsPath, "[USER_INFO]\nPW=a-password-of-30-characters-x\nPN=12-34\n");
        open();
        auto* password = findControl<QLineEdit>("password");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        find<QAction>(dlg_.get(), "showPassword")->trigger();
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        // Longer than the typing limit and not digits only: kept, not cut.
        click("ok");
        QCOMPARE(files_->value("USER_INFO", "PW"), std::string("a-password-of-30-characters-x"));
        QCOMPARE(files_->value("USER_INFO", "PN"), std::string("12-34"));
    }

    void digitBoxesRefuseOtherCharacters() {
        open();
        type("phoneNumber", "12ab-3");
        QCOMPARE(findControl<QLineEdit>("phoneNumber")->text(), QStringLiteral("123"));
        type("exchangePort", "1234567");
        QCOMPARE(findControl<QLineEdit>("exchangePort")->text(), QStringLiteral("12345"));
    }

    void hotkeyListsAndStoredNames_data() {
        QTest::addColumn<QString>("modifier");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shownModifier");
        QTest::addColumn<QString>("shownKey");
        QTest::newRow("usual") << "ALT"
                               << "Q"
                               << "ALT"
                               << "Q";
        QTest::newRow("0 is kept though not offered") << "WIN"
                                                      << "0"
                                                      << "WIN"
                                                      << "0";
        QTest::newRow("list matches the start, any case") << "ctrl"
                                                          << "F10"
                                                          << "CTRL"
                                                          << "f10";
    }
    void hotkeyListsAndStoredNames() {
        QFETCH(QString, modifier);
        QFETCH(QString, key);
        QFETCH(QString, shownModifier);
        QFETCH(QString, shownKey);
        files_->write(files_->settingsPath,
                      "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=" + modifier.toUtf8() + "\nVIRTUAL_KEY=" + key.toUtf8() + "\n");
        open();
        auto* modifiers = findControl<QComboBox>("hotkeyModifier");
        auto* keys = findControl<QComboBox>("hotkeyKey");
        QStringList modifierItems, keyItems;
        for (int i = 0; i < 4; ++i) modifierItems << modifiers->itemText(i);
        QCOMPARE(modifierItems, (QStringList{"ALT", "CTRL", "SHIFT", "WIN"}));
        for (int i = 0; i < 8; ++i) keyItems << keys->itemText(i);
        QCOMPARE(keyItems, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
        QCOMPARE(keys->itemText(14), QStringLiteral("F"));
        QCOMPARE(keys->itemText(15), QStringLiteral("f1"));
        QCOMPARE(keys->itemText(16), QStringLiteral("f10"));
        QCOMPARE(modifiers->currentText(), shownModifier);
        QCOMPARE(keys->currentText(), shownKey);
        click("ok");
        QCOMPARE(files_->value("HOTKEY", "MOD_KEY"), shownModifier.toStdString());
        QCOMPARE(files_->value("HOTKEY", "VIRTUAL_KEY"), shownKey.toStdString());
    }

    void startAtLoginIsTouchedOnlyWhenTheBoxChanges() {
        const QString entry = files_->dir.filePath(QStringLiteral("config/autostart/pellandor.desktop"));
        open();
        click("ok");
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!targets_->called("autostart:on") && !targets_->called("autostart:off"));

        dlg_->openDialog();
        findControl<QCheckBox>("autoStart")->click();
        click("ok");
        QVERIFY(QFile::exists(entry));
        const QByteArray text = files_->read(entry.toStdString());
        QVERIFY(text.contains("\nName=Ulvex Pellandor\n"));
        // Not the file a plain start opens: the entry names it.
        const QByteArray exec =
            QByteArray::fromStdString("\nExec=" + quoteExecArgument(frontDoorPath()) + " --settings " +
                                      quoteExecArgument(files_->settingsPath) + "\n");
        QVERIFY2(text.contains(exec), text.constData());
        QCOMPARE(files_->value("AUTOSTART", "USE_AUTOSTART"), std::string("1"));

        // Ticked, but the entry was removed: OK writes it again.
        QVERIFY(QFile::remove(entry));
        dlg_->openDialog();
        click("ok");
        QCOMPARE(files_->read(entry.toStdString()), text);

        // Unchanged: the entry is left exactly as it is.
        files_->write(entry.toStdString(), "marker");
        dlg_->openDialog();
        click("apply");
        click("ok");
        QCOMPARE(files_->read(entry.toStdString()), QByteArray("marker"));

        dlg_->openDialog();
        findControl<QCheckBox>("autoStart")->click();
        click("ok");
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(std::count(targets_->calls.begin(), targets_->calls.end(), "autostart:on"), 2);
        QCOMPARE(std::count(targets_->calls.begin(), targets_->calls.end(), "autostart:off"), 1);
    }

    void startAtLoginFailureIsShownAndTheOptionKept() {
        files_->write(files_->dir.filePath(QStringLiteral("config")).toStdString(), "not a folder");
        open();
        findControl<QCheckBox>("autoStart")->click();
        MessageBoxCatcher catcher;
        click("ok");
        QCOMPARE(catcher.count, 1);
        QCOMPARE(catcher.text, QStringLiteral("Failed to register(RegCreateKey) to startup program lists"));
        QCOMPARE(catcher.title, QString());
        QCOMPARE(catcher.icon, QMessageBox::Warning);
        QCOMPARE(files_->value("AUTOSTART", "USE_AUTOSTART"), std::string("1"));
        QVERIFY(!dlg_->isVisible());
    }

    void trustedKeyIsShownForgottenAndDroppedWithANewPort() {
        const QByteArray key =
            "71:EA:18:7E:83:56:60:29:B5:CE:A8:43:94:F2:5F:E0:95:CF:9A:84:35:90:4D:AB:8B:CB:32:62:59:BA:61:84";
        const QByteArray pinned =
            "[SYS_INFO]\nIP=10.0.0.5\nPORT=443\n[SECURITY]\nPINNED_KEY=" + key + "\nPINNED_EXCHANGE=10.0.0.5:443\n";
        files_->write(files_->settingsPath, pinned);
        open();
        auto* shown = findControl<QLabel>("pinnedKey");
        QVERIFY2(shown->text().startsWith("71:EA:18:7E") && shown->text().endsWith("59:BA:61:84"),
                 qPrintable(shown->text()));
        QVERIFY(shown->toolTip().contains(QString::fromLatin1(key)));
        click("forgetKey");
        QCOMPARE(files_->raw("SECURITY", "PINNED_KEY"), std::string());
        QVERIFY(!findControl<QPushButton>("forgetKey")->isEnabled());
        QVERIFY(shown->text().startsWith("none yet"));

        // A key kept for the old port is dropped when the port changes.
        files_->write(files_->settingsPath, pinned);
        open();
        type("exchangePort", "8443");
        click("ok");
        QCOMPARE(files_->raw("SECURITY", "PINNED_KEY"), std::string());
        QCOMPARE(files_->value("SYS_INFO", "PORT"), std::string("8443"));
    }

    void withoutAKeyringThePasswordStaysInTheFile() {
        files_->write(files_->settingsPath, "[USER_INFO]\nID=alice\n");
        open();
        QVERIFY(!findControl<QCheckBox>("useKeyring")->isEnabled());
        QVERIFY(findControl<QLabel>("keyringNote")->text().startsWith("No keyring answers"));
        type("password", "s3cret");
        click("ok");
        QCOMPARE(files_->value("USER_INFO", "PW"), std::string("s3cret"));
        QVERIFY(files_->raw("USER_INFO", "PW") != "s3cret");  // enciphered
        QCOMPARE(files_->raw("SECURITY", "USE_KEYRING"), std::string("<missing>"));
    }

    // Run with a keyring on the bus (tests/cli/with_keyring.py); skipped without one.
    void withAKeyringThePasswordLeavesTheFile() {
        files_->write(files_->settingsPath, "[USER_INFO]\nID=alice\n[SYS_INFO]\nIP=10.0.0.5\nPORT=443\n");
        open();
        if (!findControl<QCheckBox>("useKeyring")->isEnabled()) QSKIP("no keyring on this bus");
        QVERIFY(findControl<QCheckBox>("useKeyring")->isChecked());
        type("password", "s3cret");
        click("ok");
        QCOMPARE(files_->raw("USER_INFO", "PW"), std::string());
        const Result<std::string> secret = openCredentialStore()->lookup({"10.0.0.5", "alice"});
        QVERIFY2(secret.ok(), secret.error().c_str());
        QCOMPARE(*secret, std::string("s3cret"));

        // Shown again from the keyring; turned off, the password goes back to the file.
        open();
        QCOMPARE(findControl<QLineEdit>("password")->text(), QStringLiteral("s3cret"));
        findControl<QCheckBox>("useKeyring")->click();
        click("ok");
        QCOMPARE(files_->value("USER_INFO", "PW"), std::string("s3cret"));
        QCOMPARE(files_->raw("SECURITY", "USE_KEYRING"), std::string("0"));
        QVERIFY(openCredentialStore()->lookup({"10.0.0.5", "alice"}).code() == ErrorCode::NotFound);
    }

    void tabVisitsEveryControlInReadingOrder() {
        open();
        const QStringList expected{"userId",
                                   "password",
                                   "phoneNumber",
                                   "useKeyring",
                                   "exchangeAddress",
                                   "exchangePort",
                                   "forgetKey",
                                   "coAccessCode",
                                   "myCountryCode",
                                   "myAreaCode",
                                   "internationalCode",
                                   "pbxCode",
                                   "longDistanceCode",
                                   "addZero",
                                   "advanced",
                                   "autoHide",
                                   "autoHideSeconds",
                                   "hideAfterSuccess",
                                   "transparent",
                                   "transparency",
                                   "topMost",
                                   "showHangup",
                                   "fixedPosition",
                                   "callOnEnter",
                                   "autoStart",
                                   "autoCall",
                                   "hotkeyEnabled",
                                   "hotkeyModifier",
                                   "hotkeyKey",
                                   "languageEng",
                                   "languageLocal",
                                   "ok",
                                   "cancel",
                                   "apply"};
        QStringList visited;
        QWidget* w = findControl<QWidget>("userId");
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(dlg_.get()) && !w->objectName().isEmpty()) {
                visited << w->objectName();
            }
            w = w->nextInFocusChain();
        } while (w != findControl<QWidget>("userId") && visited.size() < 100);
        QCOMPARE(visited, expected);
    }

    void openingAgainOnlyRaisesIt() {
        open();
        QCOMPARE(dlg_->showModal(), -1);
        QVERIFY(dlg_->isVisible());
    }
};

}  // namespace pellandor::test

QTEST_MAIN(pellandor::test::SettingsDialogTest)
#include "settings_dialog_test.moc"

#include "settings_fixture.h"

#include "config/paths.h"
#include "platform/xdg_autostart.h"
#include "ui/setting_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace pellandor::test {

class SettingDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Files> files_;
    std::unique_ptr<StartupState> state_;
    std::unique_ptr<RecordingTargets> targets_;
    std::unique_ptr<CSettingDlg> dlg_;

    void Open() {
        state_ = files_->Load();
        targets_ = std::make_unique<RecordingTargets>();
        dlg_ = std::make_unique<CSettingDlg>(*state_, SettingsFiles{files_->settingsPath, files_->languagePath},
                                             *targets_);
        dlg_->OpenDialog();
        QVERIFY(dlg_->isVisible());
    }
    template <class T>
    T* Control(const char* name) {
        return Find<T>(dlg_.get(), name);
    }
    void Type(const char* name, const QString& text) {
        auto* edit = Control<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void Click(const char* name) { Control<QPushButton>(name)->click(); }

private slots:
    void init() { files_ = std::make_unique<Files>(); }
    void cleanup() {
        dlg_.reset();
        targets_.reset();
        state_.reset();
        files_.reset();
    }

    void controlsRoundTripThroughOk_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        auto row = [](const char* control, const char* value, const char* section, const char* key, const char* stored) {
            QTest::newRow(control) << control << value << section << key << stored;
        };
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
        Open();
        const QByteArray name = control.toLatin1();
        QWidget* widget = Control<QWidget>(name.constData());
        if (qobject_cast<QLineEdit*>(widget) != nullptr) {
            Type(name.constData(), value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->isChecked() != (value == QLatin1String("1"))) button->click();
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setCurrentText(value);
        } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
            slider->setValue(value.toInt());
        }
        Click("ok");
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(files_->Value(section.toStdString(), key.toStdString()), stored.toStdString());
        // Every key of every general section is written, not only the changed one.
        for (const auto& field : AppSettingsFields()) QVERIFY(files_->Raw(field.section, field.key) != "<missing>");
        QVERIFY(files_->Raw("USER_INFO", "PW") != "s3cret");  // enciphered, never in clear
        QVERIFY(targets_->settingsClosed);
        QVERIFY(targets_->Called("applied"));
        // A second start sees what was saved.
        QCOMPARE(files_->Load()->settings.userId, state_->settings.userId);
    }

    void okPutsTheValuesIntoEffectInOrder() {
        Open();
        QCOMPARE(targets_->calls, (std::vector<std::string>{"hideCallDialog", "open"}));
        Type("userId", "  bob");
        Type("myAreaCode", "30");
        Control<QComboBox>("hotkeyKey")->setCurrentText("W");
        Click("ok");
        QCOMPARE(targets_->calls,
                 (std::vector<std::string>{"hideCallDialog", "open", "hotkey:ALT+W", "applied", "closed"}));
        QCOMPARE(targets_->lastValues.userId, std::string("bob"));  // trimmed on the way
        QCOMPARE(state_->rules.MYAREA_CODE, std::string("30"));
        QCOMPARE(dlg_->result(), 0);
    }

    void cancelEscEnterAndCloseChangeNothing() {
        files_->Write(files_->settingsPath, "[USER_INFO]\nID=old\n; hand-written\n");
        const QByteArray before = files_->Read(files_->settingsPath);
        Open();
        Type("userId", "new");
        Control<QCheckBox>("autoStart")->click();
        QTest::keyClick(Control<QLineEdit>("userId"), Qt::Key_Escape);
        QVERIFY(dlg_->isVisible());
        QTest::keyClick(Control<QLineEdit>("userId"), Qt::Key_Return);
        QVERIFY(dlg_->isVisible());
        Click("cancel");
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(dlg_->result(), 0);
        QCOMPARE(files_->Read(files_->settingsPath), before);
        QCOMPARE(state_->settings.userId, std::string("old"));
        QVERIFY(!targets_->Called("applied"));
        QVERIFY(!targets_->Called("autostart:on"));
        QVERIFY(targets_->settingsClosed);

        // The title bar's close button: closed, with its own end code, nothing written.
        dlg_->OpenDialog();
        Type("userId", "other");
        dlg_->close();
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(dlg_->result(), CSettingDlg::kClosedFromTitleBar);
        QCOMPARE(files_->Read(files_->settingsPath), before);
        QVERIFY(targets_->settingsClosed);
    }

    void trackBarIsKeptAtOnceEvenWhenCancelled() {
        Open();
        Control<QSlider>("transparency")->setValue(33);
        QCOMPARE(Control<QLabel>("transparencyValue")->text(), QStringLiteral("33%"));
        Click("cancel");
        QCOMPARE(state_->settings.transparencyPercent, 33);
        QVERIFY(!QFile::exists(QString::fromStdString(files_->settingsPath)));
        dlg_->OpenDialog();
        QCOMPARE(Control<QSlider>("transparency")->value(), 33);
    }

    void clearedAutoHideKeepsItsSeconds() {
        files_->Write(files_->settingsPath, "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\nTIME_DISAPPARANCE=8\n");
        Open();
        Type("autoHideSeconds", "20");
        Control<QCheckBox>("autoHide")->click();
        Click("ok");
        QCOMPARE(files_->Value("DISAPPEARANCE", "USE_DISAPPEARANCE"), std::string("0"));
        QCOMPARE(files_->Value("DISAPPEARANCE", "TIME_DISAPPARANCE"), std::string("8"));
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
        Open();
        auto* box = Control<QCheckBox>(check.toLatin1().constData());
        for (int round = 0; round < 3; ++round) {
            for (const QString& name : dependents) {
                QCOMPARE(Control<QWidget>(name.toLatin1().constData())->isEnabled(), box->isChecked());
            }
            box->click();
        }
    }

    void applyRelabelsTheOpenDialogFromLocal() {
        Open();
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Settings"));
        QVERIFY(Control<QRadioButton>("languageLocal")->isVisibleTo(dlg_.get()));
        Control<QRadioButton>("languageLocal")->click();
        Click("apply");
        QVERIFY(dlg_->isVisible());
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(Plain(Control<QPushButton>("cancel")->text()), QStringLiteral("Abbrechen"));
        QCOMPARE(Plain(Control<QPushButton>("apply")->text()), QStringLiteral("Übernehmen"));
        QCOMPARE(targets_->lastTrayText, std::string("Einstellungen"));
        QCOMPARE(files_->Value("LANGUAGE", "LAN"), std::string("LOCAL"));
    }

    void withoutLocalTextsOnlyEnglishIsOffered() {
        files_->Write(files_->languagePath, "[ENG]\nCAPTION=Settings (file)\n");
        files_->Write(files_->settingsPath, "[LANGUAGE]\nLAN=LOCAL\n");
        Open();
        QVERIFY(!Control<QRadioButton>("languageLocal")->isVisibleTo(dlg_.get()));
        QVERIFY(Control<QRadioButton>("languageEng")->isChecked());
        QCOMPARE(dlg_->windowTitle(), QStringLiteral("Settings"));  // built-in, not the file's ENG text
        Click("ok");
        QCOMPARE(files_->Value("LANGUAGE", "LAN"), std::string("ENG"));
    }

    void everyLabelledControlHasAUniqueMnemonic() {
        for (const char* language : {"ENG", "LOCAL"}) {
            files_->Write(files_->settingsPath, QByteArray("[LANGUAGE]\nLAN=") + language + "\n");
            Open();
            QSet<QChar> letters;
            int marked = 0;
            for (auto* button : dlg_->findChildren<QAbstractButton*>()) {
                if (button->text().isEmpty()) continue;  // wrapped check boxes carry theirs on the label
                const int at = button->text().indexOf(QRegularExpression(QStringLiteral("&[^&]")));
                QVERIFY2(at >= 0, qPrintable(button->text()));
                const QChar letter = button->text()[at + 1].toLower();
                QVERIFY2(!letters.contains(letter), qPrintable(button->text()));
                letters.insert(letter);
                ++marked;
            }
            for (auto* label : dlg_->findChildren<QLabel*>()) {
                if (label->buddy() == nullptr || label->text().isEmpty()) continue;
                const int at = label->text().indexOf(QRegularExpression(QStringLiteral("&[^&]")));
                if (at < 0) continue;  // more labels than letters is allowed; a clash is not
                const QChar letter = label->text()[at + 1].toLower();
                QVERIFY2(!letters.contains(letter), qPrintable(label->text()));
                letters.insert(letter);
                ++marked;
            }
            QVERIFY(marked >= 20);
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
        Open();
        Type("exchangePort", port);
        MessageBoxCatcher catcher;
        Click("ok");
        QCOMPARE(dlg_->isVisible(), !accepted);
        QCOMPARE(QFile::exists(QString::fromStdString(files_->settingsPath)), accepted);
        QCOMPARE(catcher.count, accepted ? 0 : 1);
        if (!accepted) QVERIFY(catcher.text.contains(QStringLiteral("65535")));
    }

    void portAlreadyInTheFileIsShownAsItIs() {
        files_->Write(files_->settingsPath, "[SYS_INFO]\nIP=10.0.0.1\nPORT=123456\n");
        Open();
        QCOMPARE(Control<QLineEdit>("exchangePort")->text(), QStringLiteral("123456"));
    }

    void failedSaveKeepsTheDialogAndWhatWasTyped() {
        // The settings "folder" is a file: nothing can be written there.
        files_->Write(files_->dir.filePath(QStringLiteral("blocked")).toStdString(), "x");
        files_->settingsPath = files_->dir.filePath(QStringLiteral("blocked/pellandor_settings.ini")).toStdString();
        Open();
        Type("userId", "carol");
        Type("password", "pw");
        MessageBoxCatcher catcher;
        Click("ok");
        QCOMPARE(catcher.count, 1);
        QCOMPARE(catcher.icon, QMessageBox::Warning);
        QVERIFY(catcher.text.contains(QStringLiteral("could not be saved")));
        QVERIFY(dlg_->isVisible());
        QCOMPARE(Control<QLineEdit>("userId")->text(), QStringLiteral("carol"));
        QCOMPARE(Control<QLineEdit>("password")->text(), QStringLiteral("pw"));
        QVERIFY(state_->settings.userId.empty());
        QVERIFY(!targets_->Called("applied"));
        QVERIFY(!targets_->settingsClosed);
    }

    void passwordCanBeShownAndKeepsItsFullStoredLength() {
        files_->Write(files_->settingsPath, "[USER_INFO]\nPW=a-password-of-30-characters-x\nPN=12-34\n");
        Open();
        auto* password = Control<QLineEdit>("password");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        Find<QAction>(dlg_.get(), "showPassword")->trigger();
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        // Longer than the typing limit and not digits only: kept, not cut.
        Click("ok");
        QCOMPARE(files_->Value("USER_INFO", "PW"), std::string("a-password-of-30-characters-x"));
        QCOMPARE(files_->Value("USER_INFO", "PN"), std::string("12-34"));
    }

    void digitBoxesRefuseOtherCharacters() {
        Open();
        Type("phoneNumber", "12ab-3");
        QCOMPARE(Control<QLineEdit>("phoneNumber")->text(), QStringLiteral("123"));
        Type("exchangePort", "1234567");
        QCOMPARE(Control<QLineEdit>("exchangePort")->text(), QStringLiteral("12345"));
    }

    void hotkeyListsAndStoredNames_data() {
        QTest::addColumn<QString>("modifier");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shownModifier");
        QTest::addColumn<QString>("shownKey");
        QTest::newRow("usual") << "ALT" << "Q" << "ALT" << "Q";
        QTest::newRow("0 is kept though not offered") << "WIN" << "0" << "WIN" << "0";
        QTest::newRow("list matches the start, any case") << "ctrl" << "F10" << "CTRL" << "f10";
    }
    void hotkeyListsAndStoredNames() {
        QFETCH(QString, modifier);
        QFETCH(QString, key);
        QFETCH(QString, shownModifier);
        QFETCH(QString, shownKey);
        files_->Write(files_->settingsPath,
                      "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=" + modifier.toUtf8() + "\nVIRTUAL_KEY=" + key.toUtf8() + "\n");
        Open();
        auto* modifiers = Control<QComboBox>("hotkeyModifier");
        auto* keys = Control<QComboBox>("hotkeyKey");
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
        Click("ok");
        QCOMPARE(files_->Value("HOTKEY", "MOD_KEY"), shownModifier.toStdString());
        QCOMPARE(files_->Value("HOTKEY", "VIRTUAL_KEY"), shownKey.toStdString());
    }

    void startAtLoginIsTouchedOnlyWhenTheBoxChanges() {
        const QString entry = files_->dir.filePath(QStringLiteral("config/autostart/pellandor.desktop"));
        Open();
        Click("ok");
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!targets_->Called("autostart:on") && !targets_->Called("autostart:off"));

        dlg_->OpenDialog();
        Control<QCheckBox>("autoStart")->click();
        Click("ok");
        QVERIFY(QFile::exists(entry));
        const QByteArray text = files_->Read(entry.toStdString());
        QVERIFY(text.contains("\nName=Ulvex Pellandor\n"));
        const QByteArray exec = QByteArray::fromStdString("\nExec=" + QuoteExecArgument(ProgramPath()) + "\n");
        QVERIFY2(text.contains(exec), text.constData());
        QCOMPARE(files_->Value("AUTOSTART", "USE_AUTOSTART"), std::string("1"));

        // Unchanged: the entry is left exactly as it is.
        files_->Write(entry.toStdString(), "marker");
        dlg_->OpenDialog();
        Click("apply");
        Click("ok");
        QCOMPARE(files_->Read(entry.toStdString()), QByteArray("marker"));

        dlg_->OpenDialog();
        Control<QCheckBox>("autoStart")->click();
        Click("ok");
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(std::count(targets_->calls.begin(), targets_->calls.end(), "autostart:on"), 1);
        QCOMPARE(std::count(targets_->calls.begin(), targets_->calls.end(), "autostart:off"), 1);
    }

    void startAtLoginFailureIsShownAndTheOptionKept() {
        files_->Write(files_->dir.filePath(QStringLiteral("config")).toStdString(), "not a folder");
        Open();
        Control<QCheckBox>("autoStart")->click();
        MessageBoxCatcher catcher;
        Click("ok");
        QCOMPARE(catcher.count, 1);
        QCOMPARE(catcher.text, QStringLiteral("Failed to register(RegCreateKey) to startup program lists"));
        QCOMPARE(catcher.title, QString());
        QCOMPARE(catcher.icon, QMessageBox::Warning);
        QCOMPARE(files_->Value("AUTOSTART", "USE_AUTOSTART"), std::string("1"));
        QVERIFY(!dlg_->isVisible());
    }

    void tabVisitsEveryControlInReadingOrder() {
        Open();
        const QStringList expected{"userId", "password", "phoneNumber", "exchangeAddress", "exchangePort",
                                   "coAccessCode", "myCountryCode", "myAreaCode", "internationalCode", "pbxCode",
                                   "longDistanceCode", "addZero", "advanced", "autoHide", "autoHideSeconds",
                                   "hideAfterSuccess", "transparent", "transparency", "topMost", "showHangup",
                                   "fixedPosition", "callOnEnter", "autoStart", "autoCall", "hotkeyEnabled",
                                   "hotkeyModifier", "hotkeyKey", "languageEng", "languageLocal", "ok", "cancel",
                                   "apply"};
        QStringList visited;
        QWidget* w = Control<QWidget>("userId");
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(dlg_.get()) && !w->objectName().isEmpty()) {
                visited << w->objectName();
            }
            w = w->nextInFocusChain();
        } while (w != Control<QWidget>("userId") && visited.size() < 100);
        QCOMPARE(visited, expected);
    }

    void openingAgainOnlyRaisesIt() {
        Open();
        QCOMPARE(dlg_->ShowModal(), -1);
        QVERIFY(dlg_->isVisible());
    }
};

}  // namespace pellandor::test

QTEST_MAIN(pellandor::test::SettingDlgTest)
#include "setting_dlg_test.moc"

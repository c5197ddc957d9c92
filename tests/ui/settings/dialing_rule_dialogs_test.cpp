#include "settings_fixture.h"

#include "ui/advanced_dialing_dialog.h"
#include "ui/special_dialing_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace pellandor::test {

class DialingRuleDialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Files> files_;
    std::unique_ptr<StartupState> state_;
    std::unique_ptr<AdvancedDialingDialog> adv_;

    void load() {
        state_ = files_->load();
        adv_ = std::make_unique<AdvancedDialingDialog>(*state_, files_->settingsPath, files_->languagePath);
    }
    AdvancedDialingDialog* openAdvanced() {
        if (!adv_) load();
        adv_->openDialog();
        return adv_.get();
    }
    SpecialDialingDialog* openSpecial() {
        if (!adv_) load();
        adv_->specialDialog().openDialog();
        return &adv_->specialDialog();
    }
    static void type(QWidget* dialog, const char* name, const QString& text) {
        auto* edit = find<QLineEdit>(dialog, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    static void click(QWidget* dialog, const char* name) { find<QPushButton>(dialog, name)->click(); }
    static void setChecked(QWidget* dialog, const char* name, bool on) {
        auto* box = find<QCheckBox>(dialog, name);
        if (box->isChecked() != on) box->click();
    }

private slots:
    void init() { files_ = std::make_unique<Files>(); }
    void cleanup() {
        adv_.reset();
        state_.reset();
        files_.reset();
    }

    void advancedOkWritesItsSectionAndFeedsTheRules() {
        load();
        state_->special.prefix1 = "77";  // held by the special dialog, copied in with these
        QWidget* d = openAdvanced();
        QCOMPARE(d->windowTitle(), QStringLiteral("Advanced Dialing Information"));
        type(d, "equalDigits", "9");
        type(d, "minPopupLength", "4");
        setChecked(d, "useAreaCode", true);
        setChecked(d, "useInternationalRule", true);
        setChecked(d, "usePopupForChar", false);
        click(d, "ok");
        QVERIFY(!d->isVisible());
        const char* expected[][2] = {{"NUM_ADD_EQUAL", "9"},
                                     {"USE_AREA_CODE", "1"},
                                     {"USE_INTERNATIONAL_RULE", "1"},
                                     {"USE_POPUP_FOR_CHAR", "0"},
                                     {"MIN_POPUP_LENGTH", "4"}};
        for (const auto& [key, value] : expected) QCOMPARE(files_->raw("DIALING_RULE_ADV", key), std::string(value));
        QCOMPARE(state_->rules.equalDigits, std::string("9"));
        QCOMPARE(state_->rules.minPopupLength, 4);
        QVERIFY(state_->rules.useAreaCode && state_->rules.useInternationalRule && !state_->rules.usePopupForChar);
        QCOMPARE(state_->rules.prefix1, std::string("77"));
    }

    void minimumLengthOutsideOneToThirtyIsRefused_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QByteArray("3") << "" << false;
        QTest::newRow("zero") << QByteArray("3") << "0" << false;
        QTest::newRow("nine") << QByteArray("3") << "9" << true;
        QTest::newRow("30 from the file") << QByteArray("30") << QString() << true;
        QTest::newRow("31 from the file") << QByteArray("31") << QString() << false;
    }
    void minimumLengthOutsideOneToThirtyIsRefused() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        files_->write(files_->settingsPath, "[DIALING_RULE_ADV]\nMIN_POPUP_LENGTH=" + stored + "\n");
        const QByteArray before = files_->read(files_->settingsPath);
        QWidget* d = openAdvanced();
        QCOMPARE(find<QLineEdit>(d, "minPopupLength")->text(), QString::fromLatin1(stored));
        if (!typed.isNull()) type(d, "minPopupLength", typed);
        MessageBoxCatcher catcher;
        click(d, "ok");
        QCOMPARE(d->isVisible(), !accepted);
        if (accepted) return;
        QCOMPARE(catcher.text, QStringLiteral("Please input 1~30 for minimum number length for pop-up."));
        QCOMPARE(catcher.icon, QMessageBox::Information);
        QCOMPARE(files_->read(files_->settingsPath), before);
    }

    void cancelLeavesFileAndRulesAndTheNextOpeningRereads() {
        files_->write(files_->settingsPath, "[DIALING_RULE_ADV]\nUSE_AREA_CODE=1\nMIN_POPUP_LENGTH=5\n");
        QWidget* d = openAdvanced();
        const DialingRules rulesBefore = state_->rules;
        setChecked(d, "useAreaCode", false);
        type(d, "equalDigits", "123");
        click(d, "cancel");
        QVERIFY(!d->isVisible());
        QCOMPARE(state_->rules.useAreaCode, rulesBefore.useAreaCode);
        QCOMPARE(state_->rules.equalDigits, rulesBefore.equalDigits);
        // Escape and the close button save nothing either.
        files_->write(files_->settingsPath, "[DIALING_RULE_ADV]\nUSE_AREA_CODE=0\nMIN_POPUP_LENGTH=5\n");
        openAdvanced();
        QVERIFY(!find<QCheckBox>(d, "useAreaCode")->isChecked());
        QTest::keyClick(find<QLineEdit>(d, "equalDigits"), Qt::Key_Escape);
        QVERIFY(d->isVisible());
        d->close();
        QVERIFY(!d->isVisible());
        QCOMPARE(files_->value("DIALING_RULE_ADV", "USE_AREA_CODE"), std::string("0"));
    }

    void localChoiceWithoutLocalTextsFallsBackToBuiltInEnglish() {
        files_->write(files_->languagePath, "[ENG]\nDIALING_ADV_CAPTION=From the file\nDIALING_ADV_ADV_CAPTION=Also\n");
        files_->write(files_->settingsPath, "[LANGUAGE]\nLAN=LOCAL\n");
        QWidget* d = openAdvanced();
        QCOMPARE(d->windowTitle(), QStringLiteral("Advanced Dialing Information"));
        QCOMPARE(state_->advanced.language, std::string("ENG"));
        QCOMPARE(openSpecial()->windowTitle(), QStringLiteral("Special Dialing Information"));
        // The delivered file's LOCAL section is used when the choice is LOCAL.
        files_->useDeliveredLanguageFile();
        adv_->specialDialog().close();
        d->close();
        QCOMPARE(openAdvanced()->windowTitle(), QStringLiteral("Erweiterte Wählinformationen"));
    }

    void failedSaveKeepsTheDialogOpenAndTheRulesUnchanged() {
        files_->write(files_->dir.filePath(QStringLiteral("blocked")).toStdString(), "x");
        files_->settingsPath = files_->dir.filePath(QStringLiteral("blocked/settings.ini")).toStdString();
        for (bool special : {false, true}) {
            adv_.reset();
            QWidget* d = special ? static_cast<QWidget*>(openSpecial()) : openAdvanced();
            if (special) {
                setChecked(d, "useNonStd", true);
                setChecked(d, "usePrefix", true);
            }
            type(d, special ? "prefix1" : "equalDigits", "55");
            MessageBoxCatcher catcher;
            click(d, "ok");
            QCOMPARE(catcher.count, 1);
            QVERIFY(catcher.text.contains(QStringLiteral("could not be saved")));
            QVERIFY(d->isVisible());
            QCOMPARE(find<QLineEdit>(d, special ? "prefix1" : "equalDigits")->text(), QStringLiteral("55"));
            QVERIFY(state_->rules.equalDigits.empty() && state_->rules.prefix1.empty());
        }
    }

    void specialEnableRules_data() {
        QTest::addColumn<bool>("nonStd");
        QTest::addColumn<bool>("prefix");
        QTest::addColumn<bool>("length");
        for (int bits = 0; bits < 8; ++bits) {
            QTest::addRow("nonstd=%d prefix=%d length=%d", bits & 1, (bits >> 1) & 1, (bits >> 2) & 1)
                << bool(bits & 1) << bool(bits & 2) << bool(bits & 4);
        }
    }
    void specialEnableRules() {
        QFETCH(bool, nonStd);
        QFETCH(bool, prefix);
        QFETCH(bool, length);
        // Opened from the file's values, and again after clicking to the same state.
        files_->write(files_->settingsPath, QByteArray("[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=") + (nonStd ? "1" : "0") +
                                                "\nUSE_PREFIX=" + (prefix ? "1" : "0") +
                                                "\nUSE_CO_EXTENSION_LENGTH=" + (length ? "1" : "0") + "\n");
        for (int pass = 0; pass < 2; ++pass) {
            QWidget* d = openSpecial();
            if (pass == 1) {
                for (const char* name : {"useNonStd", "usePrefix", "useCoExtensionLength"}) {
                    find<QCheckBox>(d, name)->setEnabled(true);  // reach every box, as a user toggling in turn would
                }
                setChecked(d, "useNonStd", true);
                setChecked(d, "usePrefix", !prefix);
                setChecked(d, "usePrefix", prefix);
                setChecked(d, "useCoExtensionLength", !length);
                setChecked(d, "useCoExtensionLength", length);
                setChecked(d, "useNonStd", nonStd);
            }
            QCOMPARE(find<QCheckBox>(d, "usePrefix")->isEnabled(), nonStd);
            QCOMPARE(find<QCheckBox>(d, "useCoExtensionLength")->isEnabled(), nonStd);
            QCOMPARE(find<QCheckBox>(d, "usePrefix")->isChecked(), prefix);  // kept while disabled
            QCOMPARE(find<QCheckBox>(d, "useCoExtensionLength")->isChecked(), length);
            for (const char* name : {"prefix1", "prefix2", "prefix3", "prefix4", "prefix5"}) {
                QCOMPARE(find<QLineEdit>(d, name)->isEnabled(), nonStd && prefix);
            }
            QCOMPARE(find<QLineEdit>(d, "lengthCoExtension")->isEnabled(), nonStd && length);
            QVERIFY(find<QPushButton>(d, "ok")->isEnabled() && find<QPushButton>(d, "cancel")->isEnabled());
            d->close();
        }
    }

    void specialOkSavesDisabledChecksAndAnEmptyLengthAsZero() {
        files_->write(files_->settingsPath,
                      "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nUSE_CO_EXTENSION_LENGTH=1\n"
                      "LENGTH_CO_EXTENSION=7\n");
        load();
        QCOMPARE(state_->rules.coExtensionLength, 7);
        QWidget* d = openSpecial();
        type(d, "lengthCoExtension", "");
        type(d, "prefix2", "0800");
        setChecked(d, "useNonStd", false);
        click(d, "ok");
        QVERIFY(!d->isVisible());
        const char* expected[][2] = {{"USE_NON_STD", "0"},
                                     {"USE_PREFIX", "1"},
                                     {"PREFIX1", ""},
                                     {"PREFIX2", "0800"},
                                     {"PREFIX3", ""},
                                     {"PREFIX4", ""},
                                     {"PREFIX5", ""},
                                     {"USE_CO_EXTENSION_LENGTH", "1"},
                                     {"LENGTH_CO_EXTENSION", "0"}};
        for (const auto& [key, value] : expected) {
            QVERIFY2(files_->raw("DIALING_RULE_ADV_ADV", key) == value, key);
        }
        QVERIFY(!state_->rules.useNonStandard && state_->rules.usePrefix && state_->rules.useCoExtensionLength);
        QCOMPARE(state_->rules.coExtensionLength, 0);
        QCOMPARE(state_->rules.prefix2, std::string("0800"));
        // No plain number gets the CO code while the master switch is off.
        state_->rules.coAccessCode = "0";
        QCOMPARE(state_->rules.buildDialString("12345678"), std::string("12345678"));
    }
};

}  // namespace pellandor::test

QTEST_MAIN(pellandor::test::DialingRuleDialogsTest)
#include "dialing_rule_dialogs_test.moc"
